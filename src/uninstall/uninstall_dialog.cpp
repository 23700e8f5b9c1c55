#include "uninstall/uninstall_dialog.h"

#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/product_mutex.h"
#include "app/unattended.h"
#include "framework/format.h"
#include "install/steady_pump.h"
#include "res/resource.h"
#include "uninstall/uninstall_texts.h"

namespace {

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

} // namespace

UninstallDialog::UninstallDialog(std::string installPath, std::string uninstaller,
                                 std::string moveAsideFolder)
    : WizardDialog(IDD_PATCH_DIALOG, nullptr), m_strUninstaller(std::move(uninstaller)),
      m_strMoveAside(std::move(moveAsideFolder)) {
  m_strInstallPath = std::move(installPath);
  m_bHidden = IsSilent();
}

BOOL UninstallDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!OpenOwnArchive() || !ReadTrailerRegion(true)) return TRUE;
  m_file.Abort();
  SetWindowText(m_strCaption);
  m_progress.ShowWindow(SW_HIDE);
  m_readmeCheck.ShowWindow(SW_HIDE);
  // Held until the process ends: a setup, a patch or another uninstall of
  // the product waits for none of this run's steps.
  if (!AcquireProductMutex(m_strProductName)) {
    InstallLog("Setup running [%s]", m_strProductName.c_str());
    ReportFailure(m_hWnd, FormatString(kUninstallSetupRunning, m_strProductName.c_str()),
                  m_strCaption.c_str(), MB_OK | MB_ICONSTOP, kExitRefused);
    EndDialog(-1);
    return TRUE;
  }
  OnOK();
  return TRUE;
}

void UninstallDialog::OnOK() {
  if (m_bRemoving) return;
  switch (++m_nPage) {
  case 0:
    ShowQuestionPage();
    break;
  case 1:
    RemovePage();
    break;
  default:
    CDialog::OnOK();
    return;
  }
  Advance();
}

void UninstallDialog::Advance() {
  if (IsSilent() && IsWindow(m_hWnd)) PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
}

void UninstallDialog::ShowQuestionPage() {
  m_staticText.SetWindowText(FormatString(kUninstallQuestion, m_strProductName.c_str()));
}

void UninstallDialog::RemovePage() {
  CWnd next = GetDlgItem(IDOK);
  CWnd cancel = GetDlgItem(IDCANCEL);
  next.EnableWindow(FALSE);
  cancel.EnableWindow(FALSE);
  m_progress.ShowWindow(SW_SHOW);
  m_progress.SetRange(0, 100);
  m_progress.SetPos(0);
  m_staticText.SetWindowText(FormatString(kUninstallRunning, m_strProductName.c_str()));
  InstallLog("Uninstalling [%s]", m_strInstallPath.c_str());

  RemovalRequest request;
  request.installPath = m_strInstallPath;
  request.productName = m_strProductName;
  request.list = &m_trailer.extension.uninstallList;
  request.uninstaller = m_strUninstaller;
  request.moveAsideFolder = m_strMoveAside;
  request.owner = m_hWnd;
  request.caption = m_strCaption;
  // A product of many thousands of files takes a while: the window stays
  // alive meanwhile (OnOK and OnCancel wait for the end of the removal).
  request.progress = [this, shown = -1](size_t done, size_t total) mutable {
    const int percent = total ? int(done * 100 / total) : 100;
    if (percent != shown) m_progress.SetPos(shown = percent);
    PumpWhenDue();
  };
  m_bRemoving = true;
  m_result = RemoveInstallation(request);
  m_bRemoving = false;
  if (m_result.refused) {
    // The user has seen the file in use named; nothing was removed.
    SetExitCode(kExitRefused);
    EndDialog(IDCANCEL);
    return;
  }
  if (m_result.restartNeeded) SetExitCode(kExitRestart);
  if (m_result.failed) SetExitCode(kExitFailed);
  InstallLog("Uninstall finished");

  m_progress.ShowWindow(SW_HIDE);
  cancel.ShowWindow(SW_HIDE);
  next.EnableWindow(TRUE);
  next.SetWindowText(LoadFormatted(IDS_CLOSE, nullptr));
  m_staticText.SetWindowText(FinishText());
  SetForegroundWindow();
}

std::string UninstallDialog::FinishText() const {
  const char* product = m_strProductName.c_str();
  if (m_result.nothingToDo) return FormatString(kUninstallNothingToDo, product);
  std::string text = FormatString(kUninstallDone, product);
  if (!m_result.keptFolders.empty())
    text += FormatString(kUninstallKept, Joined(m_result.keptFolders).c_str());
  if (m_result.restartNeeded) text += kUninstallRestart;
  if (!m_result.notRemoved.empty())
    text += FormatString(kUninstallNotRemoved, Joined(m_result.notRemoved).c_str());
  return text;
}

void UninstallDialog::OnCancel() {
  if (m_bRemoving) return;
  // After the removal there is nothing left to cancel.
  if (m_nPage >= 1) {
    CDialog::OnOK();
    return;
  }
  if (MessageBox(FormatString(kUninstallCancel, m_strProductName.c_str()).c_str(),
                 m_strCaption.c_str(), MB_YESNO | MB_ICONSTOP | MB_DEFBUTTON2) != IDYES)
    return;
  SetExitCode(kExitRefused);
  CDialog::OnCancel();
}
