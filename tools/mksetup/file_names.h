// Rules for the names of carried files: each is installed under its name in
// a Windows folder, so it must be a valid Windows file name.
#pragma once

#include <string>

namespace mksetup {

// Checks a name in code page 1252; returns why it cannot be used, or an
// empty string when it can.
std::string CheckWindowsFileName(const std::string& name);

} // namespace mksetup
