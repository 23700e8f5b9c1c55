// Drives a payload decoder from a source into a sink in blocks: the loop the
// installer, the patch and mksetup share.
#pragma once

#include <cstdint>
#include <functional>

#include "archive/common/byte_io.h"
#include "archive/codec/decode_result.h"
#include "archive/codec/payload_decoder.h"

namespace archive {

// Input is read, and progress reported, in blocks of this size.
constexpr size_t kDecodeInputBlock = 64 * 1024;

// Feeds the stream's inLength bytes from `in` to the decoder and writes what
// it decodes to `out`. progress(position) is called after every input block
// and every block of output, and once at the end with inLength; false
// cancels. The position is the input consumed, or with expectedSize given
// the share of it decoded, in input units (0..inLength). With expectedSize
// given, decoding to more or fewer bytes is Damaged (no byte past it is
// written).
DecodeResult DecodePayload(PayloadDecoder& decoder, ByteSource& in, uint64_t inLength,
                           ByteSink& out, const std::function<bool(uint64_t)>& progress = {},
                           uint64_t expectedSize = UINT64_MAX);

// The same with the decoder the codec block names.
DecodeResult DecodePayload(const CodecBlock& codec, ByteSource& in, uint64_t inLength,
                           uint64_t contentSize, ByteSink& out,
                           const std::function<bool(uint64_t)>& progress = {});

} // namespace archive
