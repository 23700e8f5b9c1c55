// The whole frame at once (a file of its own, so that the stub, which
// decodes in pieces, does not carry it).
#include "archive/codec/zstd_delta_decoder.h"

namespace archive {

bool DecodeDelta(const DeltaRecord& record, const std::vector<uint8_t>& reference,
                 const std::vector<uint8_t>& frame, std::vector<uint8_t>& result,
                 std::string& error) {
  // Not VectorSink: its file pulls stdio files into the stub.
  struct Sink final : ByteSink {
    std::vector<uint8_t>& bytes;
    explicit Sink(std::vector<uint8_t>& b) : bytes(b) {}
    bool Write(const void* data, size_t n) override {
      const auto* p = static_cast<const uint8_t*>(data);
      bytes.insert(bytes.end(), p, p + n);
      return true;
    }
  };
  result.clear();
  Sink sink(result);
  DeltaDecoder decoder(record, reference.data(), reference.size(), &sink, true);
  bool ok = decoder.Write(frame.data(), frame.size()) && decoder.Finish();
  if (!ok) {
    error = decoder.Error();
    result.clear();
  }
  return ok;
}

} // namespace archive
