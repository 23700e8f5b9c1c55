// HUF stream decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "byte_io.h"

namespace archive {

struct HufDecodeResult {
  enum Status { Ok, Damaged, WriteError, Cancelled } status = Ok;
  std::string error;    // English, for the log
  uint64_t written = 0; // decoded bytes written
};

// Decodes one whole stream of inLength bytes from `in` into `out`.
// progress(consumedInputBytes) is called about every 64 KiB of input and
// once at the end; returning false cancels (status Cancelled, partial output
// already written stays written). A stream whose decoded length differs from
// the sum of its counts, or that is too short for its header, is Damaged.
// Never writes more than the sum of the counts. A stream with fewer than two
// distinct byte values decodes to its counts; its code bytes are ignored.
HufDecodeResult HufDecodeStream(ByteSource& in, uint64_t inLength, ByteSink& out,
                                const std::function<bool(uint64_t)>& progress = {});

// The same by walking the code tree one bit at a time: the reference the
// tests and benchmarks compare with.
HufDecodeResult HufDecodeBitwise(ByteSource& in, uint64_t inLength, ByteSink& out,
                                 const std::function<bool(uint64_t)>& progress = {});

} // namespace archive
