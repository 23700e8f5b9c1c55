// The texts a trailer carries, as the vendor writes them (UTF-8) and as the
// installer shows them (code page 1252): shared by the manifest and the
// command-line options of `mksetup diff`.
#pragma once

#include <string>
#include <string_view>

namespace mksetup {

// Converts a text for the trailer: code page 1252, no control characters
// (multi-line texts may hold tabs and line breaks), at most
// archive::kMaxTextLength bytes. Returns why it cannot be used, or an empty
// string when `out` holds the text.
std::string ToTrailerText(std::string_view utf8, bool multiLine, std::string& out);

// Reads a license file (UTF-8) for ToTrailerText: a byte-order mark is
// dropped and lone line feeds become CR LF, the line break of the edit
// control that shows it. False when the file cannot be read.
bool ReadLicenseFile(const std::string& path, std::string& utf8);

} // namespace mksetup
