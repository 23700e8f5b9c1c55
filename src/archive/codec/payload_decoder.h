// The one interface through which the engine reads a payload stream,
// whatever its codec. It has the shape of a streaming decompressor: the
// caller owns an input and an output buffer, each with a position, and
// calls Decode as long as it says Working; Decode moves both positions as
// far as it can. So the caller decides the block sizes, the progress
// reports and when to stop, and memory stays that of the codec's state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "archive/format/trailer_extension.h"

namespace archive {

struct DecodeInput {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0; // bytes of data consumed
};

struct DecodeOutput {
  uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0; // bytes of data written
};

class PayloadDecoder {
public:
  enum class Status {
    Working, // wants more input or more room (or both)
    Done,    // the stream ended where it should; every decoded byte is out
    Damaged, // Error() says why; call no more
  };
  virtual ~PayloadDecoder() = default;
  // Consumes input from in.pos and writes decoded bytes from out.pos on.
  // Input behind the stream's end is not consumed: the caller feeds exactly
  // the stream's bytes. With the whole stream fed and room to spare, a
  // decoder that still says Working has a stream that ends early.
  virtual Status Decode(DecodeInput& in, DecodeOutput& out) = 0;
  const std::string& Error() const { return m_error; }

protected:
  Status Damaged(std::string why) {
    m_error = std::move(why);
    return Status::Damaged;
  }

private:
  std::string m_error;
};

// The decoder the codec block names, for a stream of streamLength bytes
// whose decoded bytes are the entries (contentSize in all).
std::unique_ptr<PayloadDecoder> MakePayloadDecoder(const CodecBlock& codec, uint64_t streamLength,
                                                   uint64_t contentSize);

} // namespace archive
