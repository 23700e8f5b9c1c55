// Encode any data, decode it again: the same bytes come back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/huf/huf_decoder.h"
#include "archive/huf/huf_encoder.h"

using namespace archive;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HufCounts counts{};
  CountBytes(counts, data, size);
  VectorSink stream;
  HufEncoder enc(counts, stream, "fuzz");
  if (!enc.Write(data, size / 2) || !enc.Write(data + size / 2, size - size / 2) || !enc.Finish())
    std::abort();
  MemorySource src(stream.bytes.data(), stream.bytes.size());
  VectorSink out;
  HufDecodeResult r = HufDecodeStream(src, stream.bytes.size(), out);
  if (r.status != HufDecodeResult::Ok || out.bytes.size() != size) std::abort();
  if (size && std::memcmp(out.bytes.data(), data, size) != 0) std::abort();
  return 0;
}
