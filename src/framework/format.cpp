#include "format.h"

#include <cstdio>

#ifdef _WIN32
// The system's C runtime formats; mingw's own C99 printf would add some
// 25 KiB to the stub. _vscprintf measures, _vsnprintf writes.
std::string FormatStringV(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int needed = _vscprintf(fmt, copy);
  va_end(copy);
  if (needed <= 0) return std::string();
  std::string out(size_t(needed), '\0');
  _vsnprintf(out.data(), out.size(), fmt, args);
  return out;
}
#else
std::string FormatStringV(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (needed <= 0) return std::string();
  std::string out(size_t(needed), '\0');
  std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  return out;
}
#endif

std::string FormatString(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = FormatStringV(fmt, args);
  va_end(args);
  return out;
}
