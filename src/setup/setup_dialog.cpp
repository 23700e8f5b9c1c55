#include "setup/setup_dialog.h"

#include "app/cancel.h"
#include "app/load_formatted.h"
#include "app/product_mutex.h"
#include "app/unattended.h"
#include "install/temp_folder.h"
#include "res/resource.h"

SetupDialog::SetupDialog(CWnd* parent) : WizardDialog(IDD_SETUP_DIALOG, parent) {
  m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
  m_bHidden = IsSilent();
}

void SetupDialog::DoDataExchange(CDataExchange* pDX) {
  WizardDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDOK, m_btnNext);
  DDX_Control(pDX, IDCANCEL, m_btnCancel);
  DDX_Control(pDX, IDC_EDIT_DIR, m_editDir);
  DDX_Control(pDX, IDC_BROWSE, m_btnBrowse);
}

BOOL SetupDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  if (!OpenOwnArchive() || !ReadDirectory()) return TRUE;
  if (!ClaimProduct()) return TRUE;
  if (!CheckInstalledVersion()) return TRUE;
  SetWindowText(m_strCaption);
  m_bDirConfirmed = false;
  m_nPage = 0;
  m_btnBrowse.ShowWindow(SW_HIDE);
  m_editDir.ShowWindow(SW_HIDE);
  m_progress.ShowWindow(SW_HIDE);
  OnOK();
  return TRUE;
}

bool SetupDialog::ReadDirectory() {
  if (!ReadTrailerRegion(false)) return false;
  const archive::ArchiveTrailer& t = m_trailer;
  m_strProgramFolder = t.startMenuGroup;
  m_bHasProgram = t.hasProgram != 0;
  m_strIconFile = t.iconFile;
  m_strExeName = t.programFile;
  m_bNeedsFlash = t.hasPlugin != 0;
  m_strFlashControl = t.pluginControlFile;
  m_strFlashInf = t.pluginInfFile;
  m_strFlashRegTool = t.pluginRegistrar;
  m_bHasStartMenu = t.hasShortcutOptions != 0;
  m_bStartMenuInProgramFolder = t.useStartMenuGroup != 0;
  m_bUninstallShortcut = t.uninstallShortcut != 0;
  m_bReadmeShortcut = t.readmeShortcut != 0;
  m_bProgramShortcut = t.programShortcut != 0;
  m_bHasRegFiles = t.hasRegFiles != 0;
  for (size_t i = 0; i < t.regFiles.size(); ++i) m_strRegFiles[i] = t.regFiles[i];
  return true;
}

bool SetupDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (msg) {
  case WM_PAINT:
    if (!IsIconic()) return false;
    OnPaint();
    return true;
  case WM_QUERYDRAGICON:
    result = reinterpret_cast<LRESULT>(m_hIcon);
    return true;
  case WM_COMMAND:
    if (LOWORD(wParam) == IDC_BROWSE && HIWORD(wParam) == BN_CLICKED) {
      OnBrowse();
      return true;
    }
    return false;
  case WM_DESTROY:
    OnDestroy();
    return false;
  default:
    return false;
  }
}

void SetupDialog::OnPaint() {
  // Minimised: the icon in the middle of the client area.
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
  int cxIcon = GetSystemMetrics(SM_CXICON);
  int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect;
  GetClientRect(&rect);
  int x = (rect.right - rect.left - cxIcon + 1) / 2;
  int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &paint);
}

void SetupDialog::OnCancel() {
  std::string question = LoadFormatted(IDS_CANCEL_SETUP, m_strProductName.c_str());
  if (MessageBox(question.c_str(), m_strCaption.c_str(), MB_YESNO | MB_ICONHAND | MB_DEFBUTTON2) ==
      IDNO)
    return;
  g_bCancel = 1;
  ReleaseTemporaryFiles();
  // Only an empty directory goes.
  if (m_bDirConfirmed) RemoveDirectoryA(m_editDir.GetWindowText().c_str());
  CDialog::OnCancel();
}

void SetupDialog::OnDestroy() { ReleaseTemporaryFiles(); }

void SetupDialog::ReleaseTemporaryFiles() {
  m_file.Abort();
  // A cancel in the middle of the installation comes here while files in the
  // folder are still open; the window's destruction comes later and removes
  // what is left.
  if (!m_strTempPath.empty()) RemovePrivateTempFolder(m_strTempPath);
}
