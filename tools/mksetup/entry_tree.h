// Entry names as a folder tree: relative paths whose parts are separated by
// '\' (code page 1252), compared as Windows compares them.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mksetup {

// The folder of a name, with its trailing '\' ("bin\lib\" for
// "bin\lib\a.dll"); empty for a plain name.
std::string_view FolderOf(std::string_view name);

// "a/b\c" -> "a\b\c": names the vendor writes may use either separator.
std::string WithBackslashes(std::string_view name);

// Pairs (file, other) where `file` names, ignoring case, a folder that
// `other` lies in: Windows cannot hold both. Each file is reported once.
std::vector<std::pair<size_t, size_t>> FindFileFolderClashes(const std::vector<std::string>& names);

} // namespace mksetup
