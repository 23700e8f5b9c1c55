// A stand-in for the programs the setup starts for the plug-in (rundll32.exe,
// the registrar): appends its command line and a line break to
// "commands.txt" in the current directory, then exits. Built also with
// version resources, as the installed control of the plug-in tests.
#include <windows.h>

#include <string>

int main() {
  HANDLE file = CreateFileA("commands.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  std::string line = std::string(GetCommandLineA()) + "\r\n";
  DWORD written = 0;
  WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
