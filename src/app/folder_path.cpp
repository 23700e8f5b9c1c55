#include "app/folder_path.h"

#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/unattended.h"
#include "framework/code_page.h"
#include "res/resource.h"

std::wstring FolderOfItemList(LPCITEMIDLIST item) {
  wchar_t path[MAX_PATH] = L"";
  if (item == nullptr || !SHGetPathFromIDListW(item, path)) return {};
  return path;
}

std::string UsableFolder(const std::wstring& folder, const char* what, HWND owner,
                         const std::string& caption) {
  std::string path = CodePagePath(folder);
  if (!path.empty()) return path;
  std::string shown = ToDisplayText(folder);
  InstallLog("%s not usable [%s]", what, shown.c_str());
  AskUser(owner, LoadFormatted(IDS_OPEN_FAILED, shown.c_str()), caption.c_str(),
          MB_OK | MB_ICONSTOP, IDOK);
  return {};
}
