#include "app/install_log.h"

#include "framework/format.h"

#include <cstdarg>
#include <cstdio>

namespace {

void WriteText(HANDLE file, const std::string& text) {
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

} // namespace

std::string FormatLogTimestamp(const SYSTEMTIME& time) {
  return FormatString("%02i/%02i/%04i %02i:%02i.%02i\t", time.wDay, time.wMonth, time.wYear,
                      time.wHour, time.wMinute, time.wSecond);
}

void InstallLog(const char* fmt, ...) {
  HANDLE file = CreateFileA("install.log", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  SetFilePointer(file, 0, nullptr, FILE_END);

  SYSTEMTIME now;
  GetLocalTime(&now);
  WriteText(file, FormatLogTimestamp(now));

  // Formatted whole, however long the message.
  va_list args;
  va_start(args, fmt);
  std::string line = FormatStringV(fmt, args);
  va_end(args);
  WriteText(file, line.append("\r\n"));

  CloseHandle(file);
}
