#include "archive/codec/zstd_encoder.h"

#include <algorithm>
#include <memory>
#include <vector>

#define ZSTD_STATIC_LINKING_ONLY // ZSTD_getCParams
#include <zstd.h>

namespace archive {

unsigned ZstdWindowLog(uint64_t contentSize, unsigned limitLog) {
  unsigned log = 10; // the library's smallest window (ZSTD_WINDOWLOG_MIN)
  while (log < limitLog && (uint64_t(1) << log) < contentSize) ++log;
  return log;
}

int ZstdChainLog(int level, unsigned windowLog, uint64_t contentSize) {
  const ZSTD_compressionParameters own = ZSTD_getCParams(level, contentSize, 0);
  if (own.strategy < ZSTD_btlazy2) return int(own.chainLog);
  return int(std::max(own.chainLog, std::min(windowLog + 1, kZstdMaxTreeLog)));
}

ZstdEncoder::ZstdEncoder(ByteSink& out, int level, unsigned windowLog, uint64_t contentSize)
    : m_out(out), m_cctx(ZSTD_createCCtx()) {
  if (!m_cctx) {
    m_error = "no memory for the zstd encoder";
    return;
  }
  const struct {
    ZSTD_cParameter parameter;
    int value;
  } settings[] = {
      {ZSTD_c_compressionLevel, level},
      {ZSTD_c_windowLog, int(windowLog)},
      {ZSTD_c_chainLog, ZstdChainLog(level, windowLog, contentSize)},
      {ZSTD_c_checksumFlag, 1},
      {ZSTD_c_contentSizeFlag, 1},
      {ZSTD_c_nbWorkers, 0},
  };
  for (const auto& s : settings) {
    size_t r = ZSTD_CCtx_setParameter(m_cctx, s.parameter, s.value);
    if (ZSTD_isError(r)) {
      m_error = std::string("zstd: ") + ZSTD_getErrorName(r);
      return;
    }
  }
  size_t r = ZSTD_CCtx_setPledgedSrcSize(m_cctx, contentSize);
  if (ZSTD_isError(r)) m_error = std::string("zstd: ") + ZSTD_getErrorName(r);
}

ZstdEncoder::~ZstdEncoder() { ZSTD_freeCCtx(m_cctx); }

bool ZstdEncoder::Compress(const void* data, size_t n, bool end) {
  if (!m_error.empty()) return false;
  std::vector<uint8_t> buffer(ZSTD_CStreamOutSize());
  ZSTD_inBuffer in{data, n, 0};
  for (;;) {
    ZSTD_outBuffer out{buffer.data(), buffer.size(), 0};
    size_t left = ZSTD_compressStream2(m_cctx, &out, &in, end ? ZSTD_e_end : ZSTD_e_continue);
    if (ZSTD_isError(left)) {
      m_error = std::string("zstd: ") + ZSTD_getErrorName(left);
      return false;
    }
    if (out.pos && !m_out.Write(buffer.data(), out.pos)) {
      m_error = "cannot write the output";
      return false;
    }
    if (end ? left == 0 : in.pos == in.size) return true;
  }
}

bool ZstdEncoder::Write(const void* data, size_t n) { return Compress(data, n, false); }

bool ZstdEncoder::Finish() { return Compress(nullptr, 0, true); }

} // namespace archive
