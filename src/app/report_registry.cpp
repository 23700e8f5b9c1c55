#include "app/system_report.h"

#include <string>

namespace {

class OpenedKey {
public:
  OpenedKey(HKEY root, const char* subKey) : m_ok(RegOpenKeyA(root, subKey, &m_key) == 0) {}
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  ~OpenedKey() {
    if (m_ok) RegCloseKey(m_key);
  }
  bool IsOpen() const { return m_ok; }
  HKEY Get() const { return m_key; }
  // Closes now and tells whether the close worked.
  bool Close() {
    m_ok = false;
    return RegCloseKey(m_key) == ERROR_SUCCESS;
  }

private:
  HKEY m_key = nullptr;
  bool m_ok;
};

// Ends the text inside the buffer; false when the data fills it without a terminator.
bool TerminateText(char* buffer, DWORD length, DWORD capacity) {
  if (length > 0 && buffer[length - 1] == '\0') return true;
  if (length < capacity) {
    buffer[length] = '\0';
    return true;
  }
  if (capacity > 0) buffer[capacity - 1] = '\0';
  return false;
}

} // namespace

bool TryReadRegistryDword(HKEY root, const char* subKey, const char* valueName, DWORD& value) {
  OpenedKey key(root, subKey);
  if (!key.IsOpen()) return false;
  DWORD size = sizeof value;
  bool read = RegQueryValueExA(key.Get(), valueName, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS;
  bool closed = key.Close();
  return read && closed;
}

bool QueryRegistryValueType(HKEY root, const char* subKey, const char* valueName, DWORD& type) {
  OpenedKey key(root, subKey);
  if (!key.IsOpen()) return false;
  bool read =
      RegQueryValueExA(key.Get(), valueName, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS;
  bool closed = key.Close();
  return read && closed;
}

bool TryReadRegistryString(HKEY root, const char* subKey, const char* valueName, char* buffer,
                           DWORD* size) {
  const DWORD capacity = *size;
  if (capacity == 0) return false;
  buffer[0] = '\0';
  DWORD type = 0;
  if (!QueryRegistryValueType(root, subKey, valueName, type)) return false;

  OpenedKey key(root, subKey);
  if (!key.IsOpen()) return false;
  bool read = RegQueryValueExA(key.Get(), valueName, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(buffer), size) == ERROR_SUCCESS;
  bool closed = key.Close();
  if (!read) {
    buffer[0] = '\0';
    return false;
  }
  if (!TerminateText(buffer, *size, capacity)) return false;

  if (type == REG_EXPAND_SZ) {
    std::string source(buffer);
    DWORD needed = ExpandEnvironmentStringsA(source.c_str(), buffer, capacity);
    if (needed == 0 || needed > capacity) {
      // Too long for the caller's buffer: no usable text.
      buffer[0] = '\0';
      return false;
    }
  }
  return closed;
}
