#include "install/directory_chain.h"

#include <windows.h>

namespace {

bool CreateOneDirectory(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
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

} // namespace

void CreateEveryDirectory(const std::string& path) {
  // Protected folders that exist may answer ERROR_ACCESS_DENIED rather than
  // ERROR_ALREADY_EXISTS: a failure says nothing about the next level.
  for (size_t i = path.find('\\', FirstFolderSeparator(path)); i != std::string::npos;
       i = path.find('\\', i + 1))
    CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  CreateDirectoryA(path.c_str(), nullptr);
}

bool CreateDirectoryChain(const std::string& path) {
  for (size_t i = path.find('\\', FirstFolderSeparator(path)); i != std::string::npos;
       i = path.find('\\', i + 1)) {
    if (!CreateOneDirectory(path.substr(0, i))) return false;
  }
  return CreateOneDirectory(path);
}
