// The payload codec a build or a patch chooses: compression = "zstd" (the
// default) or "huf", and for zstd a level of 1..19 or "max".
#pragma once

#include <optional>
#include <string>

#include "archive/format/trailer_extension.h"

namespace mksetup {

// zstd at level 19 with a window of up to 32 MiB.
archive::CodecBlock DefaultCompression();

// "zstd" or "huf"; false for anything else.
bool ParseCodecName(const std::string& name, archive::CodecBlock& codec);

// Sets the level of a zstd codec: 1..19 with a window of up to 32 MiB, or
// "max" (level 22, up to 128 MiB). The error text says what is allowed.
bool ParseCompressionLevel(const std::string& level, archive::CodecBlock& codec,
                           std::string& error);

// "zstd 19, window 32 MiB", "huf": how list and the build's report name it.
std::string DescribeCompression(const archive::CodecBlock& codec);

} // namespace mksetup
