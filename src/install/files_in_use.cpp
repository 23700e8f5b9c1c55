#include "install/files_in_use.h"

#include <restartmanager.h>

#include "app/install_log.h"
#include "app/system_library.h"
#include "app/unattended.h"
#include "framework/code_page.h"
#include "framework/format.h"

namespace {

const char kFileInUse[] =
    "Die Datei \"%s\" wird von einem anderen Programm verwendet. Bitte beenden Sie dieses "
    "Programm und klicken Sie auf \"Wiederholen\". Mit \"Abbrechen\" k\xF6nnen Sie das Setup "
    "beenden.";
const char kFileInUseBy[] =
    "Die Datei \"%s\" wird von dem Programm \"%s\" verwendet. Bitte beenden Sie dieses "
    "Programm und klicken Sie auf \"Wiederholen\". Mit \"Abbrechen\" k\xF6nnen Sie das Setup "
    "beenden.";

// A silent run waits this long for a file to come free.
constexpr DWORD kSilentWaitMs = 5000;
constexpr DWORD kSilentRetryMs = 250;

bool InUse(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE | DELETE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return false;
  }
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

using RmStartSessionFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using RmRegisterResourcesFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT,
                                             LPCWSTR*);
using RmGetListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
using RmEndSessionFn = DWORD(WINAPI*)(DWORD);

template <typename Fn> Fn Function(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

} // namespace

std::string FirstFileInUse(const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    if (InUse(path)) return path;
  return {};
}

std::string ProgramHolding(const std::string& path) {
  static HMODULE library = LoadSystemLibrary("rstrtmgr.dll");
  if (!library) return {};
  auto start = Function<RmStartSessionFn>(library, "RmStartSession");
  auto add = Function<RmRegisterResourcesFn>(library, "RmRegisterResources");
  auto list = Function<RmGetListFn>(library, "RmGetList");
  auto end = Function<RmEndSessionFn>(library, "RmEndSession");
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (!start || !add || !list || !end || start(&session, 0, key) != ERROR_SUCCESS) return {};
  std::string program;
  const std::wstring wide = FromCodePage(path);
  LPCWSTR files[] = {wide.c_str()};
  RM_PROCESS_INFO info[4];
  UINT needed = 0, count = 4;
  DWORD reasons = 0;
  if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
      list(session, &needed, &count, info, &reasons) == ERROR_SUCCESS && count > 0)
    program = ToDisplayText(info[0].strAppName);
  end(session);
  return program;
}

bool WaitUntilFilesAreFree(HWND owner, const char* caption,
                           const std::vector<std::string>& paths) {
  const DWORD started = GetTickCount();
  for (;;) {
    const std::string file = FirstFileInUse(paths);
    if (file.empty()) return true;
    const std::string program = ProgramHolding(file);
    if (IsSilent()) {
      if (GetTickCount() - started >= kSilentWaitMs) {
        InstallLog("File in use [%s] [%s]", file.c_str(), program.c_str());
        return false;
      }
      Sleep(kSilentRetryMs);
      continue;
    }
    const std::string text = program.empty()
                                 ? FormatString(kFileInUse, file.c_str())
                                 : FormatString(kFileInUseBy, file.c_str(), program.c_str());
    if (MessageBoxA(owner, text.c_str(), caption, MB_RETRYCANCEL | MB_ICONEXCLAMATION) != IDRETRY) {
      InstallLog("File in use [%s] [%s]", file.c_str(), program.c_str());
      return false;
    }
  }
}
