// The zstd payload: one frame that carries its content size and checksum,
// decoded with libzstd's streaming decompressor. Before a byte comes out,
// the frame header is checked: the zstd frame magic (no skippable frame),
// the content size against the directory's total, a checksum present, no
// dictionary, a window of at most 128 MiB (the decoder's memory). The
// library checks the checksum at the frame's end; the caller refuses bytes
// behind the frame.
#pragma once

#include <cstdint>

#include "archive/codec/payload_decoder.h"

struct ZSTD_DCtx_s;

namespace archive {

// The first four bytes of a zstd frame, little-endian.
constexpr uint32_t kZstdFrameMagic = 0xFD2FB528;

// The largest window a payload frame may use: log2 of 128 MiB.
constexpr unsigned kZstdWindowLogMax = 27;

class ZstdDecoder final : public PayloadDecoder {
public:
  explicit ZstdDecoder(uint64_t contentSize);
  ~ZstdDecoder() override;
  ZstdDecoder(const ZstdDecoder&) = delete;
  ZstdDecoder& operator=(const ZstdDecoder&) = delete;

  Status Decode(DecodeInput& in, DecodeOutput& out) override;

private:
  // Collects the frame header and checks it; false while it is incomplete
  // or when it is refused (m_damaged).
  bool CheckHeader(DecodeInput& in);
  Status Run(const uint8_t* data, size_t size, size_t& pos, DecodeOutput& out);

  ZSTD_DCtx_s* m_dctx;
  uint64_t m_contentSize;
  uint8_t m_header[18]; // ZSTD_FRAMEHEADERSIZE_MAX
  size_t m_headerFill = 0;
  size_t m_headerFed = 0;
  bool m_headerChecked = false;
  bool m_damaged = false;
};

} // namespace archive
