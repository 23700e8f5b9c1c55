// Block "DELT" of the trailer extension: the entries of a patch whose bytes
// in the payload are a delta against the installed file rather than the
// file itself.
//
//   uint32 count (at least 1)
//   count records of 84 bytes, by ascending entry index:
//     uint32 entry index
//     uint64 reference size, 32 bytes SHA-256 of the reference
//     uint64 result size,    32 bytes SHA-256 of the result
//
// The entry's directory size is the length of its delta (one zstd frame
// made with the installed file as its prefix); entries without a record are
// carried whole, as in every patch before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/common/sha256.h"

namespace archive {

constexpr uint32_t kDeltaBlockTag = 0x544C4544; // "DELT"
constexpr size_t kDeltaRecordSize = 84;

// Reference and result of one delta together at most: the decoder maps the
// reference and keeps a window over both, which a 32-bit process with 2 GiB
// of address space can always afford. Larger files are carried whole.
constexpr uint64_t kMaxDeltaSpan = uint64_t(256) << 20;

struct DeltaRecord {
  uint32_t entry = 0;
  uint64_t referenceSize = 0;
  Sha256Digest referenceHash{};
  uint64_t resultSize = 0;
  Sha256Digest resultHash{};
  bool operator==(const DeltaRecord&) const = default;
};

// The body of the block; false with an English reason when it is not one:
// a wrong length, no record, indices out of order, a delta beyond the span.
bool ReadDeltaBlock(const uint8_t* body, uint32_t length, std::vector<DeltaRecord>& records,
                    std::string& error);
// Appends tag, length and body; nothing for no records.
void AppendDeltaBlock(std::vector<uint8_t>& out, const std::vector<DeltaRecord>& records);

// The installed file is the one the delta was made against: the same size
// and SHA-256.
bool MatchesReference(const DeltaRecord& record, const uint8_t* bytes, uint64_t size);

// The record of an entry, or null when the entry is carried whole.
const DeltaRecord* FindDelta(const std::vector<DeltaRecord>& records, size_t entry);

} // namespace archive
