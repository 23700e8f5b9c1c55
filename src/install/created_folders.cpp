#include "install/created_folders.h"

#include <windows.h>

#include "app/install_log.h"
#include "archive/format/trailer.h"
#include "install/directory_chain.h"

namespace {

// The folder parts of a relative name: "bin\lib\x.dll" gives bin, lib.
std::vector<std::string> FolderLevels(const std::string& name) {
  std::vector<std::string> levels;
  size_t start = 0;
  for (size_t end = name.find('\\'); end != std::string::npos;
       start = end + 1, end = name.find('\\', start))
    levels.push_back(name.substr(start, end - start));
  return levels;
}

} // namespace

bool CreatedFolders::CreateChain(const std::string& path) {
  m_lastRoot.clear();
  if (CreateDirectoryChain(path, m_created)) return true;
  m_failed = path;
  return false;
}

bool CreatedFolders::CreateFoldersOf(const std::string& root, const std::string& name) {
  std::vector<std::string> levels = FolderLevels(name);
  if (levels.empty()) return true;
  if (!archive::IsSafeEntryName(name) || root.empty() || root.back() != '\\') {
    m_failed = root + name;
    return false;
  }
  // Entries come sorted by path: most share their folders with the last one.
  size_t known = 0;
  if (root == m_lastRoot)
    while (known < levels.size() && known < m_lastLevels.size() &&
           levels[known] == m_lastLevels[known])
      ++known;
  if (known == levels.size()) return true;
  if (!CreateFoldersBelow(root, name, known, m_created, m_failed)) {
    m_lastRoot.clear();
    return false;
  }
  m_lastRoot = root;
  m_lastLevels = std::move(levels);
  return true;
}

void CreatedFolders::RemoveEmpty() {
  for (auto folder = m_created.rbegin(); folder != m_created.rend(); ++folder)
    if (RemoveDirectoryA(folder->c_str())) InstallLog("Removing Directory [%s]", folder->c_str());
  m_created.clear();
  m_lastRoot.clear();
}
