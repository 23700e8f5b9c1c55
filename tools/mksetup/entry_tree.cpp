#include "entry_tree.h"

#include <algorithm>
#include <map>

#include "archive/archive_builder.h"

namespace mksetup {

std::string WithBackslashes(std::string_view name) {
  std::string out(name);
  std::replace(out.begin(), out.end(), '/', '\\');
  return out;
}

bool EntryNameLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

std::vector<std::pair<size_t, size_t>>
FindFileFolderClashes(const std::vector<std::string>& names) {
  // Every folder, ignoring case, with the first name inside it.
  std::map<std::string, size_t> folders;
  for (size_t i = 0; i < names.size(); ++i)
    for (size_t at = names[i].find('\\'); at != std::string::npos; at = names[i].find('\\', at + 1))
      folders.emplace(archive::EntryNameKey(std::string_view(names[i]).substr(0, at)), i);
  std::vector<std::pair<size_t, size_t>> clashes;
  for (size_t i = 0; i < names.size(); ++i)
    if (auto folder = folders.find(archive::EntryNameKey(names[i])); folder != folders.end())
      clashes.emplace_back(i, folder->second);
  return clashes;
}

} // namespace mksetup
