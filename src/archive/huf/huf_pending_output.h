// The HUF decoder's output on its way to the caller's buffer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/codec/payload_decoder.h"

namespace archive::huf_detail {

// Decoded bytes on their way to the caller's buffer. A block's pieces are
// copied into it where they lie; what finds no room there waits as a span of
// the piece buffer it lies in, which is not written again before the caller
// has taken it: the next block starts once nothing waits, and a buffer reused
// within a block has what waits copied aside first (Secure).
class PendingOutput {
public:
  // The caller's buffer of the current call.
  DecodeOutput* out = nullptr;

  void Add(const uint8_t* p, size_t n) {
    if (m_first == m_spans.size()) {
      size_t direct = std::min(n, out->size - out->pos);
      if (direct) std::memcpy(out->data + out->pos, p, direct);
      out->pos += direct;
      p += direct;
      n -= direct;
    }
    if (n) m_spans.push_back({p, n});
  }

  // Moves waiting bytes into the caller's buffer; true when none are left.
  bool Drain() {
    for (; m_first < m_spans.size(); ++m_first) {
      Span& s = m_spans[m_first];
      size_t n = std::min(s.size, out->size - out->pos);
      if (n) std::memcpy(out->data + out->pos, s.data, n);
      out->pos += n;
      s.data += n;
      s.size -= n;
      if (s.size) return false;
    }
    m_spans.clear();
    m_first = 0;
    return true;
  }

  // Copies what waits out of the piece buffers, which may then be reused.
  void Secure() {
    if (m_first == m_spans.size()) return;
    std::vector<uint8_t> kept;
    for (size_t i = m_first; i < m_spans.size(); ++i)
      kept.insert(kept.end(), m_spans[i].data, m_spans[i].data + m_spans[i].size);
    m_kept.swap(kept);
    m_spans.assign(1, Span{m_kept.data(), m_kept.size()});
    m_first = 0;
  }

private:
  struct Span {
    const uint8_t* data;
    size_t size;
  };
  std::vector<Span> m_spans;
  size_t m_first = 0; // spans before it are taken
  std::vector<uint8_t> m_kept;
};

} // namespace archive::huf_detail
