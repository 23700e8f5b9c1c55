// Checking and unpacking an existing program file: its trailer, its payload
// stream and the entries in it. Portable; used by mksetup's list, verify and
// extract commands.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/common/byte_io.h"
#include "archive/huf/huf_tree.h"
#include "archive/format/trailer.h"

namespace archive {

struct ArchiveInfo {
  bool trailerRead = false; // trailer and layout are valid
  ArchiveTrailer trailer;
  ArchiveLayout layout;
  HufCounts counts{}; // from the payload stream's header
};

struct CheckResult {
  bool ok = false;
  std::string error; // English, names the defect
};

// Input bytes of the payload stream consumed so far, and the stream length.
using DecodeProgress = std::function<void(uint64_t done, uint64_t total)>;

// Reads the trailer and the stream's counts and checks all that needs no
// decoding: the trailer region holds exactly its fields, the stream is long
// enough for its counts, and the counts add up to the entry sizes.
CheckResult OpenArchive(RandomAccessFile& file, ArchiveInfo& info);

// Every name the trailer refers to must be an entry; the error lists the
// missing ones.
CheckResult CheckReferencedNames(const ArchiveTrailer& trailer);

// Decodes the whole stream without keeping it: the decoded length must be
// the sum of the entry sizes and the decoded bytes must match the counts.
CheckResult VerifyPayload(RandomAccessFile& file, const ArchiveInfo& info,
                          const DecodeProgress& progress = {});

// A name that extraction writes: a safe name (IsSafeEntryName), a file name
// or a relative path below the target folder.
bool IsExtractableName(const std::string& name);

// Writes each entry, decoded, to outputPath(entry name), with the checks of
// VerifyPayload; the folders an output path lacks are made first. Every name
// is checked before anything is written; on failure the files written and
// the folders made so far are removed again.
CheckResult ExtractPayload(RandomAccessFile& file, const ArchiveInfo& info,
                           const std::function<std::string(const std::string&)>& outputPath,
                           const DecodeProgress& progress = {});

// Sequential reading of one range of a file.
class FileRangeSource final : public ByteSource {
public:
  FileRangeSource(RandomAccessFile& file, uint64_t offset, uint64_t length)
      : m_file(file), m_offset(offset), m_left(length) {}
  size_t Read(void* data, size_t n) override;

private:
  RandomAccessFile& m_file;
  uint64_t m_offset;
  uint64_t m_left;
};

} // namespace archive
