#include "uninstall/temp_copy.h"

#include <windows.h>

#include "app/unattended.h"
#include "framework/afxwin.h"
#include "framework/code_page.h"
#include "install/temp_folder.h"
#include "install/uninstaller_file.h"

int RunFromTemporaryCopy() {
  const std::string folder = CreatePrivateTempFolder();
  if (folder.empty()) return -1;
  const std::string copy = folder + kUninstallerName;
  const std::string origin = AfxGetModuleFileName();
  if (!CopyFileW(AfxGetModuleFileNameW().c_str(), FromCodePage(copy).c_str(), FALSE)) {
    RemoveFolderTree(folder);
    return -1;
  }
  std::string command = "\"" + copy + "\"" + (IsSilent() ? " /S" : "") + " /_?=" + origin;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(copy.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    RemoveFolderTree(folder);
    return -1;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = kExitFailed;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return int(code);
}

bool IsOriginalOf(const std::string& origin, const archive::ArchiveTrailer& own) {
  archive::ArchiveTrailer theirs;
  uint64_t imageLength = 0;
  return ReadUninstallerFile(origin, theirs, imageLength) &&
         theirs.productName == own.productName &&
         theirs.extension.uninstallList == own.extension.uninstallList;
}
