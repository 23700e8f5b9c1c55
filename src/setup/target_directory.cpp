// Where the product goes: the check for a newer installed version, the
// proposed directory, the folder browser and the existing-directory question.
#include <windows.h>

#include <shlobj.h>

#include "app/files.h"
#include "app/folder_path.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/product_placement.h"
#include "app/registry.h"
#include "app/unattended.h"
#include "framework/code_page.h"
#include "framework/format.h"
#include "install/product_key.h"
#include "res/resource.h"
#include "setup/setup_dialog.h"

namespace {

// A per-user product goes where the user may write without elevation.
const char kNotWritable[] =
    "In das Verzeichnis \"%s\" kann ohne Administratorrechte nicht installiert werden. Bitte "
    "w\xE4hlen Sie ein Verzeichnis, in das Sie schreiben d\xFCrfen, zum Beispiel in Ihrem "
    "Benutzerverzeichnis.";

// The folder chosen by the last browse: the root of the next one.
LPITEMIDLIST g_pBrowseRoot = nullptr;

bool EndsWithBackslash(const std::string& path) {
  if (path.empty()) return false;
  // The last character, which may be a double-byte one.
  const char* last = CharPrevA(path.c_str(), path.c_str() + path.size());
  return lstrcmpiA(last, "\\") == 0;
}

} // namespace

bool SetupDialog::CheckInstalledVersion() {
  if (ReadProductPath(m_strProductName).empty()) return true;
  DWORD installed = ReadProductVersion(m_strProductName);
  if (installed == 0xFFFFFFFF || installed <= DWORD(m_nVersion)) return true;
  // Code page 1252; no icon, and the application's name as caption.
  std::string question = FormatString("Eine aktuellere Version von \"%s\" ist bereits installiert. "
                                      "M\xF6"
                                      "chten Sie die Installation trotzdem fortfahren?",
                                      m_strProductName.c_str());
  if (IsSilent()) {
    // An administrator's run never puts an older version over a newer one.
    InstallLog("Newer version installed [%lu]", static_cast<unsigned long>(installed));
    SetExitCode(kExitRefused);
    EndDialog(-1);
    return false;
  }
  if (MessageBox(question.c_str(), nullptr, MB_YESNO) == IDNO) PostQuitMessage(0);
  return true;
}

std::string SetupDialog::DefaultDirectory() {
  if (TheCommandLine().hasTarget) return TheCommandLine().target;
  std::string installed = ReadProductPath(m_strProductName);
  if (!installed.empty()) return installed.substr(0, installed.size() - 1);
  const ProductPlacement& placement = TheProductPlacement();
  std::string programFiles = placement.perUser ? "" : "C:\\Program Files";
  // Read in full: the code page may not be able to write it.
  std::wstring registered = ProductsFolder(placement);
  if (programFiles.empty() && registered.empty()) return {};
  if (!registered.empty()) {
    programFiles = UsableFolder(registered, "Program files folder", m_hWnd, m_strCaption);
    // Nothing that names it: no proposal, the user chooses the folder.
    if (programFiles.empty()) return {};
  }
  if (!m_strProgramFolder.empty())
    return programFiles + "\\" + m_strProgramFolder + "\\" + m_strProductName;
  return programFiles + "\\" + m_strProductName;
}

void SetupDialog::OnBrowse() {
  std::wstring title = FromCodePage(LoadFormatted(IDS_BROWSE_TITLE, m_strProductName.c_str()));
  wchar_t displayName[MAX_PATH] = L"";
  BROWSEINFOW info = {};
  info.hwndOwner = m_hWnd;
  info.pidlRoot = g_pBrowseRoot;
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX;
  LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
  if (g_pBrowseRoot) CoTaskMemFree(g_pBrowseRoot);
  g_pBrowseRoot = chosen;

  // The folder in full, then in a form that names it in the code page.
  std::wstring folder = FolderOfItemList(chosen);
  if (folder.empty()) return;
  std::string directory = UsableFolder(folder, "Browsed folder", m_hWnd, m_strCaption);
  if (directory.empty()) return;
  if (!EndsWithBackslash(directory)) directory += "\\";
  m_editDir.SetWindowText(directory + m_strProductName);
}

bool SetupDialog::AcceptUserTarget(const std::string& directory) {
  if (!TheProductPlacement().perUser || UserMayInstallInto(directory)) return true;
  InstallLog("Not writable without administrator rights [%s]", directory.c_str());
  ReportFailure(m_hWnd, FormatString(kNotWritable, directory.c_str()), m_strCaption.c_str(),
                MB_OK | MB_ICONSTOP, kExitRefused);
  return false;
}

bool SetupDialog::ConfirmExistingDirectory(const std::string& directory) {
  if (!FileExists(directory.c_str())) return true;
  InstallLog("Directory already exists.");
  std::string question = LoadFormatted(IDS_DIR_EXISTS, directory.c_str());
  if (AskUser(m_hWnd, question, m_strCaption.c_str(), MB_YESNO | MB_ICONINFORMATION, IDYES) == IDNO)
    return false;
  InstallLog("Installationdirectory confirmed");
  m_bDirConfirmed = true;
  return true;
}
