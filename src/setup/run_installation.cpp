#include "app/cancel.h"
#include "app/load_formatted.h"
#include "app/unattended.h"
#include "framework/exception.h"
#include "install/payload_installer.h"
#include "install/shortcuts.h"
#include "install/temp_folder.h"
#include "install/uninstaller_file.h"
#include "res/resource.h"
#include "setup/setup_dialog.h"

bool SetupDialog::RunInstallation() {
  m_strTempPath = CreatePrivateTempFolder();
  if (m_strTempPath.empty()) {
    DWORD error = GetLastError();
    std::string reason = error == ERROR_NO_UNICODE_TRANSLATION ? SystemTempFolderForDisplay()
                                                               : SystemErrorMessage(error);
    ReportFailure(m_hWnd, LoadFormatted(IDS_OPEN_FAILED, reason.c_str()), m_strCaption.c_str(),
                  MB_OK | MB_ICONSTOP);
    EndDialog(-1);
    return false;
  }

  InstallRequest request = OwnProgramRequest(m_trailer, m_layout.StreamLength(), m_strInstallPath,
                                             m_strCaption, this, &m_staticText, &m_progress);
  request.tempPath = m_strTempPath;
  request.productName = m_strProductName;
  const bool uninstaller = m_trailer.extension.uninstaller.enabled;
  if (uninstaller) {
    request.record = &m_uninstallList;
    // A first installation into the folder: before its files are committed
    // the uninstaller already knows them and the folders made for them (and
    // the log the finish copies), so that a run cut off before the product is
    // registered, and then run again, leaves nothing its uninstall misses.
    request.extraFiles = [this](const std::string& staging, std::vector<std::string>& names) {
      if (GetFileAttributesA((m_strInstallPath + kUninstallerName).c_str()) !=
          INVALID_FILE_ATTRIBUTES)
        return;
      if (GetFileAttributesA((m_strInstallPath + "install.log").c_str()) == INVALID_FILE_ATTRIBUTES)
        m_uninstallList.Add(archive::UninstallItemKind::File, "install.log");
      if (WriteUninstallerWith(m_uninstallList, staging + kUninstallerName, false))
        names.push_back(kUninstallerName);
    };
  }
  InstallResult result = InstallPayload(request);
  // Refused: a file in use, named already; nothing was written.
  if (result == InstallResult::Failed || result == InstallResult::Refused) EndDialog(-1);
  if (result != InstallResult::Completed || g_bCancel) return false;

  ShortcutRequest shortcuts;
  shortcuts.installPath = m_strInstallPath;
  shortcuts.productName = m_strProductName;
  shortcuts.caption = m_strCaption;
  shortcuts.hasProgram = m_bHasProgram;
  shortcuts.iconFile = m_strIconFile;
  shortcuts.exeName = m_strExeName;
  shortcuts.hasStartMenu = m_bHasStartMenu;
  shortcuts.startMenuInProgramFolder = m_bStartMenuInProgramFolder;
  shortcuts.uninstallShortcut = m_bUninstallShortcut;
  shortcuts.readmeShortcut = m_bReadmeShortcut;
  shortcuts.programShortcut = m_bProgramShortcut;
  shortcuts.programFolder = m_strProgramFolder;
  shortcuts.readmeFile = m_strReadmeFile;
  shortcuts.hasRegFiles = m_bHasRegFiles;
  shortcuts.firstRegFile = m_strRegFiles[0];
  shortcuts.parent = this;
  if (uninstaller) {
    shortcuts.uninstaller = m_strInstallPath + kUninstallerName;
    shortcuts.record = &m_uninstallList;
  }
  CreateShortcuts(shortcuts);
  return true;
}
