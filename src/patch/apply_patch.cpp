// Applying the patch: the payload is written over the installation through
// the installation's engine, and the version recorded once every entry is in
// place.
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/registry.h"
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

  // The old version is back before a failure is shown.
  InstallOutcome outcome = RunPayloadPatch(request);
  switch (outcome.result) {
  case InstallResult::Completed:
    RecordRelease(hasUninstaller ? &uninstall : nullptr, imageLength);
    break;
  case InstallResult::Failed:
    ReportFailure(m_hWnd, outcome.message, m_strCaption.c_str(), MB_ICONSTOP,
                  outcome.nothingWritten ? kExitRefused : kExitFailed);
    EndDialog(-1);
    break;
  case InstallResult::Refused:
    // As a patch refused before its first page: nothing has been written.
    Refuse(outcome.message);
    break;
  case InstallResult::Cancelled:
    break;
  }
}

void PatchDialog::RecordRelease(archive::ArchiveTrailer* uninstall, uint64_t imageLength) {
  if (m_bRepairKey)
    RegisterProduct(m_strProductName, m_strInstallPath, m_strExeName, m_nVersion);
  else
    WriteRegistryDword(HKEY_CURRENT_USER, ProductKeyPath(m_strProductName).c_str(), "Version",
                       m_nVersion);
  if (!uninstall) return;
  const std::string uninstaller = m_strInstallPath + kUninstallerName;
  uninstall->version = m_nVersion;
  if (!WriteUninstallerFile(FromCodePage(uninstaller), imageLength, *uninstall, uninstaller))
    InstallLog("Unable to update [%s]", uninstaller.c_str());
  UpdateUninstallEntryRelease(
      m_strProductName, m_strInstallPath, DisplayVersionText(m_trailer),
      FileBytes(uninstaller) + ListedBytes(m_strInstallPath, uninstall->extension.uninstallList));
}
