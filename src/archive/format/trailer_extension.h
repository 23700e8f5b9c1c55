// Fields that the original trailer region has no room for, written as
// blocks behind its last field (dataStart):
//
//   uint32 magic "TVX1"
//   blocks, each: uint32 tag, uint32 body length, body
//
// A region without them ends at dataStart, as every archive of the first
// format does; such an archive reads as before (a HUF payload). Nothing is
// written when every field has its default, so those archives stay
// byte-identical. A reader refuses bytes behind dataStart that are not a
// complete extension, an unknown or repeated tag, and a known block whose
// body has the wrong length: an archive it cannot understand is damaged,
// never read in part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/format/uninstall_blocks.h"
#include "archive/format/delta_block.h"
#include "archive/format/product_block.h"

namespace archive {

constexpr uint32_t kExtensionMagic = 0x31585654; // "TVX1"

constexpr uint32_t FourCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

// The codec of the payload stream. HUF has no block; the others have ids from
// 1 on. An id a reader does not know is refused.
enum class PayloadCodec : uint32_t { Huf = 0, Zstd = 1 };

constexpr uint32_t kCodecBlockTag = FourCC("CODC");

// Block "CODC": uint32 codec, uint32 level, uint32 window log (log2 of the
// window the encoder used; 0 when the codec has none). Level and window are
// what the builder chose, for listing; the decoder takes its limits from the
// stream itself.
struct CodecBlock {
  PayloadCodec codec = PayloadCodec::Huf;
  uint32_t level = 0;
  uint32_t windowLog = 0;
  bool operator==(const CodecBlock&) const = default;
};

struct TrailerExtension {
  CodecBlock codec;
  // The built-in uninstaller (uninstall_blocks.h): the installer's option,
  // and the list an uninstall archive carries.
  UninstallerBlock uninstaller;
  UninstallList uninstallList;
  // Block "DELT" (delta_block.h): the entries carried as deltas, by index.
  std::vector<DeltaRecord> deltas;
  // Block "PROD" (product_block.h): architecture, scope, display version.
  ProductBlock product;
  bool operator==(const TrailerExtension&) const = default;
  // Nothing to write: a HUF payload and no other block.
  bool Empty() const {
    return codec.codec == PayloadCodec::Huf && uninstaller.Empty() && !uninstallList.present &&
           deltas.empty() && product.Empty();
  }
};

// Reads the bytes behind dataStart (possibly none). False with an English
// reason when they are not a well-formed extension.
bool ReadTrailerExtension(const uint8_t* bytes, size_t size, TrailerExtension& extension,
                          std::string& error);

// Appends the extension; nothing when it is empty.
void AppendTrailerExtension(std::vector<uint8_t>& out, const TrailerExtension& extension);

// "huf", "zstd": the name mksetup and the logs use.
const char* PayloadCodecName(PayloadCodec codec);

} // namespace archive
