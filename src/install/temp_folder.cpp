#include "install/temp_folder.h"

#include <windows.h>

#include "app/install_log.h"
#include "framework/code_page.h"
#include "framework/format.h"

namespace {

std::wstring WideTempPath() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return {};
  std::wstring path(buffer, n);
  if (path.back() != L'\\') path += L'\\';
  return path;
}

std::string SystemTempPath() {
  std::string path = CodePagePath(WideTempPath());
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

} // namespace

std::string SystemTempFolder() { return SystemTempPath(); }

std::string SystemTempFolderForDisplay() { return ToDisplayText(WideTempPath()); }

void RemoveFolderTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveFolderTree(path + "\\");
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

std::string CreatePrivateTempFolder() {
  std::string temp = SystemTempPath();
  if (temp.empty()) {
    std::wstring wide = WideTempPath();
    if (wide.empty()) return {};
    // The folder exists under a name the code page cannot write, and has no
    // short name that it could.
    InstallLog("Temporary folder not usable [%s]", ToDisplayText(wide).c_str());
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return {};
  }
  // CreateDirectoryA either makes the folder or finds it taken: a name that
  // is ours cannot be shared with another program or another installer.
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
  for (DWORD attempt = 0; attempt < 1000; ++attempt) {
    std::string path =
        temp + FormatString("TVS%05lX.tmp", static_cast<unsigned long>((seed + attempt) & 0xFFFFF));
    if (path.size() + 1 >= MAX_PATH) return {};
    if (CreateDirectoryA(path.c_str(), nullptr)) return path + "\\";
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

void RemovePrivateTempFolder(const std::string& path) {
  // Never more than a folder below the temporary directory.
  std::string temp = SystemTempPath();
  if (temp.empty() || path.size() <= temp.size() + 1 || path.back() != '\\') return;
  if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path.c_str(), int(temp.size()),
                     temp.c_str(), int(temp.size())) != CSTR_EQUAL)
    return;
  if (path.find("\\..", temp.size() - 1) != std::string::npos) return;
  RemoveFolderTree(path);
}
