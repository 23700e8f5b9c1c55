// The trailer reader on any file: it must never crash, read out of bounds or
// allocate without bound, and what it accepts must satisfy its checks and
// serialise back to the same region.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/format/trailer.h"

using namespace archive;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file(std::vector<uint8_t>(data, data + size));
  uint32_t flag = 0;
  ReadArchiveKind(file, flag);

  ArchiveTrailer t;
  TrailerReadResult r = ReadTrailer(file, t);
  if (!r.ok) {
    if (r.error.empty()) std::abort();
    return 0;
  }
  const ArchiveLayout& l = r.layout;
  if (l.regionStart + l.regionSize + 4 != l.archiveEnd || l.archiveEnd > l.fileSize ||
      l.dataStart > l.regionStart)
    std::abort();
  if (l.Signed() ? l.archiveEnd + l.signaturePadding != l.certificateOffset ||
                       l.certificateOffset + l.certificateSize != l.fileSize
                 : l.archiveEnd != l.fileSize)
    std::abort();
  for (const auto& e : t.entries)
    if (!IsSafeEntryName(e.name)) std::abort();
  // The region read is the region written.
  std::vector<uint8_t> region = SerializeTrailerRegion(t);
  if (region.size() > l.regionSize) std::abort();
  if (!std::equal(region.begin(), region.end(), data + l.regionStart)) std::abort();
  return 0;
}
