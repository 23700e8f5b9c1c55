#include "app/registry.h"

#include <cstring>
#include <vector>

namespace {

// The text of registry data: up to the first terminator or the end of the data.
std::string TextOf(const std::vector<char>& data, DWORD length) {
  return std::string(data.data(), strnlen(data.data(), length));
}

// Expands environment references; empty when the expansion fails.
std::string ExpandEnvironment(const std::string& text) {
  std::vector<char> expanded(MAX_PATH);
  for (;;) {
    DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded.data(),
                                             static_cast<DWORD>(expanded.size()));
    if (needed == 0) return {};
    // One byte to spare: the ANSI call may count a byte more than it stores.
    if (needed < expanded.size()) return std::string(expanded.data());
    expanded.resize(needed + 1);
  }
}

// Reads the value whole, asking again with a larger buffer when it does not fit.
bool QueryValue(HKEY key, const char* valueName, DWORD& type, std::vector<char>& data,
                DWORD& length) {
  data.assign(MAX_PATH, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    length = static_cast<DWORD>(data.size());
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type,
                                   reinterpret_cast<BYTE*>(data.data()), &length);
    if (status == ERROR_SUCCESS) return true;
    if (status != ERROR_MORE_DATA) return false;
    // The value may grow between calls; room for a terminator the data may lack.
    data.assign(static_cast<size_t>(length) + 1, '\0');
  }
  return false;
}

} // namespace

std::string ReadRegistryString(HKEY root, const char* subKey, const char* valueName, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return {};
  DWORD type = 0;
  std::vector<char> data;
  DWORD length = 0;
  std::string result;
  if (QueryValue(key, valueName, type, data, length)) {
    result = TextOf(data, length);
    if (type == REG_EXPAND_SZ) result = ExpandEnvironment(result);
  }
  RegCloseKey(key);
  return result;
}

std::wstring ReadRegistryStringW(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                                 REGSAM view) {
  HKEY key;
  if (RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return {};
  std::wstring value;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size >= sizeof(wchar_t)) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) == ERROR_SUCCESS)
      value = data.data();
  }
  RegCloseKey(key);
  if (type != REG_EXPAND_SZ || value.empty()) return value;
  DWORD n = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
  if (n == 0) return value;
  std::vector<wchar_t> expanded(n);
  if (ExpandEnvironmentStringsW(value.c_str(), expanded.data(), n) == 0) return value;
  return expanded.data();
}

DWORD ReadRegistryDword(HKEY root, const char* subKey, const char* valueName, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
    return 0xFFFFFFFF;
  DWORD type = REG_DWORD;
  DWORD data = 0;
  DWORD length = sizeof data;
  LONG status =
      RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &length);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_DWORD || length != sizeof data) return 0xFFFFFFFF;
  return data;
}

namespace {

bool WriteValue(HKEY root, const char* subKey, const char* valueName, DWORD type, const BYTE* data,
                DWORD length, REGSAM view) {
  HKEY key = nullptr;
  char noClass[] = "";
  if (RegCreateKeyExA(root, subKey, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | view,
                      nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  bool set = RegSetValueExA(key, valueName, 0, type, data, length) == ERROR_SUCCESS;
  RegCloseKey(key);
  return set;
}

} // namespace

bool WriteRegistryString(HKEY root, const char* subKey, const char* valueName, const char* text,
                         REGSAM view) {
  return WriteValue(root, subKey, valueName, REG_SZ, reinterpret_cast<const BYTE*>(text),
                    static_cast<DWORD>(std::strlen(text) + 1), view);
}

bool WriteRegistryDword(HKEY root, const char* subKey, const char* valueName, DWORD value,
                        REGSAM view) {
  return WriteValue(root, subKey, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                    sizeof value, view);
}

bool RegistryKeyExists(HKEY root, const char* subKey, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool DeleteRegistryKey(HKEY root, const char* subKey, REGSAM view) {
  // RegDeleteKeyExA, which takes a view, is newer than XP: the key is deleted
  // below its parent opened in that view.
  std::string path = subKey;
  size_t slash = path.rfind('\\');
  HKEY parent = root;
  if (slash != std::string::npos && RegOpenKeyExA(root, path.substr(0, slash).c_str(), 0,
                                                  KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
    return !RegistryKeyExists(root, subKey, view);
  const char* name = slash == std::string::npos ? subKey : subKey + slash + 1;
  LONG status = RegDeleteKeyA(parent, name);
  if (parent != root) RegCloseKey(parent);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}
