#include "uninstall/temp_copy.h"

#include <windows.h>

#include "app/unattended.h"
#include "framework/afxwin.h"
#include "framework/code_page.h"
#include "install/temp_folder.h"
#include "install/uninstaller_file.h"

bool RunFromTemporaryCopy(int& exitCode) {
  const std::string folder = CreatePrivateTempFolder();
  if (folder.empty()) return false;
  const std::string copy = folder + kUninstallerName;
  const std::string origin = AfxGetModuleFileName();
  if (!CopyFileW(AfxGetModuleFileNameW().c_str(), FromCodePage(copy).c_str(), FALSE)) {
    RemoveFolderTree(folder);
    return false;
  }
  std::string command = "\"" + copy + "\"" + (IsSilent() ? " /S" : "") + " /_?=" + origin;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(copy.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    RemoveFolderTree(folder);
    return false;
  }
  CloseHandle(process.hThread);
  // Started from the installation folder (the start menu's link does so),
  // this process would keep it as its current folder while the copy removes it.
  SetCurrentDirectoryA(folder.c_str());
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = kExitFailed;
  if (!GetExitCodeProcess(process.hProcess, &code) || code > DWORD(kExitRestart))
    code = kExitFailed; // a crash (0xC0000005) is no code of ours
  CloseHandle(process.hProcess);
  exitCode = int(code);
  return true;
}

bool IsOriginalOf(const std::string& origin, const archive::ArchiveTrailer& own) {
  archive::ArchiveTrailer theirs;
  uint64_t imageLength = 0;
  return ReadUninstallerFile(origin, theirs, imageLength) &&
         theirs.productName == own.productName &&
         theirs.extension.uninstallList == own.extension.uninstallList;
}
