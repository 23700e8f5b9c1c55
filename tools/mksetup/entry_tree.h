// Entry names as a folder tree: relative paths whose parts are separated by
// '\' (code page 1252), compared as Windows compares them.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mksetup {

// "a/b\c" -> "a\b\c": names the vendor writes may use either separator.
std::string WithBackslashes(std::string_view name);

// The order entries of a folder tree are carried in: byte by byte, as
// unsigned code page 1252 bytes ('.' < 'B' < '\' < '_' < 'a' < 'ä').
bool EntryNameLess(std::string_view a, std::string_view b);

// Pairs (file, other) where `file` names, ignoring case, a folder that
// `other` lies in: Windows cannot hold both. Each file is reported once.
std::vector<std::pair<size_t, size_t>> FindFileFolderClashes(const std::vector<std::string>& names);

} // namespace mksetup
