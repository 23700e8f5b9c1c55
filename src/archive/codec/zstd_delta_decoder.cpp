#include "archive/codec/zstd_delta_decoder.h"

#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

namespace archive {

static_assert(uint64_t(1) << kMaxDeltaWindowLog == kMaxDeltaSpan);

DeltaDecoder::DeltaDecoder(const DeltaRecord& record, const uint8_t* reference,
                           size_t referenceSize, ByteSink* out, bool hashResult)
    : m_record(record), m_out(out), m_bHash(hashResult) {
  m_dctx = ZSTD_createDCtx();
  if (!m_dctx) {
    Fail("out of memory for the delta decoder");
    return;
  }
  size_t r = ZSTD_DCtx_setParameter(m_dctx, ZSTD_d_windowLogMax, kMaxDeltaWindowLog);
  // An empty reference is no prefix: the frame stands alone.
  if (!ZSTD_isError(r) && referenceSize > 0)
    r = ZSTD_DCtx_refPrefix(m_dctx, reference, referenceSize);
  if (ZSTD_isError(r)) {
    Fail(ZSTD_getErrorName(r));
    return;
  }
  m_buffer.resize(ZSTD_DStreamOutSize());
}

DeltaDecoder::~DeltaDecoder() { ZSTD_freeDCtx(m_dctx); }

bool DeltaDecoder::Fail(const char* why) {
  if (!m_bFailed) m_error = why;
  m_bFailed = true;
  return false;
}

bool DeltaDecoder::Step(const void* data, size_t n, size_t& consumed, size_t& produced) {
  ZSTD_inBuffer in{data, n, 0};
  ZSTD_outBuffer out{m_buffer.data(), m_buffer.size(), 0};
  size_t r = ZSTD_decompressStream(m_dctx, &out, &in);
  if (ZSTD_isError(r)) return Fail(ZSTD_getErrorName(r));
  consumed = in.pos;
  produced = out.pos;
  if (out.pos > m_record.resultSize - m_produced)
    return Fail("the delta gives more bytes than its record");
  m_produced += out.pos;
  if (m_bHash) m_hash.Update(m_buffer.data(), out.pos);
  if (m_out && out.pos > 0 && !m_out->Write(m_buffer.data(), out.pos)) {
    m_bOutputFailed = true;
    return Fail("cannot write the delta's result");
  }
  if (r == 0) m_bFrameDone = true;
  return true;
}

bool DeltaDecoder::Write(const void* data, size_t n) {
  if (m_bFailed) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    if (m_bFrameDone) return Fail("bytes behind the delta's frame");
    size_t consumed, produced;
    if (!Step(p, n, consumed, produced)) return false;
    p += consumed;
    n -= consumed;
  }
  return true;
}

bool DeltaDecoder::Finish() {
  if (m_bFailed) return false;
  // Whatever the decoder still holds comes out now.
  while (!m_bFrameDone) {
    size_t consumed, produced;
    if (!Step(nullptr, 0, consumed, produced)) return false;
    if (!m_bFrameDone && produced == 0) return Fail("delta frame cut short");
  }
  if (m_produced != m_record.resultSize) return Fail("the delta gives fewer bytes than its record");
  if (m_bHash && m_hash.Finish() != m_record.resultHash)
    return Fail("the delta's result differs from its SHA-256");
  return true;
}

} // namespace archive
