// Text conversion between the manifest's UTF-8 and the Windows code page
// 1252 that the installer's texts and file names are written in.
#pragma once

#include <string>
#include <string_view>

namespace mksetup {

// Converts UTF-8 to code page 1252. On failure returns false and describes
// the first character at fault in `bad` (the character and its code point,
// or "invalid UTF-8").
bool Utf8ToCp1252(std::string_view utf8, std::string& out, std::string& bad);

// Code page 1252 to UTF-8; the five unassigned bytes become the control
// characters of the same value, as Windows maps them.
std::string Cp1252ToUtf8(std::string_view text);

} // namespace mksetup
