// Rules for the names of carried files: each is installed under its name in
// a Windows folder (or below it), so it must be a valid Windows file name (or
// relative path).
#pragma once

#include <string>

namespace mksetup {

// Checks a name in code page 1252; returns why it cannot be used, or an
// empty string when it can.
std::string CheckWindowsFileName(const std::string& name);

// The same for a relative path, parts separated by '\': each part a valid
// file name, the whole shorter than 260 characters.
std::string CheckWindowsPath(const std::string& name);

} // namespace mksetup
