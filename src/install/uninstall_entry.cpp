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

// The entry exists at this place and names this installation folder.
bool EntryNames(const RegistryPlace& place, const std::string& key,
                const std::string& installPath) {
  if (!RegistryKeyExists(place.root, key.c_str(), place.view)) return false;
  std::string location =
      ReadRegistryString(place.root, key.c_str(), "InstallLocation", place.view);
  return SamePathText(WithoutBackslash(location), WithoutBackslash(installPath));
}

} // namespace

std::string UninstallKeyPath(const std::string& productName) {
  return kUninstallRoot + productName;
}

bool FindUninstallEntry(const std::string& productName, const ProductPlacement& placement,
                        RegistryPlace& found) {
  const std::string key = UninstallKeyPath(productName);
  for (const RegistryPlace& place : UninstallEntryPlaces(placement))
    if (RegistryKeyExists(place.root, key.c_str(), place.view)) {
      found = place;
      return true;
    }
  return false;
}

bool RegisterUninstallEntry(const std::string& productName, const UninstallEntry& e,
                            const ProductPlacement& placement) {
  // One entry per product: a reinstallation by the other stub keeps the
  // view the first one wrote.
  RegistryPlace place = placement.entry;
  RegistryPlace existing;
  if (FindUninstallEntry(productName, placement, existing) && existing.root == place.root)
    place = existing;
  const std::string key = UninstallKeyPath(productName);
  const char* k = key.c_str();
  auto text = [&](const char* name, const std::string& value) {
    return WriteRegistryString(place.root, k, name, value.c_str(), place.view);
  };
  auto number = [&](const char* name, DWORD value) {
    return WriteRegistryDword(place.root, k, name, value, place.view);
  };
  SYSTEMTIME today;
  GetLocalTime(&today);
  const std::string quoted = "\"" + e.uninstaller + "\"";
  const DWORD kib = KiB(e.estimatedBytes);
  bool ok = text("DisplayName", e.displayName);
  ok &= text("DisplayVersion", e.displayVersion);
  ok &= text("Publisher", e.publisher);
  ok &= text("DisplayIcon", e.displayIcon);
  ok &= text("InstallLocation", e.installLocation);
  ok &= text("UninstallString", quoted);
  ok &= text("QuietUninstallString", quoted + " /S");
  ok &= number("EstimatedSize", kib);
  ok &= text("InstallDate", FormatString("%04u%02u%02u", unsigned(today.wYear),
                                         unsigned(today.wMonth), unsigned(today.wDay)));
  ok &= number("NoModify", 1);
  ok &= number("NoRepair", 1);
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
  bool updated = false;
  for (const RegistryPlace& place : UninstallEntryPlaces(TheProductPlacement())) {
    if (!EntryNames(place, key, installPath)) continue;
    updated = WriteRegistryString(place.root, key.c_str(), "DisplayVersion",
                                  displayVersion.c_str(), place.view) &&
              WriteRegistryDword(place.root, key.c_str(), "EstimatedSize", KiB(estimatedBytes),
                                 place.view);
  }
  return updated;
}

std::vector<RegistryPlace> RemoveUninstallEntries(const std::string& productName,
                                                  const std::string& installPath, bool& left) {
  const std::string key = UninstallKeyPath(productName);
  std::vector<RegistryPlace> named;
  left = false;
  for (const RegistryPlace& place : UninstallEntryPlaces(TheProductPlacement())) {
    if (!EntryNames(place, key, installPath)) continue;
    named.push_back(place);
    if (!DeleteRegistryKey(place.root, key.c_str(), place.view)) left = true;
  }
  return named;
}

bool ReadInstallationFromUninstallEntry(const std::string& productName, std::string& installPath,
                                        std::string& exeName, const ProductPlacement& placement) {
  RegistryPlace place;
  if (!FindUninstallEntry(productName, placement, place)) return false;
  const std::string key = UninstallKeyPath(productName);
  std::string command = ReadRegistryString(place.root, key.c_str(), "UninstallString", place.view);
  if (!command.empty() && command[0] == '"') {
    // The built-in uninstaller: "<folder>\uninstall.exe".
    size_t close = command.find('"', 1);
    std::string program = command.substr(1, close == std::string::npos ? close : close - 1);
    size_t slash = program.rfind('\\');
    if (slash == std::string::npos) return false;
    installPath = program.substr(0, slash + 1);
    std::string icon = ReadRegistryString(place.root, key.c_str(), "DisplayIcon", place.view);
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
