// The product's entry in Windows' list of installed programs,
// SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<product>, as the
// built-in uninstaller registers it: under HKLM (in the view the product's
// placement names) or, for a per-user product, under HKCU. Readers look in
// every place, so that an installation by the other stub or in the other
// scope is found.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/product_placement.h"

#include "archive/format/trailer.h"

struct UninstallEntry {
  std::string displayName;
  std::string displayVersion;
  std::string publisher;
  std::string displayIcon;
  std::string installLocation; // without a trailing backslash
  std::string uninstaller;     // full path of the uninstall program
  uint64_t estimatedBytes = 0;
};

std::string UninstallKeyPath(const std::string& productName);

// The first place, in UninstallEntryPlaces' order, that holds an entry of
// the product; false when none does.
bool FindUninstallEntry(const std::string& productName, const ProductPlacement& placement,
                        RegistryPlace& found);

// Writes every value (UninstallString and QuietUninstallString quoted,
// EstimatedSize in KiB, InstallDate today, NoModify and NoRepair 1) into the
// entry the product already has under the placement's root, in whichever
// view, else into the placement's own; false when any could not be written.
bool RegisterUninstallEntry(const std::string& productName, const UninstallEntry& entry,
                            const ProductPlacement& placement = TheProductPlacement());

// What the list shows as the release: the archive's display version, else
// its version word in decimal. The version word alone decides what is newer.
std::string DisplayVersionText(const archive::ArchiveTrailer& trailer);

// The bytes of a file; 0 when it is not there.
uint64_t FileBytes(const std::string& path);
// The bytes the list's files from item `from` on take in the installation
// folder (ending in '\'): what EstimatedSize counts beside the uninstaller.
uint64_t ListedBytes(const std::string& installPath, const archive::UninstallList& list,
                     size_t from = 0);

// After a patch: DisplayVersion and EstimatedSize of the entry, when it
// names this installation folder (ending in '\'); false otherwise.
bool UpdateUninstallEntryRelease(const std::string& productName, const std::string& installPath,
                                 const std::string& displayVersion, uint64_t estimatedBytes);

// Removes every entry that names this installation folder (ending in '\');
// an entry another installation wrote stays. The places of the entries that
// named it; `left` is set when one of them could not be removed.
std::vector<RegistryPlace> RemoveUninstallEntries(const std::string& productName,
                                                  const std::string& installPath, bool& left);

// The installation an entry names: for the built-in uninstaller's form (a
// quoted path) the folder of that program and the product's program from
// DisplayIcon; for the form a product writes itself ("<folder>\<exe>
// -uninstall") the folder and the program. False when there is no entry.
bool ReadInstallationFromUninstallEntry(const std::string& productName, std::string& installPath,
                                        std::string& exeName,
                                        const ProductPlacement& placement = TheProductPlacement());
