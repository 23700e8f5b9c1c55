#include "install/journal_place.h"

#include <windows.h>

#include "app/registry.h"
#include "install/journal_file.h"
#include "install/product_key.h"

namespace {

const char kPlaceValue[] = "Journal";

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
  if (!WriteRegistryString(HKEY_CURRENT_USER, ProductKeyPath(productName).c_str(), kPlaceValue,
                           installPath.c_str()))
    return false;
  FlushProductKey(productName);
  return true;
}

std::string ReadJournalPlace(const std::string& productName) {
  const std::string folder =
      ReadRegistryString(HKEY_CURRENT_USER, ProductKeyPath(productName).c_str(), kPlaceValue);
  // "C:\..." or "\\server\share\...": a folder named whole.
  const bool whole = folder.size() > 3 && folder.back() == '\\' &&
                     ((folder[1] == ':' && folder[2] == '\\') || (folder[0] == '\\' && folder[1] == '\\'));
  return whole ? folder : std::string();
}

void ForgetJournalPlace(const std::string& productName) {
  const std::string key = ProductKeyPath(productName);
  HKEY handle;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    &handle) != ERROR_SUCCESS)
    return;
  RegDeleteValueA(handle, kPlaceValue);
  DWORD keys = 1, values = 1;
  RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(handle);
  if (keys == 0 && values == 0) RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
}
