// How the patch finds the product it updates.
#include "framework/format.h"
#include "install/product_key.h"
#include "install/uninstall_entry.h"
#include "patch/patch_dialog.h"

namespace {

const char kCurrentVersionInstalled[] =
    "Eine aktuelle Version von \"%s\" ist bereits installiert. Die Installation kann nicht "
    "fortfahren.";
const char kNoVersionFound[] =
    "Es wurde keine Version von \"%s\" gefunden. Die Installation kann nicht fortfahren.";

} // namespace

std::string PatchDialog::FindInstalledProduct() {
  const char* product = m_strProductName.c_str();
  m_strInstallPath = ReadProductPath(m_strProductName);
  m_strExeName = ReadProductExe(m_strProductName);
  if (!m_strInstallPath.empty() && !m_strExeName.empty()) {
    DWORD installed = ReadProductVersion(m_strProductName);
    if (installed != 0xFFFFFFFF && installed >= m_nVersion)
      return FormatString(kCurrentVersionInstalled, product);
    return {};
  }

  // No complete product key: the uninstall entry, as the built-in
  // uninstaller registers it or as the product writes it itself
  // ("<folder>\<program> -uninstall").
  if (!ReadInstallationFromUninstallEntry(m_strProductName, m_strInstallPath, m_strExeName)) {
    m_strInstallPath.clear();
    m_strExeName.clear();
    return FormatString(kNoVersionFound, product);
  }
  // The patch goes ahead whatever version it is; the product key is written
  // once the patch is in place, nothing before.
  m_bRepairKey = true;
  return {};
}
