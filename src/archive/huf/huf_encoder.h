// HUF stream encoder: the 256 counts, the name field, the code bits (most
// significant first) and the number of valid bits in the last code byte.
//
// A stream with fewer than two distinct byte values has no code: it is
// written with no code bytes at all, only the final valid-bit byte 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/common/byte_io.h"
#include "archive/huf/huf_tree.h"

namespace archive {

// Adds the byte counts of data to counts.
void CountBytes(HufCounts& counts, const void* data, size_t n);

// The length of the stream HufEncoder writes for these counts and name,
// known before a byte of it is written.
uint64_t HufStreamLength(const HufCounts& counts, std::string_view name = {});

class HufEncoder {
public:
  // counts: exact byte counts of all data later passed to Write. name: the
  // name field text; the field holds name + NUL (at most 254 characters of
  // name are kept, the length is one byte).
  HufEncoder(const HufCounts& counts, ByteSink& out, std::string_view name = {});
  HufEncoder(const HufEncoder&) = delete;
  HufEncoder& operator=(const HufEncoder&) = delete;

  // False on a sink error, or for a byte value the counts do not have.
  bool Write(const void* data, size_t n);
  // Last code byte and the valid-bit count. False on a sink error, or when
  // the bytes written do not add up to the counts (the stream is then
  // written but would not decode).
  bool Finish();
  uint64_t BytesWritten() const { return m_written + uint64_t(m_pos); }

private:
  bool Flush();
  void PutLong(uint8_t symbol);

  ByteSink& m_out;
  bool m_ok = true;
  bool m_finished = false;
  bool m_hasCode = false; // at least two distinct symbols
  // Codes of up to 32 bits: value right-aligned, length; longer ones (only
  // with very skewed counts) go through m_codes.
  std::array<uint32_t, 256> m_value{};
  std::array<uint8_t, 256> m_length{};
  std::array<HufCode, 256> m_codes{};
  // Bit accumulator: the low m_bits bits of m_acc are pending, oldest first.
  uint64_t m_acc = 0;
  unsigned m_bits = 0;
  std::vector<uint8_t> m_buf;
  size_t m_pos = 0;
  uint64_t m_written = 0;
  uint64_t m_headerSize = 0;
  uint64_t m_expected = 0; // the counts' sum
  uint64_t m_given = 0;    // bytes passed to Write
  int m_onlySymbol = -1;   // without a code: the one byte value, if any
};

} // namespace archive
