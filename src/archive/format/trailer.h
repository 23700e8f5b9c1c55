// The trailer region behind the payload stream: product texts, options, the
// directory of entries and the offset of the payload. Found from the end of
// the archive: [image][payload stream][trailer region (N bytes)][N], which is
// the end of the program file or, in a signed one, the start of its
// certificate table (FindArchiveEnd).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/common/byte_io.h"
#include "archive/format/trailer_extension.h"

namespace archive {

// Longest counted string a reader accepts (its text buffer holds 8192 bytes).
constexpr uint32_t kMaxTextLength = 8191;
// Longest entry name (a MAX_PATH buffer with its terminator).
constexpr uint32_t kMaxNameLength = 259;
// Largest trailer region accepted; far above any real directory.
constexpr uint32_t kMaxTrailerRegion = 64u << 20;

struct ArchiveEntry {
  uint32_t size = 0;
  std::string name;
};

// Every field of both kinds of trailer region. A patch uses only
// installerFlag (0), version, the three leading texts, the readme block, the
// directory and dataStart. Flag words are kept as stored, so that a region
// round-trips byte for byte.
struct ArchiveTrailer {
  uint32_t installerFlag = 1;
  uint16_t version = 0;
  std::string licenseText;
  std::string caption;
  std::string productName;
  std::string startMenuGroup;

  uint32_t hasProgram = 0;
  std::string iconFile;
  std::string programFile;

  uint32_t hasPlugin = 0;
  std::string pluginControlFile;
  std::string pluginInfFile;
  std::string pluginRegistrar;

  uint32_t hasReadme = 0;
  std::string readmeFile;

  uint32_t hasShortcutOptions = 0;
  uint32_t useStartMenuGroup = 0;
  uint32_t uninstallShortcut = 0;
  uint32_t readmeShortcut = 0;
  uint32_t programShortcut = 0;

  uint32_t hasRegFiles = 0;
  std::array<std::string, 4> regFiles;

  uint32_t hasReserved = 0;
  uint32_t reservedValue = 0;

  std::vector<ArchiveEntry> entries;
  uint32_t dataStart = 0;

  // The blocks behind dataStart (trailer_extension.h); empty in every
  // archive of the first format.
  TrailerExtension extension;

  bool IsInstaller() const { return installerFlag != 0; }
  // The patch form with an uninstall list: the built-in uninstaller.
  bool IsUninstaller() const { return !IsInstaller() && extension.uninstallList.present; }
  // Sum of the entry sizes: the length of the decoded payload.
  uint64_t TotalSize() const;
};

// Where the pieces of an archive lie in its file.
struct ArchiveLayout {
  uint64_t fileSize = 0;
  uint64_t archiveEnd = 0;  // behind N: fileSize, or where the signature's padding begins
  uint32_t regionSize = 0;  // N
  uint64_t regionStart = 0; // archiveEnd - 4 - N
  uint64_t dataStart = 0;
  // The certificate table behind the archive (size 0: unsigned) and the zero
  // bytes the signer put between the two.
  uint64_t certificateOffset = 0;
  uint32_t certificateSize = 0;
  uint32_t signaturePadding = 0;
  uint64_t StreamLength() const { return regionStart - dataStart; }
  bool Signed() const { return certificateSize != 0; }
};

struct TrailerReadResult {
  bool ok = false;
  std::string error; // English, for the log, when !ok
  ArchiveLayout layout;
};

// Reads the length word and the installer flag only, after checking that N
// fits the archive.
TrailerReadResult ReadArchiveKind(RandomAccessFile& file, uint32_t& installerFlag);

// Reads and validates the whole trailer region. Every length is checked
// against the region before anything is allocated; entry names must be safe
// (IsSafeEntryName) and dataStart must lie before the region.
TrailerReadResult ReadTrailer(RandomAccessFile& file, ArchiveTrailer& trailer);

// The same for an archive whose length word ends at `end`; whatever follows
// is not looked at, and the layout has no certificate table.
TrailerReadResult ReadTrailerEndingAt(RandomAccessFile& file, uint64_t end,
                                      ArchiveTrailer& trailer);

// Serialises the trailer region for the trailer's kind (without the length word).
std::vector<uint8_t> SerializeTrailerRegion(const ArchiveTrailer& trailer);

// Appends the trailer region and its length word.
bool WriteTrailer(ByteSink& sink, const ArchiveTrailer& trailer);

// A name that cannot reach outside the folder it is written to: a file name
// or a relative path whose parts are separated by '\' ("bin\lib\a.dll").
// Not empty, shorter than 260 characters, no control character and none of
// < > : " / | ? * (so no drive, stream or '/'), no root, no empty part, no
// part of only dots and spaces ("..", "." and what Windows trims to them),
// no device name (CON, NUL, COM1, ...) as any part, and no folder part that
// ends in a dot or a space.
bool IsSafeEntryName(const std::string& name);

// A safe name without a folder part (the Reg files, installed by name into
// the folder "Reg").
bool IsPlainEntryName(const std::string& name);

} // namespace archive
