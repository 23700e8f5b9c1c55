#include "app/process.h"

#include "app/product_placement.h"
#include "app/registry.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// A blocking wait instead of polling the exit code: the same result, no busy
// loop, and an exit code of 259 (STILL_ACTIVE) cannot keep us waiting.
bool WaitForEnd(HANDLE process) {
  DWORD exitCode = 0;
  const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(process, &exitCode);
  Sleep(1000);
  return ended;
}

// The program at the head of a command line, without its quotes, and where
// the rest of the line begins. False for a blank line.
bool SplitCommand(const std::string& command, std::string& program, size_t& rest) {
  size_t start = command.find_first_not_of(" \t");
  if (start == std::string::npos) return false;
  if (command[start] == '"') {
    size_t close = command.find('"', start + 1);
    if (close == std::string::npos) close = command.size();
    program = command.substr(start + 1, close - start - 1);
    rest = std::min(close + 1, command.size());
  } else {
    rest = command.find_first_of(" \t", start);
    if (rest == std::string::npos) rest = command.size();
    program = command.substr(start, rest - start);
  }
  return true;
}

} // namespace

bool RunProcess(const char* commandLine, bool noWait) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process{};
  // CreateProcessA may write into the command line.
  std::vector<char> command(commandLine, commandLine + std::strlen(commandLine) + 1);
  BOOL started;
  {
    // A 64-bit product's programs, the system's included, start as a 64-bit
    // program would start them.
    NativeFileSystem native(TheProductPlacement());
    started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process);
  }
  if (!started) return false;

  const bool result = noWait || WaitForEnd(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

bool RunProcessElevated(HWND owner, const std::string& commandLine) {
  std::string program;
  size_t rest = 0;
  if (!SplitCommand(commandLine, program, rest) || program.empty()) return false;
  const size_t parameters = commandLine.find_first_not_of(" \t", rest);
  const std::string arguments =
      parameters == std::string::npos ? "" : commandLine.substr(parameters);
  SHELLEXECUTEINFOA execute{};
  execute.cbSize = sizeof execute;
  // No message box of the shell's own when the program is missing: the
  // caller reports the failure, and an unattended run shows no window.
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  execute.hwnd = owner;
  execute.lpVerb = "runas";
  execute.lpFile = program.c_str();
  execute.lpParameters = arguments.c_str();
  execute.nShow = SW_SHOW;
  // A declined consent prompt fails with ERROR_CANCELLED, like any start.
  if (!ShellExecuteExA(&execute)) return false;
  if (!execute.hProcess) return false; // started, but its end cannot be seen
  const bool result = WaitForEnd(execute.hProcess);
  CloseHandle(execute.hProcess);
  return result;
}

std::string SystemProgram(const char* fileName) {
  char folder[MAX_PATH] = "";
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return "\"" + std::string(folder) + "\\" + fileName + "\"";
}

namespace {

bool IsAbsoluteFolder(const std::string& folder) {
  if (folder.size() >= 2 && folder[0] == '\\' && folder[1] == '\\') return true;
  return folder.size() >= 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
}

// The system folder, the Windows folder and PATH's absolute folders, as a
// list for SearchPathA. PATH's relative entries (".") would mean the current
// folder.
std::string SystemSearchPath() {
  char folder[MAX_PATH] = "";
  std::string list;
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length > 0 && length < MAX_PATH) list.append(folder);
  length = GetWindowsDirectoryA(folder, MAX_PATH);
  if (length > 0 && length < MAX_PATH) list.append(";").append(folder);
  DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  std::string path(size, '\0');
  path.resize(size ? GetEnvironmentVariableA("PATH", path.data(), size) : 0);
  for (size_t from = 0; from <= path.size();) {
    size_t end = path.find(';', from);
    if (end == std::string::npos) end = path.size();
    std::string entry = path.substr(from, end - from);
    if (IsAbsoluteFolder(entry)) list.append(";").append(entry);
    from = end + 1;
  }
  return list;
}

} // namespace

std::string QualifyCommandProgram(const std::string& command) {
  std::string program;
  size_t rest = 0;
  if (!SplitCommand(command, program, rest)) return {};
  if (program.find_first_of("\\/:") != std::string::npos) return command;
  if (program.empty()) return {};

  char found[MAX_PATH] = "";
  DWORD length;
  {
    NativeFileSystem native(TheProductPlacement());
    length =
        SearchPathA(SystemSearchPath().c_str(), program.c_str(), ".exe", MAX_PATH, found, nullptr);
  }
  if (length == 0 || length >= MAX_PATH) return {};
  return "\"" + std::string(found) + "\"" + command.substr(std::min(rest, command.size()));
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
  command = QualifyCommandProgram(command);
  if (command.empty()) return false;
  return RunProcess(FillOpenCommand(command, std::string(directory) + fileName).c_str(), true);
}
