// The HUF decoders on any stream: no crash, no read out of bounds, never more
// output than the counts, and the table-driven decoder agrees with the
// bit-by-bit tree walk.
//
// Input: first byte 0 = the rest is a whole stream as it stands; otherwise
// the next 32 bytes give the counts of symbols 0..31 (count = byte << shift,
// shift from the first byte, so very skewed and wrapping counts occur), the
// rest is code bytes and the last byte the valid-bit count.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/huf_decoder.h"
#include "archive/huf_tree.h"

using namespace archive;

namespace {

struct CappedSink : ByteSink {
  std::vector<uint8_t> bytes;
  bool Write(const void* data, size_t n) override {
    auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + n);
    return bytes.size() < (64u << 20); // bound the fuzzer's memory
  }
};

std::vector<uint8_t> MakeStream(const uint8_t* data, size_t size) {
  if (size == 0 || data[0] == 0) return std::vector<uint8_t>(data + (size ? 1 : 0), data + size);
  unsigned shift = data[0] % 32;
  std::vector<uint8_t> stream(1024, 0);
  size_t i = 1;
  for (int s = 0; s < 32 && i < size; ++s, ++i) {
    uint32_t count = uint32_t(data[i]) << shift;
    if (data[0] & 0x80) count |= 0x80000000u; // sums that wrap
    for (int k = 0; k < 4; ++k) stream[4 * s + k] = uint8_t(count >> (8 * k));
  }
  stream.push_back(1); // name field: just its NUL
  stream.push_back(0);
  stream.insert(stream.end(), data + i, data + size);
  return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> stream = MakeStream(data, size);
  uint64_t total = 0;
  if (stream.size() >= 1024) {
    HufCounts counts;
    ParseHufCounts(stream.data(), counts);
    HufTree tree;
    BuildHufTree(counts, tree);
    total = tree.total;
    // Without a code the output is just the counts: no need to write GiBs.
    if (tree.symbolCount < 2 && total > (1u << 20)) return 0;
  }
  CappedSink fast, slow;
  MemorySource a(stream.data(), stream.size()), b(stream.data(), stream.size());
  HufDecodeResult rf = HufDecodeStream(a, stream.size(), fast);
  HufDecodeResult rs = HufDecodeBitwise(b, stream.size(), slow);
  if (rf.status != rs.status || rf.error != rs.error) std::abort();
  if (rf.status != HufDecodeResult::WriteError &&
      (rf.written != fast.bytes.size() || rs.written != slow.bytes.size()))
    std::abort();
  if (fast.bytes.size() > total || slow.bytes.size() > total) std::abort();
  if (rf.status == HufDecodeResult::Ok && fast.bytes.size() != total) std::abort();
  size_t n = std::min(fast.bytes.size(), slow.bytes.size());
  if (!std::equal(fast.bytes.begin(), fast.bytes.begin() + n, slow.bytes.begin())) std::abort();
  bool mayStopEarly = rf.error.find("valid bits") != std::string::npos ||
                      rf.error.find("ends early") != std::string::npos ||
                      rf.status == HufDecodeResult::WriteError;
  if (!mayStopEarly && fast.bytes.size() != slow.bytes.size()) std::abort();
  return 0;
}
