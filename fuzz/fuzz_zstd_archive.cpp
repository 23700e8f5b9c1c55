// The zstd archive path: trailer, codec marker and frame. The first byte
// picks what the rest is:
//   0: a program file: OpenArchive and VerifyPayload must never crash, and
//      what verifies must decode to exactly the directory's bytes;
//   1: a content size (4 bytes), two buffer sizes (2 bytes) and a stream:
//      the zstd decoder driven by hand with those buffers must come to the
//      same status and bytes as DecodePayload;
//   2: data that is compressed into a frame, which is then cut, or has a
//      byte replaced, where the next bytes say: a damaged frame is refused,
//      and whatever decodes is the data itself.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/archive_extract.h"
#include "archive/codec/decode_payload.h"
#include "archive/codec/zstd_decoder.h"
#include "archive/codec/zstd_encoder.h"

using namespace archive;

namespace {

const CodecBlock kZstd{PayloadCodec::Zstd, 19, 25};

void ProgramFile(const uint8_t* data, size_t size) {
  MemoryFile file(std::vector<uint8_t>(data, data + size));
  ArchiveInfo info;
  CheckResult r = OpenArchive(file, info);
  if (!r.ok) {
    if (r.error.empty()) std::abort();
    return;
  }
  uint64_t decoded = 0;
  r = VerifyPayload(file, info, [&](uint64_t done, uint64_t total) {
    if (done > total) std::abort();
    decoded = done;
  });
  if (r.ok && decoded != info.layout.StreamLength()) std::abort();
}

// The decoder driven with small buffers, as a caller with little room would.
PayloadDecoder::Status ByHand(const uint8_t* stream, size_t size, uint64_t contentSize,
                              size_t inStep, size_t outStep, std::vector<uint8_t>& out) {
  ZstdDecoder decoder(contentSize);
  std::vector<uint8_t> room(outStep);
  size_t fed = 0;
  for (int idle = 0; idle < 2;) {
    DecodeInput in{stream + fed, std::min(inStep, size - fed), 0};
    DecodeOutput o{room.data(), room.size(), 0};
    PayloadDecoder::Status s = decoder.Decode(in, o);
    if (in.pos > in.size || o.pos > o.size) std::abort();
    fed += in.pos;
    out.insert(out.end(), room.begin(), room.begin() + long(o.pos));
    if (out.size() > contentSize && s != PayloadDecoder::Status::Damaged) std::abort();
    if (s == PayloadDecoder::Status::Done)
      return fed == size ? s : PayloadDecoder::Status::Damaged; // bytes behind the frame
    if (s == PayloadDecoder::Status::Damaged) return s;
    idle = (in.pos == 0 && o.pos == 0) ? idle + 1 : 0;
  }
  return PayloadDecoder::Status::Working; // the stream ends early
}

void Stream(const uint8_t* data, size_t size) {
  if (size < 6) return;
  const uint64_t contentSize = LoadLE32(data) % (1u << 22);
  const size_t inStep = 1 + data[4] % 64, outStep = 1 + data[5] * 16;
  data += 6;
  size -= 6;
  MemorySource source(data, size);
  VectorSink sink;
  DecodeResult r = DecodePayload(kZstd, source, size, contentSize, sink);
  if (r.status == DecodeResult::Ok && sink.bytes.size() != contentSize) std::abort();
  if (r.status != DecodeResult::Ok && r.status != DecodeResult::Damaged) std::abort();
  std::vector<uint8_t> out;
  PayloadDecoder::Status s = ByHand(data, size, contentSize, inStep, outStep, out);
  if ((s == PayloadDecoder::Status::Done) != (r.status == DecodeResult::Ok)) std::abort();
  if (r.status == DecodeResult::Ok && out != sink.bytes) std::abort();
}

void DamagedFrame(const uint8_t* data, size_t size) {
  if (size < 5) return;
  const uint32_t where = LoadLE32(data);
  const uint8_t how = data[4];
  data += 5;
  size -= 5;
  VectorSink frameSink;
  ZstdEncoder encoder(frameSink, 1, 17, size);
  if (!encoder.Write(data, size) || !encoder.Finish()) std::abort();
  std::vector<uint8_t> frame = frameSink.bytes;
  const size_t at = where % frame.size();
  if (how & 1)
    frame.resize(at);
  else
    frame[at] = uint8_t(frame[at] ^ (how | 1));
  MemorySource source(frame.data(), frame.size());
  VectorSink sink;
  DecodeResult r = DecodePayload(kZstd, source, frame.size(), size, sink);
  if (r.status == DecodeResult::Ok &&
      (sink.bytes.size() != size || !std::equal(sink.bytes.begin(), sink.bytes.end(), data)))
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  switch (data[0] % 3) {
  case 0:
    ProgramFile(data + 1, size - 1);
    break;
  case 1:
    Stream(data + 1, size - 1);
    break;
  default:
    DamagedFrame(data + 1, size - 1);
    break;
  }
  return 0;
}
