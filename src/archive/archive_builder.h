// Builds a program file: the stub's bytes, up to 7 zero bytes that make the
// file's length a multiple of 8 (a signer then adds no padding before its
// certificate table), one payload stream holding every entry in order, the
// trailer region and its length word. The payload is read
// from the files in blocks twice (byte counts, then code bits), so memory use
// does not grow with the payload. Plain C++ and stdio: usable on Linux and in
// Windows test programs alike.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/common/byte_io.h"
#include "archive/format/trailer.h"

namespace archive {

// One file to carry: where to read it and the name it gets in the directory.
struct PayloadFile {
  std::string sourcePath;
  std::string name;
};

// Bytes processed so far and in all. Every payload file is read twice, so
// the total is twice the payload size.
using BuildProgress = std::function<void(uint64_t done, uint64_t total)>;

struct BuildResult {
  bool ok = false;
  std::string error; // English, names the file or field at fault
  uint64_t payloadSize = 0;
  uint64_t streamLength = 0;
  uint32_t dataStart = 0;
  uint32_t imagePadding = 0; // zero bytes between the stub and the stream
  uint64_t fileSize = 0;     // a multiple of 8
};

// Name field written into the payload stream's header: fixed, so that the
// same inputs always give the same bytes.
constexpr std::string_view kPayloadStreamName = "";

// Writes the program into `out`. The texts and options come from `trailer`;
// its entries and dataStart are replaced by the files' sizes and names and
// the padded stub's length. The codec block chooses the payload's codec: HUF
// (the files are read twice, counts then code), or zstd at the block's level
// with a window of at most 2^windowLog bytes (0: 32 MiB) that covers the
// payload; the block then holds the window log used. A zstd frame is written to
// scratchPath first and removed at the end. A signed stub is refused. For a
// per-user product (scope "user" in the product block) the stub's image is
// copied with its manifest asking for "asInvoker" (execution_level.h); a stub
// without such a manifest is refused. Nothing is written when a check fails before
// the first byte (texts too long, unsafe names, unreadable files, files of 4 GiB or more, a byte
// value occurring 2^32 times or more).
BuildResult BuildProgram(const std::string& stubPath, const std::vector<PayloadFile>& files,
                         const ArchiveTrailer& trailer, ByteSink& out,
                         const BuildProgress& progress = {}, const std::string& scratchPath = {});

// The same into a file: written under a temporary name beside outPath and
// renamed at the end, so a failed build leaves no file behind.
BuildResult BuildProgramFile(const std::string& stubPath, const std::vector<PayloadFile>& files,
                             const ArchiveTrailer& trailer, const std::string& outPath,
                             const BuildProgress& progress = {});

// Entry names compare as the installer compares them: ignoring letter case,
// in code page 1252. EntryNameKey gives the folded form, for lookups.
std::string EntryNameKey(std::string_view name);
bool SameEntryName(std::string_view a, std::string_view b);

// The names the trailer refers to (program, icon, plug-in files, readme, Reg
// files), each with a short English label of its field. Empty names and
// those of absent blocks are left out.
struct NameReference {
  std::string_view field;
  std::string name;
};
std::vector<NameReference> ReferencedNames(const ArchiveTrailer& trailer);

} // namespace archive
