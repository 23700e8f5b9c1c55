// The product's entry in Windows' list of installed programs,
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<product>, as the
// built-in uninstaller registers it. A 32-bit program writes the 32-bit view,
// where Windows lists 32-bit programs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "archive/trailer.h"

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

// Writes every value (UninstallString and QuietUninstallString quoted,
// EstimatedSize in KiB, InstallDate today, NoModify and NoRepair 1); false
// when any could not be written.
bool RegisterUninstallEntry(const std::string& productName, const UninstallEntry& entry);

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

// Removes the entry when it names this installation folder (ending in '\');
// an entry another installation wrote stays. True when none is left that
// names it.
bool RemoveUninstallEntry(const std::string& productName, const std::string& installPath);

// The installation an entry names: for the built-in uninstaller's form (a
// quoted path) the folder of that program and the product's program from
// DisplayIcon; for the form a product writes itself ("<folder>\<exe>
// -uninstall") the folder and the program. False when there is no entry.
bool ReadInstallationFromUninstallEntry(const std::string& productName, std::string& installPath,
                                        std::string& exeName);
