#include "archive/huf/huf_encoder.h"

#include <algorithm>
#include <cstring>

namespace archive {

namespace {

constexpr size_t kBufferSize = 64 * 1024;
constexpr size_t kBufferSlack = 64; // room for one symbol's bytes before a flush check

} // namespace

void CountBytes(HufCounts& counts, const void* data, size_t n) {
  // Four tables break the store-to-load chain on runs of one byte value.
  uint32_t c[4][256] = {};
  const auto* p = static_cast<const uint8_t*>(data);
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    ++c[0][p[i]];
    ++c[1][p[i + 1]];
    ++c[2][p[i + 2]];
    ++c[3][p[i + 3]];
  }
  for (; i < n; ++i) ++c[0][p[i]];
  for (int s = 0; s < 256; ++s) counts[s] += c[0][s] + c[1][s] + c[2][s] + c[3][s];
}

uint64_t HufStreamLength(const HufCounts& counts, std::string_view name) {
  // Counts, name field (length byte, name, NUL), code bytes, final byte.
  uint64_t length = kHufCountsBytes + 1 + std::min<size_t>(name.size(), 254) + 1 + 1;
  HufTree tree;
  BuildHufTree(counts, tree);
  if (tree.symbolCount < 2) return length;
  std::array<HufCode, 256> codes{};
  ComputeHufCodes(tree, codes);
  uint64_t bits = 0;
  for (int s = 0; s < 256; ++s) bits += uint64_t(counts[s]) * codes[s].length;
  return length + (bits + 7) / 8;
}

HufEncoder::HufEncoder(const HufCounts& counts, ByteSink& out, std::string_view name)
    : m_out(out), m_buf(kBufferSize + kBufferSlack) {
  HufTree tree;
  BuildHufTree(counts, tree);
  m_hasCode = tree.symbolCount > 1;
  m_expected = tree.total;
  m_onlySymbol = tree.symbolCount == 1 ? int(tree.root) : -1;
  ComputeHufCodes(tree, m_codes);
  for (int s = 0; s < 256; ++s) {
    const HufCode& c = m_codes[s];
    m_length[s] = uint8_t(c.length);
    if (c.length && c.length <= 32) m_value[s] = uint32_t(c.words[0] >> (64 - c.length));
  }
  // Header: counts, L, name + NUL.
  uint8_t* p = m_buf.data();
  for (int s = 0; s < 256; ++s)
    for (int k = 0; k < 4; ++k) *p++ = uint8_t(counts[s] >> (8 * k));
  name = name.substr(0, std::min<size_t>(name.size(), 254));
  *p++ = uint8_t(name.size() + 1);
  if (!name.empty()) std::memcpy(p, name.data(), name.size());
  p += name.size();
  *p++ = 0;
  m_pos = size_t(p - m_buf.data());
  m_headerSize = m_pos;
}

bool HufEncoder::Flush() {
  if (m_pos && m_ok) m_ok = m_out.Write(m_buf.data(), m_pos);
  m_written += m_pos;
  m_pos = 0;
  return m_ok;
}

void HufEncoder::PutLong(uint8_t symbol) {
  // Codes over 32 bits: 32 bits at a time, then the rest.
  const HufCode& c = m_codes[symbol];
  for (unsigned k = 0; k < c.length;) {
    unsigned n = std::min(32u, c.length - k);
    uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i) v = v << 1 | c.Bit(k + i);
    m_acc = (m_acc << n) | v;
    m_bits += n;
    if (m_bits >= 32) {
      m_bits -= 32;
      uint32_t w = uint32_t(m_acc >> m_bits);
      m_buf[m_pos++] = uint8_t(w >> 24);
      m_buf[m_pos++] = uint8_t(w >> 16);
      m_buf[m_pos++] = uint8_t(w >> 8);
      m_buf[m_pos++] = uint8_t(w);
    }
    k += n;
  }
}

bool HufEncoder::Write(const void* data, size_t n) {
  if (!m_ok || m_finished) return false;
  m_given += n;
  const auto* p = static_cast<const uint8_t*>(data);
  if (!m_hasCode) {
    // No code: the data can only be the one byte value counted.
    for (size_t i = 0; i < n; ++i)
      if (p[i] != m_onlySymbol) return m_ok = false;
    return true;
  }
  const auto* end = p + n;
  uint64_t acc = m_acc;
  unsigned bits = m_bits;
  uint8_t* buf = m_buf.data();
  size_t pos = m_pos;
  while (p < end) {
    // Up to 64 KiB of output between flushes; each symbol adds at most 32
    // bytes (a 255-bit code), the fast path at most 4.
    size_t room = (kBufferSize - std::min(pos, kBufferSize)) / 32;
    if (room == 0) {
      m_pos = pos;
      if (!Flush()) return false;
      pos = 0;
      continue;
    }
    const uint8_t* stop = p + std::min<size_t>(size_t(end - p), room);
    for (; p < stop; ++p) {
      unsigned len = m_length[*p];
      if (len - 1 >= 32) { // over 32 bits, or no code: a byte the counts said was not there
        if (len == 0) return m_ok = false;
        m_acc = acc, m_bits = bits, m_pos = pos;
        PutLong(*p);
        acc = m_acc, bits = m_bits, pos = m_pos;
        continue;
      }
      // bits < 32 before, len <= 32: at most 63 pending bits.
      acc = (acc << len) | m_value[*p];
      bits += len;
      if (bits >= 32) {
        bits -= 32;
        uint32_t w = uint32_t(acc >> bits);
        buf[pos] = uint8_t(w >> 24);
        buf[pos + 1] = uint8_t(w >> 16);
        buf[pos + 2] = uint8_t(w >> 8);
        buf[pos + 3] = uint8_t(w);
        pos += 4;
      }
    }
  }
  m_acc = acc, m_bits = bits, m_pos = pos;
  return true;
}

bool HufEncoder::Finish() {
  if (!m_ok || m_finished) return false;
  m_finished = true;
  // Whole bytes of what is pending, then the partial byte, padded with 0.
  while (m_bits >= 8) {
    m_bits -= 8;
    m_buf[m_pos++] = uint8_t(m_acc >> m_bits);
  }
  uint8_t valid = 0;
  if (m_bits) {
    m_buf[m_pos++] = uint8_t(m_acc << (8 - m_bits));
    valid = uint8_t(m_bits);
  } else if (BytesWritten() > m_headerSize) {
    valid = 8; // the last code byte is full
  }
  m_buf[m_pos++] = valid;
  return Flush() && m_given == m_expected;
}

} // namespace archive
