// The page driver and the pages of the setup wizard.
#include "app/cancel.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/pump.h"
#include "app/unattended.h"
#include "res/resource.h"
#include "setup/setup_dialog.h"

void SetupDialog::OnOK() {
  if (g_bCancel) return;
  switch (++m_nPage) {
  case 1:
    ShowWelcomePage();
    break;
  case 2:
    ShowDirectoryPage();
    break;
  case 3:
    InstallPage();
    break;
  default:
    // Refused: nothing was installed, so there is nothing to finish.
    if (m_bFlashRefused)
      CDialog::OnOK();
    else
      RunFinishActions();
    return;
  }
  AdvanceUnattended();
}

void SetupDialog::AdvanceUnattended() {
  // The next page as if "Weiter" were clicked; a page that ended the dialog
  // or a cancel stops it.
  if (IsSilent() && !g_bCancel && IsWindow(m_hWnd))
    PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
}

void SetupDialog::ShowWelcomePage() {
  m_btnBrowse.ShowWindow(SW_HIDE);
  m_editDir.ShowWindow(SW_HIDE);
  m_progress.ShowWindow(SW_HIDE);
  m_readmeCheck.ShowWindow(SW_HIDE);
  m_staticText.SetWindowText(LoadFormatted(IDS_WELCOME, m_strProductName.c_str()));
}

void SetupDialog::ShowDirectoryPage() {
  if (!AcceptLicense()) return;
  m_btnBrowse.ShowWindow(SW_SHOW);
  m_editDir.ShowWindow(SW_SHOW);
  m_progress.ShowWindow(SW_HIDE);
  m_readmeCheck.ShowWindow(SW_HIDE);
  m_staticText.SetWindowText(LoadFormatted(IDS_CHOOSE_DIR, m_strProductName.c_str()));
  m_editDir.SetWindowText(DefaultDirectory());
}

void SetupDialog::InstallPage() {
  const std::string typed = m_editDir.GetWindowText();
  m_readmeCheck.ShowWindow(SW_HIDE);
  InstallLog("Installing into [%s]", typed.c_str());
  std::string directory;
  if (!AcceptTargetFolder(typed, directory)) return;
  if (!AcceptUserTarget(directory)) {
    if (IsSilent()) {
      EndDialog(-1);
      return;
    }
    m_nPage -= 2;
    OnOK();
    return;
  }
  if (!ConfirmExistingDirectory(directory)) {
    // Back to the directory page, with the proposal instead of the rejected text.
    m_nPage -= 2;
    OnOK();
    return;
  }
  m_btnBrowse.ShowWindow(SW_HIDE);
  m_editDir.ShowWindow(SW_HIDE);
  m_progress.ShowWindow(SW_SHOW);
  m_staticText.SetWindowText(LoadFormatted(IDS_INSTALLING, m_strProductName.c_str()));
  m_strInstallPath = directory + "\\";
  m_btnNext.EnableWindow(FALSE);
  if (m_bNeedsFlash && !CheckFlashPlugin()) {
    ShowFlashRefusalPage();
    return;
  }
  // The plug-in's commands run only on a complete installation: after a
  // failure or a cancel its files are not there to install.
  if (RunInstallation() && m_bInstallFlash && !InstallFlashPlugin()) {
    ShowFlashFailurePage();
    return;
  }
  if (PumpPendingMessages()) return;
  ShowFinishPage();
}

void SetupDialog::ShowClosingPage(const std::string& text) {
  m_btnBrowse.ShowWindow(SW_HIDE);
  m_editDir.ShowWindow(SW_HIDE);
  m_progress.ShowWindow(SW_HIDE);
  m_staticText.SetWindowText(text);
  m_btnCancel.ShowWindow(SW_HIDE);
  m_btnNext.EnableWindow(TRUE);
  m_btnNext.SetWindowText(LoadFormatted(IDS_CLOSE, nullptr));
  SetForegroundWindow();
}
