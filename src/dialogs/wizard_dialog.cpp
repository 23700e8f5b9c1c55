#include "dialogs/wizard_dialog.h"

#include "app/cancel.h"
#include "app/damaged_archive.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/product_mutex.h"
#include "app/unattended.h"
#include "dialogs/license_dialog.h"
#include "framework/archive_file.h"
#include "framework/format.h"
#include "res/resource.h"

namespace {

// Caption of the failures before the archive's own caption is known.
const char kStartCaption[] = "Trevano";

} // namespace

WizardDialog::WizardDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}

void WizardDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_README_CHECK, m_readmeCheck);
  DDX_Control(pDX, IDC_STATIC_TEXT, m_staticText);
  DDX_Control(pDX, IDC_PROGRESS, m_progress);
}

bool WizardDialog::OpenOwnArchive() {
  CFileException error;
  if (AfxOpenModuleFile(m_file, CFile::modeRead | CFile::shareDenyNone, &error)) return true;
  char reason[MAX_PATH];
  error.GetErrorMessage(reason, MAX_PATH);
  ReportFailure(m_hWnd, LoadFormatted(IDS_OPEN_FAILED, reason), kStartCaption, MB_OK | MB_ICONSTOP,
                kExitRefused);
  EndDialog(-1);
  return false;
}

bool WizardDialog::ReadTrailerRegion(bool expectPatch) {
  CArchiveFile reader(m_file);
  archive::TrailerReadResult read = archive::ReadTrailer(reader, m_trailer);
  if (!read.ok || (expectPatch && m_trailer.IsInstaller())) {
    std::string why = read.ok ? std::string("not a patch archive") : read.error;
    InstallLog("Damaged Archive [%s]", why.c_str());
    ReportFailure(m_hWnd, LoadFormatted(IDS_OPEN_FAILED, kDamagedArchiveReason), kStartCaption,
                  MB_OK | MB_ICONSTOP, kExitRefused);
    EndDialog(-1);
    return false;
  }
  m_layout = read.layout;
  m_nDirectorySize = m_layout.regionSize;

  const archive::ArchiveTrailer& t = m_trailer;
  m_nVersion = t.version;
  m_strLicenseText = t.licenseText;
  m_strCaption = t.caption;
  m_strProductName = t.productName;
  m_bHasReadme = t.hasReadme != 0;
  // Empty without a readme.
  m_strReadmeFile = t.readmeFile;
  m_nEntryCount = uint32_t(t.entries.size());
  m_pEntries = t.entries.data();
  m_nDataOffset = t.dataStart;
  return true;
}

bool WizardDialog::AcceptLicense() {
  // An unattended run is the administrator's acceptance.
  if (m_strLicenseText.empty() || IsSilent()) return true;
  LicenseDialog license(nullptr);
  license.m_strText = m_strLicenseText;
  if (license.DoModal() != IDCANCEL) return true;
  g_bCancel = 1;
  PostQuitMessage(0);
  return false;
}

bool WizardDialog::ClaimProduct() {
  if (AcquireProductMutex(m_strProductName)) return true;
  InstallLog("Product busy [%s]", m_strProductName.c_str());
  ReportFailure(m_hWnd, FormatString(kProductBusy, m_strProductName.c_str()), m_strCaption.c_str(),
                MB_OK | MB_ICONSTOP, kExitRefused);
  EndDialog(-1);
  return false;
}

void WizardDialog::OnException(const std::string& text) {
  if (!IsSilent()) {
    CDialog::OnException(text);
    return;
  }
  InstallLog("Exception caught [%s]", text.c_str());
  SetExitCode(kExitFailed);
  EndDialog(-1);
}
