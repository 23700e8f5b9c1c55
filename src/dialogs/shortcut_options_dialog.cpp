#include "dialogs/shortcut_options_dialog.h"

#include "app/load_formatted.h"
#include "res/resource.h"

ShortcutOptionsDialog::ShortcutOptionsDialog(CWnd* parent) : CDialog(IDD_SHORTCUT_DIALOG, parent) {}

void ShortcutOptionsDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Check(pDX, IDC_DESKTOP_CHECK, m_bDesktop);
  DDX_Check(pDX, IDC_STARTMENU_CHECK, m_bStartMenu);
}

BOOL ShortcutOptionsDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  const char* name = m_strProductName.c_str();
  SetDlgItemText(IDC_DESKTOP_CHECK, LoadFormatted(IDS_DESKTOP, name).c_str());
  SetDlgItemText(IDC_STARTMENU_CHECK, LoadFormatted(IDS_STARTMENU, name).c_str());
  SetWindowText(LoadFormatted(IDS_SHORTCUT_CAPTION, name));
  return TRUE;
}
