// Applying the patch: the payload is written over the installation through
// the installation's engine, and the version recorded once every entry is in
// place.
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/unattended.h"
#include "framework/code_page.h"
#include "install/product_key.h"
#include "install/uninstall_entry.h"
#include "install/uninstaller_file.h"
#include "patch/patch_dialog.h"
#include "patch/patch_payload.h"
#include "res/resource.h"

void PatchDialog::ApplyPatch() {
  m_staticText.SetWindowText(LoadFormatted(IDS_EXTRACTING, nullptr));
  m_progress.SetRange(0, int(m_nEntryCount & 0xFFFF));
  m_progress.SetPos(0);
  m_progress.SetStep(1);
  // The engine reads the stream through a file of its own.
  m_file.Abort();

  InstallRequest request = OwnProgramRequest(m_trailer, m_layout.StreamLength(), m_strInstallPath,
                                             m_strCaption, this, &m_staticText, &m_progress);
  // The files it adds join the built-in uninstaller's list, when the
  // installation has one of this product.
  const std::string uninstaller = m_strInstallPath + kUninstallerName;
  archive::ArchiveTrailer uninstall;
  uint64_t imageLength = 0;
  const bool hasUninstaller = ReadUninstallerFile(uninstaller, uninstall, imageLength) &&
                              uninstall.productName == m_strProductName;
  if (hasUninstaller) request.record = &uninstall.extension.uninstallList;

  // The uninstaller with its longer list is the last file the patch
  // replaces; the new release is recorded once the patch has committed.
  PatchRelease release;
  release.productName = m_strProductName;
  release.fromRelease = ReadProductVersion(m_strProductName);
  release.toRelease = m_nVersion;
  if (hasUninstaller)
    release.extraFiles = [&](const std::string& staging, std::vector<std::string>& names) {
      uninstall.version = m_nVersion;
      if (WriteUninstallerFile(FromCodePage(uninstaller), imageLength, uninstall,
                               staging + kUninstallerName))
        names.push_back(kUninstallerName);
      else
        InstallLog("Unable to update [%s]", uninstaller.c_str());
    };

  // The old version is back before a failure is shown.
  InstallOutcome outcome = RunPayloadPatch(request, release);
  switch (outcome.result) {
  case InstallResult::Completed:
    RecordRelease(hasUninstaller ? &uninstall : nullptr);
    break;
  case InstallResult::Failed:
    ReportFailure(m_hWnd, outcome.message, m_strCaption.c_str(), MB_ICONSTOP,
                  outcome.nothingWritten ? kExitRefused : kExitFailed);
    EndDialog(-1);
    break;
  case InstallResult::Refused:
    // As a patch refused before its first page: nothing has been written.
    if (!outcome.message.empty()) {
      Refuse(outcome.message);
      break;
    }
    // A file in use, named already: the wizard ends.
    m_bRefused = true;
    SetExitCode(kExitRefused);
    EndDialog(-1);
    break;
  case InstallResult::Cancelled:
    break;
  }
}

void PatchDialog::RecordRelease(const archive::ArchiveTrailer* uninstall) {
  // The journal's commit has recorded the version; a key that the lookup
  // found missing is written whole only now that the patch is in place.
  if (m_bRepairKey)
    RegisterProduct(m_strProductName, m_strInstallPath, m_strExeName, m_nVersion);
  if (!uninstall) return;
  const std::string uninstaller = m_strInstallPath + kUninstallerName;
  UpdateUninstallEntryRelease(
      m_strProductName, m_strInstallPath, DisplayVersionText(m_trailer),
      FileBytes(uninstaller) + ListedBytes(m_strInstallPath, uninstall->extension.uninstallList));
}
