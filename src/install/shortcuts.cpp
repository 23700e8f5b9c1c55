#include "install/shortcuts.h"

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <vector>

#include "app/folder_path.h"
#include "app/load_formatted.h"
#include "app/registry.h"
#include "app/unattended.h"
#include "dialogs/shortcut_options_dialog.h"
#include "framework/code_page.h"
#include "install/directory_chain.h"
#include "res/resource.h"

namespace {

// The shell's link object and the two interfaces used of it. Defined here
// rather than taken from libuuid, whose one object holds every GUID there is.
const CLSID kShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kShellLinkInterface = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kPersistFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

const wchar_t kShellFoldersW[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct ShortcutChoice {
  bool desktop = false;
  bool startMenu = false;
};

bool AskYesNo(const ShortcutRequest& r, const std::string& question) {
  HWND owner = r.parent ? r.parent->GetSafeHwnd() : nullptr;
  return AskUser(owner, question, r.caption.c_str(), MB_YESNO | MB_ICONQUESTION, IDYES) == IDYES;
}

ShortcutChoice AskForShortcuts(const ShortcutRequest& r) {
  ShortcutChoice choice;
  if (IsSilent()) {
    // What the options dialog offers, both ticked.
    choice.desktop = r.hasProgram;
    choice.startMenu = r.hasStartMenu;
  } else if (r.hasProgram && r.hasStartMenu) {
    ShortcutOptionsDialog options(r.parent);
    options.m_bDesktop = 1;
    options.m_bStartMenu = 1;
    options.m_strProductName = r.productName;
    options.DoModal();
    choice.desktop = options.m_bDesktop != 0;
    choice.startMenu = options.m_bStartMenu != 0;
  } else if (r.hasProgram) {
    choice.desktop = AskYesNo(r, LoadFormatted(IDS_DESKTOP_QUESTION, r.productName.c_str()));
  } else if (r.hasStartMenu) {
    choice.startMenu = AskYesNo(r, LoadFormatted(IDS_STARTMENU, nullptr));
  }
  return choice;
}

// One shell-link object with its persist-file interface, inside its own
// initialisation of the component library.
class ShellLink {
public:
  ShellLink() {
    m_initialized = SUCCEEDED(CoInitialize(nullptr));
    if (FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkInterface,
                                reinterpret_cast<void**>(&m_link))))
      m_link = nullptr;
    else if (FAILED(
                 m_link->QueryInterface(kPersistFileInterface, reinterpret_cast<void**>(&m_file))))
      m_file = nullptr;
  }
  ~ShellLink() {
    if (m_file) m_file->Release();
    if (m_link) m_link->Release();
    if (m_initialized) CoUninitialize();
  }
  ShellLink(const ShellLink&) = delete;
  ShellLink& operator=(const ShellLink&) = delete;

  bool Ready() const { return m_link && m_file; }
  IShellLinkA* operator->() const { return m_link; }

  // Writes the link as "folder\name.lnk", replacing one of the same name,
  // and records it.
  void Save(const std::string& folder, const std::string& name,
            archive::UninstallList* record) const {
    std::string path = folder + "\\" + name + ".lnk";
    // Sized to the path, so a long one is converted whole; whether the
    // system can then save it is its own affair.
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (length <= 0) return;
    std::vector<wchar_t> widePath(static_cast<size_t>(length));
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath.data(), length) != length) return;
    if (SUCCEEDED(m_file->Save(widePath.data(), TRUE)) && record &&
        archive::IsSafeAbsolutePath(path))
      record->Add(archive::UninstallItemKind::Shortcut, path);
  }

private:
  bool m_initialized = false;
  IShellLinkA* m_link = nullptr;
  IPersistFile* m_file = nullptr;
};

// A link starts in the folder of the file it opens, also where the product
// keeps its program in a sub-folder: "C:\Produkt\bin\app.exe" starts in
// "C:\Produkt\bin\" (with the backslash, as the install directory has it).
std::string FolderOf(const std::string& path) {
  return path.substr(0, path.find_last_of("\\/") + 1);
}

// The program link: the program itself, or the first "Reg" file when the
// product carries them; the icon always from the install directory.
void SetProgramTarget(const ShellLink& link, const ShortcutRequest& r) {
  std::string target =
      r.hasRegFiles ? r.installPath + "Reg\\" + r.firstRegFile : r.installPath + r.exeName;
  link->SetPath(target.c_str());
  link->SetWorkingDirectory(FolderOf(target).c_str());
  link->SetDescription(r.productName.c_str());
  link->SetIconLocation((r.installPath + r.iconFile).c_str(), 0);
}

// The folder in a form the code page can write. An empty shell folder would
// put the links at the root of the drive; they are left out instead. So
// are they when the folder has no such form: the user is told.
std::string ShellFolder(const ShortcutRequest& r, const wchar_t* name) {
  // Read in full: the code page may not be able to write it.
  std::wstring folder = ReadRegistryStringW(HKEY_CURRENT_USER, kShellFoldersW, name);
  if (folder.empty()) return {};
  return UsableFolder(folder, "Shell folder", r.parent ? r.parent->GetSafeHwnd() : nullptr,
                      r.caption);
}

void CreateDesktopShortcut(const ShortcutRequest& r) {
  std::string desktop = ShellFolder(r, L"Desktop");
  if (desktop.empty()) return;
  ShellLink link;
  if (!link.Ready()) return;
  SetProgramTarget(link, r);
  link.Save(desktop, r.productName, r.record);
}

void CreateStartMenuEntry(const ShortcutRequest& r) {
  std::string folder = ShellFolder(r, L"Programs");
  if (folder.empty()) return;
  if (!r.programFolder.empty() && r.startMenuInProgramFolder) folder += "\\" + r.programFolder;
  folder += "\\" + r.productName;
  // Every level is tried; a folder that cannot be made shows as links that
  // are not saved.
  std::vector<std::string> created;
  if (!CreateDirectoryChain(folder, created)) CreateEveryDirectory(folder);
  if (r.record)
    for (const std::string& made : created)
      if (archive::IsSafeAbsolutePath(made))
        r.record->Add(archive::UninstallItemKind::ShortcutFolder, made);

  ShellLink link;
  if (!link.Ready()) return;
  // One link object for all three; only the last sets arguments, so none
  // carries over into another link.
  if (r.programShortcut) {
    SetProgramTarget(link, r);
    link.Save(folder, r.productName, r.record);
  }
  if (r.readmeShortcut) {
    std::string readme = r.installPath + r.readmeFile;
    link->SetPath(readme.c_str());
    link->SetDescription(LoadFormatted(IDS_README, nullptr).c_str());
    link->SetIconLocation(readme.c_str(), 0);
    link->SetWorkingDirectory(FolderOf(readme).c_str());
    link.Save(folder, LoadFormatted(IDS_README, nullptr), r.record);
  }
  if (r.uninstallShortcut) {
    std::string program = r.uninstaller.empty() ? r.installPath + r.exeName : r.uninstaller;
    link->SetPath(program.c_str());
    link->SetArguments(r.uninstaller.empty() ? "-uninstall" : "");
    link->SetDescription(LoadFormatted(IDS_UNINSTALL, nullptr).c_str());
    link->SetIconLocation(program.c_str(), 0);
    link->SetWorkingDirectory(FolderOf(program).c_str());
    link.Save(folder, LoadFormatted(IDS_UNINSTALL, nullptr), r.record);
  }
}

} // namespace

std::string UserShellFolder(const wchar_t* name) {
  std::wstring folder = ReadRegistryStringW(HKEY_CURRENT_USER, kShellFoldersW, name);
  return folder.empty() ? std::string() : CodePagePath(folder);
}

void CreateShortcuts(const ShortcutRequest& request) {
  ShortcutChoice choice = AskForShortcuts(request);
  if (choice.desktop) CreateDesktopShortcut(request);
  if (choice.startMenu) CreateStartMenuEntry(request);
}
