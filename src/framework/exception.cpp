#include "exception.h"

#include <cstring>

BOOL CException::GetErrorMessage(LPSTR buf, UINT size, PUINT helpContext) const {
  if (helpContext) *helpContext = 0;
  if (!buf || size == 0) return FALSE;
  std::string text = GetErrorMessage();
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return TRUE;
}

std::string SystemErrorMessage(DWORD error) {
  char* text = nullptr;
  DWORD len = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string out;
  if (len && text) out.assign(text, len);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
    out.pop_back();
  return out;
}
