#include "format.h"

#include <cstdio>

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

std::string FormatString(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = FormatStringV(fmt, args);
  va_end(args);
  return out;
}
