#include "app/process.h"

#include "app/registry.h"

#include <windows.h>

#include <cstring>
#include <vector>

bool RunProcess(const char* commandLine, bool noWait) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process{};
  // CreateProcessA may write into the command line.
  std::vector<char> command(commandLine, commandLine + std::strlen(commandLine) + 1);
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;

  bool result = true;
  if (!noWait) {
    // A blocking wait instead of polling the exit code: the same result, no
    // busy loop, and an exit code of 259 (STILL_ACTIVE) cannot keep us waiting.
    DWORD exitCode = 0;
    result = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
             GetExitCodeProcess(process.hProcess, &exitCode);
    Sleep(1000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

namespace {

// The registered open command with every "%1" replaced by the document path.
std::string FillOpenCommand(const std::string& command, const std::string& document) {
  std::string filled;
  size_t from = 0;
  for (size_t at; (at = command.find("%1", from)) != std::string::npos; from = at + 2)
    filled.append(command, from, at - from).append(document);
  return filled.append(command, from, std::string::npos);
}

} // namespace

bool OpenWithRegisteredProgram(const char* directory, const char* fileName) {
  const char* extension = std::strchr(fileName, '.');
  if (extension == nullptr) return false;
  std::string type = ReadRegistryString(HKEY_CLASSES_ROOT, extension, nullptr);
  if (type.empty()) return false;
  std::string command =
      ReadRegistryString(HKEY_CLASSES_ROOT, (type + "\\shell\\open\\command").c_str(), nullptr);
  if (command.empty()) return false;
  return RunProcess(FillOpenCommand(command, std::string(directory) + fileName).c_str(), true);
}
