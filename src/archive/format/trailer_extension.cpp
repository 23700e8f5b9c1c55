#include "archive/format/trailer_extension.h"

#include "archive/common/byte_io.h"

namespace archive {

static_assert(kDeltaBlockTag == FourCC("DELT"));
static_assert(kProductBlockTag == FourCC("PROD"));

namespace {

std::string Hex(uint32_t v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) s += digits[(v >> shift) & 15];
  return s;
}

bool ReadCodecBlock(const uint8_t* body, uint32_t length, CodecBlock& block, std::string& error) {
  if (length != 12) {
    error = "codec block is " + std::to_string(length) + " bytes long (12 expected)";
    return false;
  }
  const uint32_t id = LoadLE32(body);
  if (id != uint32_t(PayloadCodec::Zstd)) {
    // HUF is the codec without a block: a block naming it is not one this
    // builder writes, and a later codec is not one this reader can decode.
    error = "unknown payload codec " + std::to_string(id);
    return false;
  }
  block.codec = PayloadCodec(id);
  block.level = LoadLE32(body + 4);
  block.windowLog = LoadLE32(body + 8);
  return true;
}

// The blocks a reader knows: each may stand once.
struct KnownBlock {
  uint32_t tag;
  const char* twice; // the error when it stands twice
  bool (*read)(const uint8_t* body, uint32_t length, TrailerExtension& extension,
               std::string& error);
};

const KnownBlock kKnownBlocks[] = {
    {kCodecBlockTag, "two codec blocks",
     [](const uint8_t* body, uint32_t length, TrailerExtension& e, std::string& error) {
       return ReadCodecBlock(body, length, e.codec, error);
     }},
    {kUninstallerBlockTag, "two uninstaller blocks",
     [](const uint8_t* body, uint32_t length, TrailerExtension& e, std::string& error) {
       return ReadUninstallerBlock(body, length, e.uninstaller, error);
     }},
    {kUninstallListTag, "two uninstall lists",
     [](const uint8_t* body, uint32_t length, TrailerExtension& e, std::string& error) {
       return ReadUninstallList(body, length, e.uninstallList, error);
     }},
    {kDeltaBlockTag, "two delta blocks",
     [](const uint8_t* body, uint32_t length, TrailerExtension& e, std::string& error) {
       return ReadDeltaBlock(body, length, e.deltas, error);
     }},
    {kProductBlockTag, "two product blocks",
     [](const uint8_t* body, uint32_t length, TrailerExtension& e, std::string& error) {
       return ReadProductBlock(body, length, e.product, error);
     }},
};
constexpr size_t kKnownBlockCount = sizeof kKnownBlocks / sizeof kKnownBlocks[0];

} // namespace

bool ReadTrailerExtension(const uint8_t* bytes, size_t size, TrailerExtension& extension,
                          std::string& error) {
  extension = TrailerExtension{};
  if (size == 0) return true;
  if (size < 4 || LoadLE32(bytes) != kExtensionMagic) {
    error = "the trailer region holds more than its fields";
    return false;
  }
  size_t pos = 4;
  if (pos == size) {
    error = "trailer extension without blocks";
    return false;
  }
  bool seen[kKnownBlockCount] = {};
  while (pos < size) {
    if (size - pos < 8) {
      error = "trailer region ends inside a block header";
      return false;
    }
    const uint32_t tag = LoadLE32(bytes + pos);
    const uint32_t length = LoadLE32(bytes + pos + 4);
    pos += 8;
    if (length > size - pos) {
      error = "trailer block " + Hex(tag) + " runs past the trailer region";
      return false;
    }
    const uint8_t* body = bytes + pos;
    pos += length;
    size_t known = 0;
    while (known < kKnownBlockCount && kKnownBlocks[known].tag != tag) ++known;
    if (known == kKnownBlockCount) {
      error = "unknown trailer block " + Hex(tag);
      return false;
    }
    if (seen[known]) {
      error = kKnownBlocks[known].twice;
      return false;
    }
    seen[known] = true;
    if (!kKnownBlocks[known].read(body, length, extension, error)) return false;
  }
  return true;
}

void AppendTrailerExtension(std::vector<uint8_t>& out, const TrailerExtension& extension) {
  if (extension.Empty()) return;
  AppendLE32(out, kExtensionMagic);
  if (extension.codec.codec != PayloadCodec::Huf) {
    AppendLE32(out, kCodecBlockTag);
    AppendLE32(out, 12);
    AppendLE32(out, uint32_t(extension.codec.codec));
    AppendLE32(out, extension.codec.level);
    AppendLE32(out, extension.codec.windowLog);
  }
  AppendUninstallerBlock(out, extension.uninstaller);
  AppendUninstallList(out, extension.uninstallList);
  AppendDeltaBlock(out, extension.deltas);
  AppendProductBlock(out, extension.product);
}

const char* PayloadCodecName(PayloadCodec codec) {
  switch (codec) {
  case PayloadCodec::Huf:
    return "huf";
  case PayloadCodec::Zstd:
    return "zstd";
  }
  return "unknown";
}

} // namespace archive
