// Text and paths between the system's wide strings and the ANSI code page the
// program works in. A path the system hands over (the program's own file,
// the temporary folder, the shell folders) may hold characters the code page
// lacks; converted blindly it names another file or none.
#pragma once

#include <string>

// Exact conversion into the ANSI code page: false when a character has no
// exact counterpart there (no best-fit replacements).
bool ToCodePage(const std::wstring& text, std::string& out);

// For messages and the log: the system's closest form of each character.
std::string ToDisplayText(const std::wstring& text);

std::wstring FromCodePage(const std::string& text);

// An ANSI path that names the same file or folder as `path`: the path itself
// when the code page can write it, else its short (8.3) form when the
// volume has one; empty when neither can be written. The file must exist
// for its short form to be found.
std::string CodePagePath(const std::wstring& path);
