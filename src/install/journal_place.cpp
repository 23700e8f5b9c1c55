#include "install/journal_place.h"

#include <windows.h>

#include <mbstring.h>

#include "app/install_log.h"
#include "app/registry.h"
#include "install/journal_file.h"
#include "install/product_key.h"

namespace {

const char kFolderValue[] = "Journal";
const char kMadeValue[] = "JournalMade";

std::string WithoutSlash(const std::string& path) {
  return path.empty() || path.back() != '\\' ? path : path.substr(0, path.size() - 1);
}

// The outermost folder of path's chain that is not there yet; empty when
// path is there.
std::string OutermostMissing(const std::string& path) {
  std::string missing, level = WithoutSlash(path);
  while (!level.empty() && GetFileAttributesA(level.c_str()) == INVALID_FILE_ATTRIBUTES) {
    missing = level;
    const size_t slash = level.rfind('\\');
    if (slash == std::string::npos || slash < 3) break;
    level.resize(slash);
  }
  return missing;
}

// "C:\..." or "\\server\share\...": a folder named whole.
bool IsWholePath(const std::string& path) {
  const bool drive = path.size() > 3 && path[1] == ':' && path[2] == '\\';
  const bool unc = path.size() > 4 && path[0] == '\\' && path[1] == '\\';
  return (drive || unc) && path.back() == '\\' && path.find('/') == std::string::npos;
}

bool SameText(const std::string& a, const std::string& b) {
  return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                  reinterpret_cast<const unsigned char*>(b.c_str())) == 0;
}

} // namespace

void FlushProductKey(const std::string& productName) {
  HKEY handle;
  if (MoveWriteThrough() && RegOpenKeyExA(HKEY_CURRENT_USER, ProductKeyPath(productName).c_str(),
                                          0, KEY_READ, &handle) == ERROR_SUCCESS) {
    RegFlushKey(handle);
    RegCloseKey(handle);
  }
}

bool RecordJournalPlace(const std::string& productName, const std::string& installPath) {
  const std::string key = ProductKeyPath(productName);
  const std::string made = OutermostMissing(installPath);
  if (!WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), kFolderValue, installPath.c_str()) ||
      (!made.empty() &&
       !WriteRegistryString(HKEY_CURRENT_USER, key.c_str(), kMadeValue, made.c_str())))
    return false;
  FlushProductKey(productName);
  return true;
}

JournalPlace ReadJournalPlace(const std::string& productName) {
  const std::string key = ProductKeyPath(productName);
  JournalPlace place;
  place.folder = ReadRegistryString(HKEY_CURRENT_USER, key.c_str(), kFolderValue);
  if (!IsWholePath(place.folder)) return {};
  place.made = ReadRegistryString(HKEY_CURRENT_USER, key.c_str(), kMadeValue);
  return place;
}

void ForgetJournalPlace(const std::string& productName) {
  const std::string key = ProductKeyPath(productName);
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    &handle) != ERROR_SUCCESS)
    return;
  RegDeleteValueA(handle, kFolderValue);
  RegDeleteValueA(handle, kMadeValue);
  DWORD keys = 0, values = 0;
  const bool empty = RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &keys, nullptr, nullptr,
                                      &values, nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS &&
                     keys == 0 && values == 0;
  RegCloseKey(handle);
  if (empty) DeleteRegistryKey(HKEY_CURRENT_USER, key.c_str());
}

void RemoveFoldersMade(const JournalPlace& place) {
  const std::string made = WithoutSlash(place.made);
  std::string level = WithoutSlash(place.folder);
  // Only folders of the chain, and only empty ones.
  if (made.empty() || made.size() > level.size() ||
      !SameText(level.substr(0, made.size()), made) ||
      (level.size() > made.size() && level[made.size()] != '\\'))
    return;
  while (RemoveDirectoryA(level.c_str())) {
    InstallLog("Removing Directory [%s]", level.c_str());
    if (level.size() <= made.size()) break;
    level.resize(level.rfind('\\'));
  }
}
