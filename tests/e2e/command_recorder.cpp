// A stand-in for the plug-in's registrar, and for a rundll32.exe planted
// beside the setup that must never run: appends its command line and a line
// break to "commands.txt" in the current directory, then exits. Built also with
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
