// The HUF decoders on any stream: no crash, no read out of bounds, never more
// output than the counts, and the table-driven decoder agrees with the
// bit-by-bit tree walk.
//
// Input: first byte 0 = the rest is a whole stream as it stands; otherwise
// the next 32 bytes give the counts of symbols 0..31 (count = byte << shift,
// shift from the first byte, so very skewed and wrapping counts occur), the
// rest is code bytes and the last byte the valid-bit count. With bit 6 of
// the first byte set, the code bytes are stretched to tens of KiB (a simple
// generator seeded by them), so that the decoder cuts them into pieces that
// start inside codes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/huf/huf_decoder.h"
#include "archive/huf/huf_tree.h"

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
  if ((data[0] & 0x40) && size > i + 2) {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (size_t k = i; k < size; ++k) state = (state ^ data[k]) * 0x100000001B3ull;
    size_t n = 16384 + (state >> 40) % 200000;
    for (size_t k = 0; k < n; ++k) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      // Mostly the input's own bytes, so that mutations still steer.
      stream.push_back(k % 4 ? uint8_t(state) : data[i + k % (size - i)]);
    }
    stream.push_back(uint8_t(data[size - 1] % 9));
    return stream;
  }
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
