#include "dialogs/license_dialog.h"

#include "res/resource.h"

namespace {
// Code page 1252, like the string table.
const char kDeclineQuestion[] =
    "Wenn Sie die Lizenzbedingungen nicht akzeptieren, kann das Produkt nicht installiert "
    "werden. Soll das Setup jetzt beendet werden?";
} // namespace

LicenseDialog::LicenseDialog(CWnd* parent) : CDialog(IDD_LICENSE_DIALOG, parent) {}

void LicenseDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_LICENSE_TEXT, m_strText);
}

void LicenseDialog::OnCancel() {
  // No icon and no caption of its own: the application's name is shown.
  if (MessageBox(kDeclineQuestion, nullptr, MB_YESNO) == IDNO) return;
  CDialog::OnCancel();
}
