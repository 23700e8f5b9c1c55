#include "archive/codec/zstd_decoder.h"

#include <algorithm>
#include <cstring>

#define ZSTD_STATIC_LINKING_ONLY // ZSTD_getFrameHeader, ZSTD_frameHeader
#include <zstd.h>
#include <zstd_errors.h>

#include "archive/common/byte_io.h"

static_assert(archive::kZstdFrameMagic == ZSTD_MAGICNUMBER);

namespace archive {

namespace {

// The library's texts may be stripped from the stub's build: our own for the
// faults a damaged payload shows.
std::string ErrorText(size_t code) {
  switch (ZSTD_getErrorCode(code)) {
  case ZSTD_error_checksum_wrong:
    return "zstd frame checksum does not match its content";
  case ZSTD_error_corruption_detected:
    return "zstd frame is corrupted";
  case ZSTD_error_frameParameter_windowTooLarge:
    return "zstd frame window is larger than 128 MiB";
  case ZSTD_error_srcSize_wrong:
    return "zstd frame content size does not match its blocks";
  case ZSTD_error_memory_allocation:
    return "no memory for the zstd frame's window";
  case ZSTD_error_prefix_unknown:
    return "the payload stream is no zstd frame";
  case ZSTD_error_frameParameter_unsupported:
    return "zstd frame uses an unsupported parameter";
  default:
    return "zstd error " + std::to_string(int(ZSTD_getErrorCode(code)));
  }
}

std::string Bytes(unsigned long long n) { return std::to_string(n) + " bytes"; }

} // namespace

ZstdDecoder::ZstdDecoder(uint64_t contentSize)
    : m_dctx(ZSTD_createDCtx()), m_contentSize(contentSize) {
  if (m_dctx) ZSTD_DCtx_setParameter(m_dctx, ZSTD_d_windowLogMax, int(kZstdWindowLogMax));
}

ZstdDecoder::~ZstdDecoder() { ZSTD_freeDCtx(m_dctx); }

bool ZstdDecoder::CheckHeader(DecodeInput& in) {
  ZSTD_frameHeader header;
  for (;;) {
    size_t need = ZSTD_getFrameHeader(&header, m_header, m_headerFill);
    if (ZSTD_isError(need) || (m_headerFill >= 4 && LoadLE32(m_header) != ZSTD_MAGICNUMBER)) {
      m_damaged = true;
      Damaged("the payload stream is no zstd frame");
      return false;
    }
    if (need == 0) break;
    if (need > sizeof m_header) { // cannot be: the header is at most 18 bytes
      m_damaged = true;
      Damaged("zstd frame header too long");
      return false;
    }
    size_t take = std::min(need - m_headerFill, in.size - in.pos);
    if (take == 0) return false;
    std::memcpy(m_header + m_headerFill, in.data + in.pos, take);
    m_headerFill += take;
    in.pos += take;
  }
  std::string why;
  if (header.frameType != ZSTD_frame)
    why = "the payload stream is no zstd frame";
  else if (header.frameContentSize == ZSTD_CONTENTSIZE_UNKNOWN)
    why = "zstd frame without its content size";
  else if (header.frameContentSize != m_contentSize)
    why = "zstd frame holds " + Bytes(header.frameContentSize) + ", the entries hold " +
          Bytes(m_contentSize);
  else if (!header.checksumFlag)
    why = "zstd frame without a checksum";
  else if (header.dictID != 0)
    why = "zstd frame needs a dictionary";
  else if (header.windowSize > (1ull << kZstdWindowLogMax))
    why = "zstd frame window of " + Bytes(header.windowSize) + " is larger than 128 MiB";
  else if (!m_dctx)
    why = "no memory for the zstd decoder";
  if (!why.empty()) {
    m_damaged = true;
    Damaged(why);
    return false;
  }
  m_headerChecked = true;
  return true;
}

PayloadDecoder::Status ZstdDecoder::Run(const uint8_t* data, size_t size, size_t& pos,
                                        DecodeOutput& out) {
  ZSTD_inBuffer zin{data, size, pos};
  ZSTD_outBuffer zout{out.data, out.size, out.pos};
  size_t r = ZSTD_decompressStream(m_dctx, &zout, &zin);
  pos = zin.pos;
  out.pos = zout.pos;
  if (ZSTD_isError(r)) {
    m_damaged = true;
    return Damaged(ErrorText(r));
  }
  return r == 0 ? Status::Done : Status::Working;
}

PayloadDecoder::Status ZstdDecoder::Decode(DecodeInput& in, DecodeOutput& out) {
  if (m_damaged) return Status::Damaged;
  if (!m_headerChecked && !CheckHeader(in)) return m_damaged ? Status::Damaged : Status::Working;
  // The header bytes collected for the check go first.
  while (m_headerFed < m_headerFill) {
    Status s = Run(m_header, m_headerFill, m_headerFed, out);
    if (s != Status::Working) return s;
    if (out.pos == out.size) return Status::Working;
  }
  size_t pos = in.pos;
  Status s = Run(in.data, in.size, pos, out);
  in.pos = pos;
  return s;
}

} // namespace archive
