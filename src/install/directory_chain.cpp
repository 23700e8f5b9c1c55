#include "install/directory_chain.h"

#include <windows.h>

namespace {

bool CreateOneDirectory(const std::string& path, std::vector<std::string>* created) {
  if (CreateDirectoryA(path.c_str(), nullptr)) {
    if (created) created->push_back(path);
    return true;
  }
  // An existing folder is fine, whatever the answer: Windows gives
  // ERROR_ACCESS_DENIED rather than ERROR_ALREADY_EXISTS for some protected
  // ones (a drive's root, C:\Users). A file in the way is not.
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Index from which separators name folders to create: 4 skips "C:\"; a
// network path "\\server\share\" starts behind its share.
size_t FirstFolderSeparator(const std::string& path) {
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
    size_t server = path.find('\\', 2);
    if (server == std::string::npos) return path.size();
    size_t share = path.find('\\', server + 1);
    return share == std::string::npos ? path.size() : share + 1;
  }
  return 4;
}

bool CreateChain(const std::string& path, std::vector<std::string>* created) {
  for (size_t i = path.find('\\', FirstFolderSeparator(path)); i != std::string::npos;
       i = path.find('\\', i + 1)) {
    if (!CreateOneDirectory(path.substr(0, i), created)) return false;
  }
  return CreateOneDirectory(path, created);
}

} // namespace

bool CreateDirectoryChain(const std::string& path) { return CreateChain(path, nullptr); }

void CreateEveryDirectory(const std::string& path) {
  // Protected folders that exist may answer ERROR_ACCESS_DENIED rather than
  // ERROR_ALREADY_EXISTS: a failure says nothing about the next level.
  for (size_t i = path.find('\\', FirstFolderSeparator(path)); i != std::string::npos;
       i = path.find('\\', i + 1))
    CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  CreateDirectoryA(path.c_str(), nullptr);
}

bool CreateDirectoryChain(const std::string& path, std::vector<std::string>& created) {
  return CreateChain(path, &created);
}

bool CreateFoldersBelow(const std::string& root, const std::string& relativePath, size_t skip,
                        std::vector<std::string>& created, std::string& failed) {
  size_t level = 0;
  for (size_t i = relativePath.find_first_of("\\/"); i != std::string::npos;
       i = relativePath.find_first_of("\\/", i + 1)) {
    if (level++ < skip) continue;
    std::string folder = root + relativePath.substr(0, i);
    if (!CreateOneDirectory(folder, &created)) {
      failed = folder;
      return false;
    }
  }
  return true;
}
