#include "patch/patch_dialog.h"

#include "app/cancel.h"
#include "app/damaged_archive.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/process.h"
#include "dialogs/license_dialog.h"
#include "framework/archive_file.h"
#include "res/resource.h"

PatchDialog::PatchDialog(CWnd* parent) : CDialog(IDD_PATCH_DIALOG, parent) {}

PatchDialog::~PatchDialog() = default;

void PatchDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_README_CHECK, m_readmeCheck);
  DDX_Control(pDX, IDC_STATIC_TEXT, m_staticText);
  DDX_Control(pDX, IDC_PROGRESS, m_progress);
}

bool PatchDialog::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT&) {
  if (msg == WM_DESTROY) OnDestroy();
  return false;
}

BOOL PatchDialog::OnInitDialog() {
  CDialog::OnInitDialog();

  CFileException error;
  if (!AfxOpenModuleFile(m_file, CFile::modeRead | CFile::shareDenyNone, &error)) {
    char reason[MAX_PATH];
    error.GetErrorMessage(reason, MAX_PATH);
    MessageBox(LoadFormatted(IDS_OPEN_FAILED, reason).c_str(), "Trevano", MB_ICONSTOP);
    EndDialog(-1);
    return TRUE;
  }
  if (!ReadDirectory()) return TRUE;

  std::string refusal = FindInstalledProduct();
  if (!refusal.empty()) {
    // No caption of our own: the box shows the program's name.
    AfxMessageBox(refusal, MB_OK);
    PostQuitMessage(0);
  }
  SetWindowText(m_strCaption);
  m_nPage = -1;
  OnOK();
  return TRUE;
}

bool PatchDialog::ReadDirectory() {
  m_nDirectorySize = 0;
  CArchiveFile reader(m_file);
  archive::TrailerReadResult read = archive::ReadTrailer(reader, m_trailer);
  if (!read.ok || m_trailer.IsInstaller()) {
    // Start-up has checked the same region; it can only have changed since.
    std::string why = read.ok ? std::string("not a patch archive") : read.error;
    InstallLog("Damaged Archive [%s]", why.c_str());
    MessageBox(LoadFormatted(IDS_OPEN_FAILED, kDamagedArchiveReason).c_str(), "Trevano",
               MB_ICONSTOP);
    EndDialog(-1);
    return false;
  }
  m_nDirectorySize = read.layout.regionSize;
  m_nVersion = m_trailer.version;
  m_strLicenseText = m_trailer.licenseText;
  m_strCaption = m_trailer.caption;
  m_strProductName = m_trailer.productName;
  m_bHasReadme = m_trailer.hasReadme != 0;
  m_strReadmeFile = m_bHasReadme ? m_trailer.readmeFile : std::string();
  m_nEntryCount = uint32_t(m_trailer.entries.size());
  m_pEntries = m_trailer.entries.data();
  m_nDataOffset = m_trailer.dataStart;
  m_layout = read.layout;
  return true;
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
    break;
  default:
    break;
  }
}

void PatchDialog::ShowWelcomePage() {
  m_progress.ShowWindow(SW_HIDE);
  m_readmeCheck.ShowWindow(SW_HIDE);
  m_staticText.SetWindowText(LoadFormatted(IDS_PATCH_WELCOME, TitleString().c_str()));
}

void PatchDialog::ApplyPage() {
  if (!m_strLicenseText.empty()) {
    LicenseDialog license(nullptr);
    license.m_strText = m_strLicenseText;
    if (license.DoModal() == IDCANCEL) {
      g_bCancel = 1;
      PostQuitMessage(0);
      return;
    }
  }
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
  if (m_bHasReadme && m_readmeCheck.GetCheck() &&
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
