// Deltas of changed files for `mksetup diff`: zstd with the earlier file as
// its prefix, a window that covers both files and long-distance matching,
// the encoder's equivalent of `zstd --long --patch-from=OLD NEW`. One thread
// and fixed parameters, so that the same files give the same bytes on every
// platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/format/delta_block.h"

namespace mksetup {

// The level deltas are made with.
constexpr int kDeltaLevel = 19;

// The zstd frame that turns `reference` into `result`. Empty (with an
// English reason) on failure.
std::vector<uint8_t> EncodeDelta(const std::vector<uint8_t>& reference,
                                 const std::vector<uint8_t>& result, std::string& error);

// The same file compressed alone with the same parameters: what a delta
// has to beat.
std::vector<uint8_t> CompressWhole(const std::vector<uint8_t>& file, std::string& error);

// log2 of the window a delta of these sizes uses.
int DeltaWindowLog(uint64_t referenceSize, uint64_t resultSize);

// How a changed file travels.
struct DeltaChoice {
  bool delta = false;           // false: the file whole
  std::vector<uint8_t> frame;   // the delta, when chosen
  archive::DeltaRecord record;  // sizes and hashes (entry index left 0)
  uint64_t wholeCompressed = 0; // the file alone, compressed (0 when not tried)
  std::string why;              // why whole: "larger than the file", "beyond 256 MiB"
};

// A delta when both files together fit the decoder's span and the delta is
// smaller than the file compressed alone; else the file whole. Fails (false,
// error) only when the encoder does.
bool ChooseDelta(const std::vector<uint8_t>& reference, const std::vector<uint8_t>& result,
                 DeltaChoice& choice, std::string& error);

} // namespace mksetup
