#include "compression.h"

#include "archive/codec/zstd_encoder.h"

namespace mksetup {

archive::CodecBlock DefaultCompression() {
  return {archive::PayloadCodec::Zstd, uint32_t(archive::kZstdDefaultLevel),
          archive::kZstdDefaultWindowLog};
}

bool ParseCodecName(const std::string& name, archive::CodecBlock& codec) {
  if (name == "zstd") {
    if (codec.codec != archive::PayloadCodec::Zstd) codec = DefaultCompression();
    return true;
  }
  if (name == "huf") {
    codec = archive::CodecBlock{};
    return true;
  }
  return false;
}

bool ParseCompressionLevel(const std::string& level, archive::CodecBlock& codec,
                           std::string& error) {
  if (codec.codec != archive::PayloadCodec::Zstd) {
    error = "a level needs compression \"zstd\"";
    return false;
  }
  if (level == "max") {
    codec.level = uint32_t(archive::kZstdMaxLevel);
    codec.windowLog = archive::kZstdMaxWindowLog;
    return true;
  }
  int value = 0;
  for (char c : level) {
    if (c < '0' || c > '9' || value > 100) {
      value = 0;
      break;
    }
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > archive::kZstdDefaultLevel) {
    error = "must be 1 to 19 or \"max\"";
    return false;
  }
  codec.level = uint32_t(value);
  codec.windowLog = archive::kZstdDefaultWindowLog;
  return true;
}

std::string DescribeCompression(const archive::CodecBlock& codec) {
  if (codec.codec != archive::PayloadCodec::Zstd) return archive::PayloadCodecName(codec.codec);
  std::string window = codec.windowLog >= 20 ? std::to_string(1u << (codec.windowLog - 20)) + " MiB"
                                             : std::to_string(1u << codec.windowLog >> 10) + " KiB";
  return "zstd " + std::to_string(codec.level) + ", window " + window;
}

} // namespace mksetup
