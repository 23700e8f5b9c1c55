#include "install/uninstall_entry.h"

#include "app/files.h"
#include "app/registry.h"
#include "framework/format.h"
#include "install/uninstaller_file.h"

namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// What the product's own uninstall command carries behind its program's name.
const size_t kUninstallArgumentLength = sizeof(" -uninstall") - 1;

std::string WithoutBackslash(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

DWORD KiB(uint64_t bytes) { return DWORD((bytes + 1023) / 1024); }

// The entry exists and names this installation folder.
bool EntryNames(const std::string& key, const std::string& installPath) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  RegCloseKey(handle);
  std::string location = ReadRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), "InstallLocation");
  return SamePathText(WithoutBackslash(location), WithoutBackslash(installPath));
}

} // namespace

std::string UninstallKeyPath(const std::string& productName) {
  return kUninstallRoot + productName;
}

bool RegisterUninstallEntry(const std::string& productName, const UninstallEntry& e) {
  const std::string key = UninstallKeyPath(productName);
  const char* k = key.c_str();
  SYSTEMTIME today;
  GetLocalTime(&today);
  const std::string quoted = "\"" + e.uninstaller + "\"";
  const DWORD kib = KiB(e.estimatedBytes);
  bool ok = WriteRegistryString(HKEY_LOCAL_MACHINE, k, "DisplayName", e.displayName.c_str());
  ok &= WriteRegistryString(HKEY_LOCAL_MACHINE, k, "DisplayVersion", e.displayVersion.c_str());
  ok &= WriteRegistryString(HKEY_LOCAL_MACHINE, k, "Publisher", e.publisher.c_str());
  ok &= WriteRegistryString(HKEY_LOCAL_MACHINE, k, "DisplayIcon", e.displayIcon.c_str());
  ok &= WriteRegistryString(HKEY_LOCAL_MACHINE, k, "InstallLocation", e.installLocation.c_str());
  ok &= WriteRegistryString(HKEY_LOCAL_MACHINE, k, "UninstallString", quoted.c_str());
  ok &=
      WriteRegistryString(HKEY_LOCAL_MACHINE, k, "QuietUninstallString", (quoted + " /S").c_str());
  ok &= WriteRegistryDword(HKEY_LOCAL_MACHINE, k, "EstimatedSize", kib);
  ok &= WriteRegistryString(HKEY_LOCAL_MACHINE, k, "InstallDate",
                            FormatString("%04u%02u%02u", unsigned(today.wYear),
                                         unsigned(today.wMonth), unsigned(today.wDay))
                                .c_str());
  ok &= WriteRegistryDword(HKEY_LOCAL_MACHINE, k, "NoModify", 1);
  ok &= WriteRegistryDword(HKEY_LOCAL_MACHINE, k, "NoRepair", 1);
  return ok;
}

std::string DisplayVersionText(const archive::ArchiveTrailer& trailer) {
  const std::string& text = trailer.extension.product.displayVersion;
  return text.empty() ? std::to_string(trailer.version) : text;
}

uint64_t FileBytes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return 0;
  return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

uint64_t ListedBytes(const std::string& installPath, const archive::UninstallList& list,
                     size_t from) {
  uint64_t bytes = 0;
  for (size_t i = from; i < list.items.size(); ++i)
    if (list.items[i].kind == archive::UninstallItemKind::File)
      bytes += FileBytes(installPath + list.items[i].path);
  return bytes;
}

bool UpdateUninstallEntryRelease(const std::string& productName, const std::string& installPath,
                                 const std::string& displayVersion, uint64_t estimatedBytes) {
  const std::string key = UninstallKeyPath(productName);
  if (!EntryNames(key, installPath)) return false;
  bool ok = WriteRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), "DisplayVersion",
                                displayVersion.c_str());
  ok &= WriteRegistryDword(HKEY_LOCAL_MACHINE, key.c_str(), "EstimatedSize", KiB(estimatedBytes));
  return ok;
}

bool RemoveUninstallEntry(const std::string& productName, const std::string& installPath) {
  const std::string key = UninstallKeyPath(productName);
  HKEY handle;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return true;
  RegCloseKey(handle);
  if (!EntryNames(key, installPath)) return false;
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str()) == ERROR_SUCCESS;
}

bool ReadInstallationFromUninstallEntry(const std::string& productName, std::string& installPath,
                                        std::string& exeName) {
  const std::string key = UninstallKeyPath(productName);
  std::string command = ReadRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), "UninstallString");
  if (!command.empty() && command[0] == '"') {
    // The built-in uninstaller: "<folder>\uninstall.exe".
    size_t close = command.find('"', 1);
    std::string program = command.substr(1, close == std::string::npos ? close : close - 1);
    size_t slash = program.rfind('\\');
    if (slash == std::string::npos) return false;
    installPath = program.substr(0, slash + 1);
    std::string icon = ReadRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), "DisplayIcon");
    exeName.clear();
    if (icon.size() > installPath.size() &&
        SamePathText(icon.substr(0, installPath.size()), installPath))
      exeName = icon.substr(installPath.size());
    // A product without a program shows the uninstaller's icon: that is no
    // program to start with "-install".
    if (SamePathText(exeName, kUninstallerName)) exeName.clear();
    return true;
  }
  // Without a folder the files would land in whatever the current folder is.
  size_t slash = command.rfind('\\');
  if (slash == std::string::npos) return false;
  installPath = command.substr(0, slash + 1);
  exeName = command.substr(slash + 1);
  exeName.resize(
      exeName.size() > kUninstallArgumentLength ? exeName.size() - kUninstallArgumentLength : 0);
  return true;
}
