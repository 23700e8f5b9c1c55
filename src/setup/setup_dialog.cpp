#include "setup/setup_dialog.h"

#include "archive/trailer.h"
#include "framework/archive_file.h"
#include "res/resource.h"

SetupDialog::SetupDialog(CWnd* parent) : CDialog(IDD_SETUP_DIALOG, parent) {
  m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

BOOL SetupDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  CFile file;
  archive::ArchiveTrailer trailer;
  if (file.Open(AfxGetModuleFileName().c_str(), CFile::modeRead | CFile::shareDenyNone)) {
    CArchiveFile reader(file);
    if (archive::ReadTrailer(reader, trailer).ok) SetWindowText(trailer.caption);
  }
  GetDlgItem(IDC_EDIT_DIR).ShowWindow(SW_HIDE);
  GetDlgItem(IDC_BROWSE).ShowWindow(SW_HIDE);
  GetDlgItem(IDC_PROGRESS).ShowWindow(SW_HIDE);
  GetDlgItem(IDC_README_CHECK).ShowWindow(SW_HIDE);
  SetDlgItemText(
      IDC_STATIC_TEXT,
      FormatString(AfxLoadString(IDS_WELCOME).c_str(), trailer.productName.c_str()).c_str());
  return TRUE;
}
