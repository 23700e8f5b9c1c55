// How the patch finds the product it updates.
#include "app/registry.h"
#include "install/product_key.h"
#include "patch/patch_dialog.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s";
// What the uninstall command carries behind the program's name.
const size_t kUninstallArgumentLength = sizeof(" -uninstall") - 1;

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

  // No complete product key: the uninstall entry the product writes itself,
  // "<folder>\<program> -uninstall".
  m_strInstallPath = ReadRegistryString(
      HKEY_LOCAL_MACHINE, FormatString(kUninstallKey, product).c_str(), "UninstallString");
  // Without a folder the files would land in whatever the current folder is.
  size_t slash = m_strInstallPath.rfind('\\');
  if (slash == std::string::npos) {
    m_strInstallPath.clear();
    return FormatString(kNoVersionFound, product);
  }
  size_t cut = slash + 1;
  m_strExeName = m_strInstallPath.substr(cut);
  m_strInstallPath.resize(cut);
  m_strExeName.resize(m_strExeName.size() > kUninstallArgumentLength
                          ? m_strExeName.size() - kUninstallArgumentLength
                          : 0);
  // Recorded with version 0: the patch goes ahead whatever it is.
  RegisterProduct(m_strProductName, m_strInstallPath, m_strExeName, 0);
  return {};
}
