#include "delta_encoder.h"

#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <memory>

#include "archive/common/sha256.h"

namespace mksetup {

namespace {

struct CCtxFree {
  void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};

bool Set(ZSTD_CCtx* c, ZSTD_cParameter p, int v, std::string& error) {
  size_t r = ZSTD_CCtx_setParameter(c, p, v);
  if (ZSTD_isError(r)) error = std::string("zstd parameter: ") + ZSTD_getErrorName(r);
  return !ZSTD_isError(r);
}

// reference may be empty: the frame then stands alone.
std::vector<uint8_t> Compress(const std::vector<uint8_t>& reference,
                              const std::vector<uint8_t>& data, int windowLog, std::string& error) {
  std::unique_ptr<ZSTD_CCtx, CCtxFree> cctx(ZSTD_createCCtx());
  if (!cctx) {
    error = "out of memory for the zstd encoder";
    return {};
  }
  ZSTD_CCtx* c = cctx.get();
  if (!Set(c, ZSTD_c_compressionLevel, kDeltaLevel, error) ||
      !Set(c, ZSTD_c_windowLog, windowLog, error) ||
      !Set(c, ZSTD_c_enableLongDistanceMatching, 1, error) ||
      !Set(c, ZSTD_c_checksumFlag, 1, error) || !Set(c, ZSTD_c_contentSizeFlag, 1, error) ||
      !Set(c, ZSTD_c_nbWorkers, 0, error))
    return {};
  if (!reference.empty()) {
    size_t r = ZSTD_CCtx_refPrefix(c, reference.data(), reference.size());
    if (ZSTD_isError(r)) {
      error = std::string("zstd prefix: ") + ZSTD_getErrorName(r);
      return {};
    }
  }
  std::vector<uint8_t> frame(ZSTD_compressBound(data.size()));
  size_t n = ZSTD_compress2(c, frame.data(), frame.size(), data.data(), data.size());
  if (ZSTD_isError(n)) {
    error = std::string("zstd: ") + ZSTD_getErrorName(n);
    return {};
  }
  frame.resize(n);
  return frame;
}

} // namespace

int DeltaWindowLog(uint64_t referenceSize, uint64_t resultSize) {
  const uint64_t span = referenceSize + resultSize;
  int log = ZSTD_WINDOWLOG_MIN;
  while (log < 62 && (uint64_t(1) << log) < span) ++log;
  return log;
}

std::vector<uint8_t> EncodeDelta(const std::vector<uint8_t>& reference,
                                 const std::vector<uint8_t>& result, std::string& error) {
  return Compress(reference, result, DeltaWindowLog(reference.size(), result.size()), error);
}

std::vector<uint8_t> CompressWhole(const std::vector<uint8_t>& file, std::string& error) {
  return Compress({}, file, DeltaWindowLog(0, file.size()), error);
}

bool ChooseDelta(const std::vector<uint8_t>& reference, const std::vector<uint8_t>& result,
                 DeltaChoice& choice, std::string& error) {
  choice = DeltaChoice{};
  choice.record.referenceSize = reference.size();
  choice.record.resultSize = result.size();
  if (reference.size() + result.size() > archive::kMaxDeltaSpan) {
    choice.why = "beyond 256 MiB";
    return true;
  }
  choice.record.referenceHash = archive::Sha256::Of(reference.data(), reference.size());
  choice.record.resultHash = archive::Sha256::Of(result.data(), result.size());
  std::vector<uint8_t> frame = EncodeDelta(reference, result, error);
  if (frame.empty()) return false;
  std::vector<uint8_t> whole = CompressWhole(result, error);
  if (whole.empty()) return false;
  choice.wholeCompressed = whole.size();
  if (frame.size() >= whole.size()) {
    choice.why = "no smaller than the file";
    return true;
  }
  choice.delta = true;
  choice.frame = std::move(frame);
  return true;
}

} // namespace mksetup
