#include "patch/patch_dialog.h"

#include "app/cancel.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/process.h"
#include "app/product_mutex.h"
#include "app/unattended.h"
#include "res/resource.h"

PatchDialog::PatchDialog(CWnd* parent) : WizardDialog(IDD_PATCH_DIALOG, parent) {
  m_bHidden = IsSilent();
}

PatchDialog::~PatchDialog() = default;

bool PatchDialog::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT&) {
  if (msg == WM_DESTROY) OnDestroy();
  return false;
}

BOOL PatchDialog::OnInitDialog() {
  CDialog::OnInitDialog();

  if (!OpenOwnArchive() || !ReadTrailerRegion(true)) return TRUE;
  if (!ClaimProduct()) return TRUE;

  std::string refusal = FindInstalledProduct();
  if (!refusal.empty()) {
    if (IsSilent()) InstallLog("Refused [%s]", refusal.c_str());
    Refuse(refusal);
    if (IsSilent()) return TRUE;
  }
  SetWindowText(m_strCaption);
  m_nPage = -1;
  OnOK();
  return TRUE;
}

void PatchDialog::Refuse(const std::string& message) {
  m_bRefused = true;
  if (IsSilent()) {
    SetExitCode(kExitRefused);
    EndDialog(-1);
    return;
  }
  // No caption of our own: the box shows the program's name.
  AfxMessageBox(message, MB_OK);
  PostQuitMessage(0);
}

std::string PatchDialog::TitleString() const {
  return FormatString("%s - Version %i", m_strProductName.c_str(), int(m_nVersion));
}

void PatchDialog::OnOK() {
  // Enter while the patch runs must not start the next page.
  if (m_bApplying) return;
  switch (++m_nPage) {
  case 0:
    ShowWelcomePage();
    break;
  case 1:
    ApplyPage();
    break;
  case 2:
    FinishPage();
    return;
  default:
    return;
  }
  // Unattended: on to the next page as if "Weiter" were clicked.
  if (IsSilent() && !g_bCancel && !m_bRefused && IsWindow(m_hWnd))
    PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED));
}

void PatchDialog::ShowWelcomePage() {
  m_progress.ShowWindow(SW_HIDE);
  m_readmeCheck.ShowWindow(SW_HIDE);
  m_staticText.SetWindowText(LoadFormatted(IDS_PATCH_WELCOME, TitleString().c_str()));
}

void PatchDialog::ApplyPage() {
  if (!AcceptLicense()) return;
  CWnd next = GetDlgItem(IDOK);
  m_progress.ShowWindow(SW_SHOW);
  next.EnableWindow(FALSE);
  m_bApplying = true;
  ApplyPatch();
  m_bApplying = false;
  next.EnableWindow(TRUE);
  m_progress.ShowWindow(SW_HIDE);
  if (m_bRefused) return;

  GetDlgItem(IDCANCEL).ShowWindow(SW_HIDE);
  m_readmeCheck.ShowWindow(SW_SHOW);
  m_readmeCheck.SetCheck(1);
  const std::string title = TitleString();
  m_staticText.SetWindowText(LoadFormatted(IDS_FINISHED, title.c_str()));
  m_readmeCheck.SetWindowText(LoadFormatted(IDS_README_CHECK, title.c_str()));
}

void PatchDialog::FinishPage() {
  if (!IsSilent() && m_bHasReadme && m_readmeCheck.GetCheck() &&
      !OpenWithRegisteredProgram(m_strInstallPath.c_str(), m_strReadmeFile.c_str()))
    AfxMessageBox(LoadFormatted(IDS_README_FAILED, m_strReadmeFile.c_str()), MB_OK);

  // An install.log already in the product's folder is kept.
  if (CopyFileA("install.log", (m_strInstallPath + "install.log").c_str(), TRUE))
    DeleteFileA("install.log");

  // Quoted, so that a folder with blanks cannot start another program.
  RunProcess(("\"" + m_strInstallPath + m_strExeName + "\" -install").c_str(), false);
  CDialog::OnOK();
}

void PatchDialog::OnCancel() {
  if (MessageBox(LoadFormatted(IDS_CANCEL_PATCH, m_strProductName.c_str()).c_str(),
                 m_strCaption.c_str(), MB_YESNO | MB_ICONSTOP | MB_DEFBUTTON2) != IDYES)
    return;
  g_bCancel = 1;
  // A patch that is running notices the flag when this handler returns, puts
  // the old files back and removes its work folder.
  m_file.Abort();
  CDialog::OnCancel();
}

void PatchDialog::OnDestroy() { m_file.Abort(); }
