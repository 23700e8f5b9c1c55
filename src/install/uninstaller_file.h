// The built-in uninstaller's program file: the stub's own image with a small
// archive of its own kind behind it, a region of the patch form that carries
// no files and the uninstall list (archive/format/uninstall_blocks.h).
#pragma once

#include <cstdint>
#include <string>

#include "archive/format/trailer.h"

// Its name in the installation folder.
inline constexpr char kUninstallerName[] = "uninstall.exe";

// The region of an uninstaller for this product: caption "<product>
// entfernen", the version, the list.
archive::ArchiveTrailer UninstallerRegion(const std::string& productName, uint16_t version,
                                          const archive::UninstallList& list);

// Writes `target` from the first imageLength bytes of `program` (the stub's
// image, the certificate table's entry cleared, as the copy carries no
// signature) and the region. Written beside and renamed over, so an
// uninstaller that was there stays whole until the new one is complete.
bool WriteUninstallerFile(const std::wstring& program, uint64_t imageLength,
                          const archive::ArchiveTrailer& region, const std::string& target);

// Reads an uninstaller's region; false unless it is a sound uninstall
// archive. imageLength receives where its image ends.
bool ReadUninstallerFile(const std::string& path, archive::ArchiveTrailer& region,
                         uint64_t& imageLength);
