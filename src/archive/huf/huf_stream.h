// Reading the parts of a HUF stream in order; shared by the decoders.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/common/byte_io.h"
#include "archive/huf/huf_decoder.h"
#include "archive/huf/huf_tree.h"

namespace archive {

// Input is read, and progress reported, in blocks of this size.
constexpr size_t kHufInputBlock = 64 * 1024;

class HufStreamReader {
public:
  HufStreamReader(ByteSource& in, uint64_t inLength, const std::function<bool(uint64_t)>& progress)
      : m_in(in), m_length(inLength), m_progress(progress) {}

  // Counts and name field; false for a stream too short for them.
  bool ReadHeader(HufCounts& counts, std::string& error);
  // Code bytes left to read (the final valid-bit byte not included).
  uint64_t CodeLeft() const { return m_codeLeft; }
  // Reads min(n, CodeLeft()) code bytes; false when the source ends early.
  bool ReadCode(uint8_t* dst, size_t n, size_t& got);
  // Reads the final byte; false when the source ends early.
  bool ReadFinal(uint8_t& validBits);
  uint64_t Consumed() const { return m_consumed; }
  // Reports progress; false when the caller cancels.
  bool Progress() { return !m_progress || m_progress(m_consumed); }

private:
  bool ReadFull(uint8_t* dst, size_t n);

  ByteSource& m_in;
  uint64_t m_length;
  const std::function<bool(uint64_t)>& m_progress;
  uint64_t m_consumed = 0;
  uint64_t m_codeLeft = 0;
};

// Decoding helpers shared by both decoders.
HufDecodeResult HufDamaged(std::string why, uint64_t written);
HufDecodeResult HufCancelled(uint64_t written);
HufDecodeResult HufWriteError(uint64_t written);
// Writes `count` copies of one byte (a stream without a code).
bool WriteRepeated(ByteSink& out, uint8_t byte, uint64_t count, uint64_t& written);
// The message for a decoded length that differs from the counts.
std::string HufLengthMismatch(uint64_t decoded, uint64_t expected, bool more);

// Finishes a stream whose counts have fewer than two distinct byte values:
// its code bytes are read and ignored, the final byte checked, and the
// counts written.
HufDecodeResult HufDecodeWithoutCode(HufStreamReader& reader, const HufTree& tree, ByteSink& out);

// Reads the final byte after the last code byte; an error text when it is
// missing or above 8.
bool HufReadFinal(HufStreamReader& reader, uint8_t& validBits, std::string& error);

} // namespace archive
