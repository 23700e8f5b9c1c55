// Writes the zstd payload: one frame with the content size and checksum,
// compressed on one thread, so that the same input, level and window give
// the same bytes in every build of the same library release.
#pragma once

#include <cstdint>
#include <string>

#include "archive/common/byte_io.h"

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

// The chain log for a level with a given window. The high levels find
// matches in a binary tree that reaches 2^(chainLog - 1) bytes back, sized
// for their own windows (8 MiB at level 19); with a larger window the tree
// grows with it, up to the whole window and at most 2^kZstdMaxTreeLog
// entries (256 MiB of memory while building), so that level 19 searches all
// of its 32 MiB. The other strategies keep the level's chain log.
constexpr unsigned kZstdMaxTreeLog = 26;
int ZstdChainLog(int level, unsigned windowLog, uint64_t contentSize);

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
