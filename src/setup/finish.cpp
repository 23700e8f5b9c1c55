// The finish page and what "Schliessen" does after it.
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/process.h"
#include "app/unattended.h"
#include "install/product_key.h"
#include "install/uninstall_entry.h"
#include "install/uninstaller_file.h"
#include "res/resource.h"
#include "setup/setup_dialog.h"

void SetupDialog::ShowFinishPage() {
  if (m_bHasReadme) {
    m_readmeCheck.SetWindowText(LoadFormatted(IDS_README_CHECK, m_strProductName.c_str()));
    m_readmeCheck.ShowWindow(SW_SHOW);
    m_readmeCheck.SetCheck(BST_CHECKED);
  }
  ShowClosingPage(LoadFormatted(IDS_FINISHED, m_strProductName.c_str()));
}

void SetupDialog::RunFinishActions() {
  InstallLog("Setup Step 1 finished");

  // An older log in the target is kept; ours then stays where it is.
  std::string logCopy = m_strInstallPath + "install.log";
  const bool logCopied = CopyFileA("install.log", logCopy.c_str(), TRUE) != 0;
  if (logCopied) DeleteFileA("install.log");

  // The product's first run. Its path is quoted: a blank in it must not
  // start another program.
  if (!m_strExeName.empty()) {
    std::string command = "\"" + m_strInstallPath + m_strExeName + "\" -install";
    RunProcess(command.c_str(), false);
  }

  // An unattended run opens no window, the readme's viewer neither.
  if (!IsSilent() && m_bHasReadme && m_readmeCheck.GetCheck() == BST_CHECKED &&
      !OpenWithRegisteredProgram(m_strInstallPath.c_str(), m_strReadmeFile.c_str()))
    AfxMessageBox(LoadFormatted(IDS_README_FAILED, m_strReadmeFile.c_str()), MB_OK);

  RegisterProduct(m_strProductName, m_strInstallPath, m_strExeName, m_nVersion);
  WriteUninstaller(logCopied);
  CDialog::OnOK();
}

void SetupDialog::WriteUninstaller(bool logCopied) {
  if (!m_trailer.extension.uninstaller.enabled) return;
  using archive::UninstallItemKind;
  // The log is listed only when it is ours: an older one stays.
  if (logCopied) m_uninstallList.Add(UninstallItemKind::File, "install.log");
  m_uninstallList.Add(UninstallItemKind::ProductKey, "");
  m_uninstallList.Add(UninstallItemKind::UninstallEntry, "");

  const std::string program = m_strInstallPath + kUninstallerName;
  archive::ArchiveTrailer region = UninstallerRegion(m_strProductName, m_nVersion, m_uninstallList);
  // The uninstaller removes the product from where this placed it.
  region.extension.product = m_trailer.extension.product;
  if (!WriteUninstallerFile(AfxGetModuleFileNameW(), m_nDataOffset, region, program)) return;

  UninstallEntry entry;
  entry.displayName = m_strProductName;
  entry.displayVersion = std::to_string(m_nVersion);
  entry.publisher = m_trailer.extension.uninstaller.publisher;
  entry.displayIcon =
      m_bHasProgram && !m_strExeName.empty() ? m_strInstallPath + m_strExeName : program;
  entry.installLocation = m_strInstallPath.substr(0, m_strInstallPath.size() - 1);
  entry.uninstaller = program;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExA(program.c_str(), GetFileExInfoStandard, &data))
    entry.estimatedBytes = data.nFileSizeLow;
  entry.estimatedBytes += m_trailer.TotalSize();
  RegisterUninstallEntry(m_strProductName, entry);
}
