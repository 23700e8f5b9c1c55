// Test helper started by the process tests:
//   recorder.exe RECORD-FILE [SLEEP-MS [EXIT-CODE]] [anything...]
// Sleeps, then writes its whole command line into RECORD-FILE (under a
// temporary name first, so the file appears complete) and exits with EXIT-CODE.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (argc > 2) Sleep(static_cast<DWORD>(std::atoi(argv[2])));
  std::string target = argv[1];
  std::string partial = target + ".part";
  HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const char* commandLine = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, commandLine, static_cast<DWORD>(lstrlenA(commandLine)), &written, nullptr);
  CloseHandle(file);
  if (!MoveFileA(partial.c_str(), target.c_str())) return 4;
  return argc > 3 ? std::atoi(argv[3]) : 0;
}
