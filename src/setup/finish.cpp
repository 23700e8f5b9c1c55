// The finish page and what "Schliessen" does after it.
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/process.h"
#include "install/product_key.h"
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
  if (CopyFileA("install.log", logCopy.c_str(), TRUE)) DeleteFileA("install.log");

  // The product's first run. Its path is quoted: a blank in it must not
  // start another program.
  if (!m_strExeName.empty()) {
    std::string command = "\"" + m_strInstallPath + m_strExeName + "\" -install";
    RunProcess(command.c_str(), false);
  }

  if (m_bHasReadme && m_readmeCheck.GetCheck() == BST_CHECKED &&
      !OpenWithRegisteredProgram(m_strInstallPath.c_str(), m_strReadmeFile.c_str()))
    AfxMessageBox(LoadFormatted(IDS_README_FAILED, m_strReadmeFile.c_str()), MB_OK);

  RegisterProduct(m_strProductName, m_strInstallPath, m_strExeName, m_nVersion);
  CDialog::OnOK();
}
