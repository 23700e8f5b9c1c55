// Delta entries on any input, both halves of them: the input as an archive
// whose trailer may carry a delta block (every record the reader accepts
// must fit its directory and the decoder's span), and the input as a delta
// frame against a fixed reference (the decoder never gives more than the
// record's size, and what it accepts has exactly that size and hash).
#include <cstdint>
#include <cstdlib>
#include <vector>

#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include "archive/codec/zstd_delta_decoder.h"
#include "archive/format/trailer.h"

using namespace archive;

namespace {

// The reference the seed frames were made against (fuzz/make-delta-seeds).
const std::vector<uint8_t>& Reference() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b(65536);
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t((i * 7) ^ (i >> 5));
    return b;
  }();
  return bytes;
}

class CountingHash final : public ByteSink {
public:
  bool Write(const void* data, size_t n) override {
    hash.Update(data, n);
    count += n;
    return true;
  }
  Sha256 hash;
  uint64_t count = 0;
};

void CheckTrailer(const uint8_t* data, size_t size) {
  MemoryFile file(std::vector<uint8_t>(data, data + size));
  ArchiveTrailer t;
  if (!ReadTrailer(file, t).ok) return;
  const auto& deltas = t.extension.deltas;
  for (size_t i = 0; i < deltas.size(); ++i) {
    const DeltaRecord& d = deltas[i];
    if (t.IsInstaller() || d.entry >= t.entries.size() || t.entries[d.entry].size == 0 ||
        (i > 0 && deltas[i - 1].entry >= d.entry) || d.referenceSize > kMaxDeltaSpan ||
        d.resultSize > kMaxDeltaSpan - d.referenceSize || FindDelta(deltas, d.entry) != &d)
      std::abort();
  }
}

void CheckFrame(const uint8_t* data, size_t size) {
  const std::vector<uint8_t>& reference = Reference();
  DeltaRecord record;
  record.referenceSize = reference.size();
  unsigned long long content = ZSTD_getFrameContentSize(data, size);
  record.resultSize = content <= (1u << 20) ? content : 1u << 20;
  CountingHash out;
  DeltaDecoder decoder(record, reference.data(), reference.size(), &out, false);
  // Pieces of uneven sizes, as the payload hands them over.
  size_t at = 0;
  bool ok = true;
  for (size_t piece = 1; ok && at < size; piece = piece * 3 % 1021 + 1) {
    size_t n = piece < size - at ? piece : size - at;
    ok = decoder.Write(data + at, n);
    at += n;
  }
  ok = ok && decoder.Finish();
  if (out.count > record.resultSize || decoder.ResultBytes() != out.count) std::abort();
  if (ok && out.count != record.resultSize) std::abort();
  if (!ok && !*decoder.Error()) std::abort();
  // With the hash of what came out, the same frame checks out.
  if (ok) {
    record.resultHash = out.hash.Finish();
    std::vector<uint8_t> frame(data, data + size), result;
    std::string error;
    if (!DecodeDelta(record, reference, frame, result, error)) std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckTrailer(data, size);
  CheckFrame(data, size);
  return 0;
}
