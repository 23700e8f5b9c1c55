#include "archive/huf/huf_stream.h"

#include <algorithm>
#include <vector>

namespace archive {

bool HufStreamReader::ReadFull(uint8_t* dst, size_t n) {
  while (n) {
    size_t got = m_in.Read(dst, n);
    if (got == 0) return false;
    m_consumed += got;
    dst += got;
    n -= got;
  }
  return true;
}

bool HufStreamReader::ReadHeader(HufCounts& counts, std::string& error) {
  uint8_t head[kHufCountsBytes + 1];
  if (m_length < sizeof head) {
    error = "stream of " + std::to_string(m_length) + " bytes is too short for its header";
    return false;
  }
  if (!ReadFull(head, sizeof head)) {
    error = "stream ends inside its header";
    return false;
  }
  ParseHufCounts(head, counts);
  uint8_t nameLength = head[kHufCountsBytes];
  uint8_t name[255];
  // The name field and the final valid-bit byte must fit.
  if (m_length < sizeof head + nameLength + 1) {
    error = "stream of " + std::to_string(m_length) + " bytes is too short for its header";
    return false;
  }
  if (!ReadFull(name, nameLength)) {
    error = "stream ends inside its header";
    return false;
  }
  m_codeLeft = m_length - m_consumed - 1;
  return true;
}

bool HufStreamReader::ReadCode(uint8_t* dst, size_t n, size_t& got) {
  got = size_t(std::min<uint64_t>(n, m_codeLeft));
  if (!ReadFull(dst, got)) return false;
  m_codeLeft -= got;
  return true;
}

bool HufStreamReader::ReadFinal(uint8_t& validBits) { return ReadFull(&validBits, 1); }

HufDecodeResult HufDamaged(std::string why, uint64_t written) {
  return MakeDecodeResult(HufDecodeResult::Damaged, "damaged stream: " + std::move(why), written);
}

HufDecodeResult HufCancelled(uint64_t written) {
  return MakeDecodeResult(HufDecodeResult::Cancelled, "decoding cancelled", written);
}

HufDecodeResult HufWriteError(uint64_t written) {
  return MakeDecodeResult(HufDecodeResult::WriteError, "cannot write the decoded data", written);
}

bool WriteRepeated(ByteSink& out, uint8_t byte, uint64_t count, uint64_t& written) {
  std::vector<uint8_t> block(size_t(std::min<uint64_t>(count, 256 * 1024)), byte);
  while (count) {
    size_t n = size_t(std::min<uint64_t>(count, block.size()));
    if (!out.Write(block.data(), n)) return false;
    written += n;
    count -= n;
  }
  return true;
}

std::string HufLengthMismatch(uint64_t decoded, uint64_t expected, bool more) {
  return "decoded length " +
         std::string(more ? "exceeds " : std::to_string(decoded) + " differs from ") +
         "the counts' sum of " + std::to_string(expected) + " bytes";
}

bool HufReadFinal(HufStreamReader& reader, uint8_t& validBits, std::string& error) {
  if (!reader.ReadFinal(validBits)) {
    error = "stream ends early";
    return false;
  }
  if (validBits > 8) {
    error = "last code byte has " + std::to_string(validBits) + " valid bits";
    return false;
  }
  return true;
}

HufDecodeResult HufDecodeWithoutCode(HufStreamReader& reader, const HufTree& tree, ByteSink& out) {
  std::vector<uint8_t> block(size_t(std::min<uint64_t>(reader.CodeLeft(), kHufInputBlock)));
  while (reader.CodeLeft()) {
    size_t got;
    if (!reader.ReadCode(block.data(), block.size(), got))
      return HufDamaged("stream ends early", 0);
    if (!reader.Progress()) return HufCancelled(0);
  }
  uint8_t validBits;
  std::string error;
  if (!HufReadFinal(reader, validBits, error)) return HufDamaged(error, 0);
  HufDecodeResult r;
  if (tree.symbolCount == 1 && !WriteRepeated(out, uint8_t(tree.root), tree.total, r.written))
    return HufWriteError(r.written);
  if (!reader.Progress()) return HufCancelled(r.written);
  return r;
}

} // namespace archive
