#include "archive/codec/decode_payload.h"

#include <algorithm>
#include <memory>

namespace archive {

namespace {

// Room for the decoded bytes of one call: the bytes between two progress
// reports, and so between two chances to cancel.
constexpr size_t kDecodeOutputBlock = 64 * 1024;

DecodeResult Damaged(std::string why, uint64_t written) {
  return MakeDecodeResult(DecodeResult::Damaged, "damaged stream: " + std::move(why), written);
}

size_t ReadFull(ByteSource& in, uint8_t* dst, size_t n) {
  size_t done = 0;
  while (done < n) {
    size_t got = in.Read(dst + done, n - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::string Bytes(uint64_t n) { return std::to_string(n) + " bytes"; }

} // namespace

DecodeResult DecodePayload(PayloadDecoder& decoder, ByteSource& in, uint64_t inLength,
                           ByteSink& out, const std::function<bool(uint64_t)>& progress,
                           uint64_t expectedSize) {
  std::unique_ptr<uint8_t[]> inBuffer(new uint8_t[kDecodeInputBlock]);
  std::unique_ptr<uint8_t[]> outBuffer(new uint8_t[kDecodeOutputBlock]);
  DecodeInput input{inBuffer.get(), 0, 0};
  uint64_t consumed = 0; // read from the source
  uint64_t written = 0;
  // With the decoded length known, progress follows the decoded bytes (what
  // the caller waits for: a block of a well-compressed stream holds many
  // blocks of output), told in input units.
  auto position = [&]() -> uint64_t {
    if (expectedSize == UINT64_MAX || expectedSize == 0) return consumed;
    return std::min(inLength, uint64_t(double(written) / double(expectedSize) * double(inLength)));
  };
  auto cancelled = [&] { return progress && !progress(position()); };
  for (;;) {
    if (input.pos == input.size && consumed < inLength) {
      size_t want = size_t(std::min<uint64_t>(kDecodeInputBlock, inLength - consumed));
      size_t got = ReadFull(in, inBuffer.get(), want);
      if (got < want) return Damaged("stream ends early", written);
      consumed += got;
      input = DecodeInput{inBuffer.get(), got, 0};
    }
    DecodeOutput output{outBuffer.get(), kDecodeOutputBlock, 0};
    const PayloadDecoder::Status status = decoder.Decode(input, output);
    if (output.pos > 0) {
      if (output.pos > expectedSize - std::min(expectedSize, written))
        return Damaged("decodes to more than the entries' " + Bytes(expectedSize), written);
      if (!out.Write(output.data, output.pos))
        return MakeDecodeResult(DecodeResult::WriteError, "cannot write the decoded data", written);
      written += output.pos;
    }
    if (status == PayloadDecoder::Status::Damaged) return Damaged(decoder.Error(), written);
    if (status == PayloadDecoder::Status::Done) {
      if (input.pos < input.size || consumed < inLength)
        return Damaged(Bytes(inLength - consumed + (input.size - input.pos)) +
                           " behind the end of the stream",
                       written);
      if (expectedSize != UINT64_MAX && written != expectedSize)
        return Damaged("decodes to " + Bytes(written) + ", the entries hold " + Bytes(expectedSize),
                       written);
      if (cancelled())
        return MakeDecodeResult(DecodeResult::Cancelled, "decoding cancelled", written);
      return MakeDecodeResult(DecodeResult::Ok, {}, written);
    }
    if (input.pos == input.size && consumed == inLength && output.pos == 0)
      return Damaged("stream ends early", written);
    if ((output.pos > 0 || input.pos == input.size) && cancelled())
      return MakeDecodeResult(DecodeResult::Cancelled, "decoding cancelled", written);
  }
}

DecodeResult DecodePayload(const CodecBlock& codec, ByteSource& in, uint64_t inLength,
                           uint64_t contentSize, ByteSink& out,
                           const std::function<bool(uint64_t)>& progress) {
  std::unique_ptr<PayloadDecoder> decoder = MakePayloadDecoder(codec, inLength, contentSize);
  return DecodePayload(*decoder, in, inLength, out, progress, contentSize);
}

} // namespace archive
