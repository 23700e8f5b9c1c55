#include "huf_decoder.h"

namespace archive {

HufDecodeResult HufDecodeStream(ByteSource& in, uint64_t inLength, ByteSink& out,
                                const std::function<bool(uint64_t)>& progress) {
  return HufDecodeBitwise(in, inLength, out, progress);
}

} // namespace archive
