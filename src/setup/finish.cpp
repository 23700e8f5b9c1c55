// The finish page and what "Schliessen" does after it.
#include "app/cut_point.h"
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

  // The files are committed already; a rerun writes all of this again.
  CutPoint("register");
  RegisterProduct(m_strProductName, m_strInstallPath, m_strExeName, m_nVersion);
  WriteUninstaller(logCopied);
  CutPoint("registered");
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
  const size_t ours = m_uninstallList.items.size();
  if (!WriteUninstallerWith(m_uninstallList, program, true)) {
    InstallLog("Unable to write [%s]", program.c_str());
    SetExitCode(kExitFailed);
    return;
  }

  UninstallEntry entry;
  entry.displayName = m_strProductName;
  entry.displayVersion = DisplayVersionText(m_trailer);
  entry.publisher = m_trailer.extension.uninstaller.publisher;
  entry.displayIcon =
      m_bHasProgram && !m_strExeName.empty() ? m_strInstallPath + m_strExeName : program;
  entry.installLocation = m_strInstallPath.substr(0, m_strInstallPath.size() - 1);
  entry.uninstaller = program;
  // This run's files by the archive's sizes; an earlier run's by a look.
  entry.estimatedBytes = FileBytes(program) + m_trailer.TotalSize() +
                         ListedBytes(m_strInstallPath, m_uninstallList, ours);
  if (!RegisterUninstallEntry(m_strProductName, entry)) {
    InstallLog("Unable to register [%s]", UninstallKeyPath(m_strProductName).c_str());
    SetExitCode(kExitFailed);
  }
}

bool SetupDialog::WriteUninstallerWith(archive::UninstallList& list, const std::string& target,
                                       bool logTakeOver) {
  // An installation into an earlier one (the same release again, or an
  // upgrade) takes over what the earlier runs wrote, so that the uninstall
  // leaves nothing of either.
  const std::string program = m_strInstallPath + kUninstallerName;
  // One trailer for the earlier uninstaller's region and then this one's.
  archive::ArchiveTrailer region;
  uint64_t earlierImage = 0;
  if (ReadUninstallerFile(program, region, earlierImage) &&
      region.productName == m_strProductName) {
    const size_t known = list.items.size();
    list.Merge(region.extension.uninstallList);
    // This run's own list, written before its files were committed, adds nothing.
    if (logTakeOver && list.items.size() > known)
      InstallLog("Taking over the uninstall list [%s]", program.c_str());
  }
  region = UninstallerRegion(m_strProductName, m_nVersion, list);
  // The uninstaller removes the product from where this placed it.
  region.extension.product = m_trailer.extension.product;
  return WriteUninstallerFile(AfxGetModuleFileNameW(), m_nDataOffset, region, target);
}
