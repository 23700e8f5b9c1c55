#include "archive/codec/payload_decoder.h"

#include "archive/codec/zstd_decoder.h"
#include "archive/huf/huf_decoder.h"

namespace archive {

std::unique_ptr<PayloadDecoder> MakePayloadDecoder(const CodecBlock& codec, uint64_t streamLength,
                                                   uint64_t contentSize) {
  switch (codec.codec) {
  case PayloadCodec::Zstd:
    return std::make_unique<ZstdDecoder>(contentSize);
  case PayloadCodec::Huf:
    break;
  }
  return MakeHufDecoder(streamLength);
}

} // namespace archive
