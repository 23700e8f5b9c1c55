#include "patch/patch_dialog.h"

#include "archive/trailer.h"
#include "framework/archive_file.h"
#include "res/resource.h"

PatchDialog::PatchDialog(CWnd* parent) : CDialog(IDD_PATCH_DIALOG, parent) {}

BOOL PatchDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  CFile file;
  archive::ArchiveTrailer trailer;
  if (file.Open(AfxGetModuleFileName().c_str(), CFile::modeRead | CFile::shareDenyNone)) {
    CArchiveFile reader(file);
    if (archive::ReadTrailer(reader, trailer).ok) SetWindowText(trailer.caption);
  }
  GetDlgItem(IDC_PROGRESS).ShowWindow(SW_HIDE);
  GetDlgItem(IDC_README_CHECK).ShowWindow(SW_HIDE);
  return TRUE;
}
