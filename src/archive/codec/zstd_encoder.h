// Writes the zstd payload: one frame with the content size and checksum,
// compressed on one thread, so that the same input, level and window give
// the same bytes in every build of the same library release.
#pragma once

#include <cstdint>
#include <string>

#include "archive/byte_io.h"

struct ZSTD_CCtx_s;

namespace archive {

// Levels the manifest takes: 1..19, and "max", the library's level 22.
constexpr int kZstdDefaultLevel = 19;
constexpr int kZstdMaxLevel = 22;
// Window limits (log2): 32 MiB for the levels up to 19, 128 MiB for "max".
constexpr unsigned kZstdDefaultWindowLog = 25;
constexpr unsigned kZstdMaxWindowLog = 27;

// The window log that covers min(contentSize, 2^limitLog), and not less than
// the library's smallest window.
unsigned ZstdWindowLog(uint64_t contentSize, unsigned limitLog);

class ZstdEncoder {
public:
  // contentSize: the bytes that will be written, in all (the frame carries it).
  ZstdEncoder(ByteSink& out, int level, unsigned windowLog, uint64_t contentSize);
  ~ZstdEncoder();
  ZstdEncoder(const ZstdEncoder&) = delete;
  ZstdEncoder& operator=(const ZstdEncoder&) = delete;

  bool Write(const void* data, size_t n);
  // Ends the frame; false on any error (Error() says which).
  bool Finish();
  const std::string& Error() const { return m_error; }

private:
  bool Compress(const void* data, size_t n, bool end);

  ByteSink& m_out;
  ZSTD_CCtx_s* m_cctx;
  std::string m_error;
};

} // namespace archive
