// HUF stream decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <memory>

#include "archive/common/byte_io.h"
#include "archive/codec/decode_result.h"
#include "archive/codec/payload_decoder.h"

namespace archive {

using HufDecodeResult = DecodeResult;

// The table-driven decoder behind the payload decoder interface, for a
// stream of streamLength bytes: HufDecodeStream's decoder.
std::unique_ptr<PayloadDecoder> MakeHufDecoder(uint64_t streamLength);

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
