#include "archive/format/trailer.h"

#include <gtest/gtest.h>

using namespace archive;

namespace {

ArchiveTrailer SmallInstaller() {
  ArchiveTrailer t;
  t.caption = "Setup";
  t.productName = "Produkt";
  t.entries = {{3, "a.exe"}, {0, "leer.txt"}};
  t.dataStart = 64;
  return t;
}

ArchiveTrailer SmallPatch() {
  ArchiveTrailer t = SmallInstaller();
  t.installerFlag = 0;
  return t;
}

std::vector<uint8_t> FileWithRegion(const std::vector<uint8_t>& region) {
  std::vector<uint8_t> file(64, 0xCC);
  file.insert(file.end(), region.begin(), region.end());
  AppendLE32(file, uint32_t(region.size()));
  return file;
}

TrailerReadResult Read(const std::vector<uint8_t>& region, ArchiveTrailer& t) {
  MemoryFile file(FileWithRegion(region));
  return ReadTrailer(file, t);
}

// The region of a trailer without extension, followed by `tail`.
std::vector<uint8_t> RegionWithTail(const ArchiveTrailer& t, const std::vector<uint8_t>& tail) {
  std::vector<uint8_t> region = SerializeTrailerRegion(t);
  region.insert(region.end(), tail.begin(), tail.end());
  return region;
}

void StoreLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

std::vector<uint8_t> Block(uint32_t tag, const std::vector<uint32_t>& words) {
  std::vector<uint8_t> out;
  AppendLE32(out, tag);
  AppendLE32(out, uint32_t(words.size() * 4));
  for (uint32_t w : words) AppendLE32(out, w);
  return out;
}

std::vector<uint8_t> Extension(const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<uint8_t> out;
  AppendLE32(out, kExtensionMagic);
  for (const auto& b : blocks) out.insert(out.end(), b.begin(), b.end());
  return out;
}

void ExpectRefused(const std::vector<uint8_t>& region, const std::string& why) {
  ArchiveTrailer t;
  auto r = Read(region, t);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
}

} // namespace

TEST(TrailerExtension, HufArchivesEndAtDataStart) {
  // A HUF payload needs no block: the region is the first format's, byte for
  // byte, whatever level or window a caller left in the block.
  for (ArchiveTrailer t : {SmallInstaller(), SmallPatch()}) {
    const auto plain = SerializeTrailerRegion(t);
    t.extension.codec.level = 9;
    EXPECT_EQ(SerializeTrailerRegion(t), plain);
    ArchiveTrailer back;
    ASSERT_TRUE(Read(plain, back).ok);
    EXPECT_EQ(back.extension.codec.codec, PayloadCodec::Huf);
  }
}

// The product block as written: architecture, scope, counted display version.
std::vector<uint8_t> ProductBody(uint32_t architecture, uint32_t scope, const std::string& shown) {
  std::vector<uint8_t> block = Block(kProductBlockTag, {architecture, scope});
  StoreLE32(&block[4], uint32_t(12 + shown.size()));
  AppendCountedText(block, shown);
  return block;
}

TEST(TrailerExtension, CodecAndProductBlocksRoundTripForBothKinds) {
  for (ArchiveTrailer t : {SmallInstaller(), SmallPatch()}) {
    const ArchiveTrailer plain = t;
    t.extension.codec = {PayloadCodec::Zstd, 19, 25};
    auto region = SerializeTrailerRegion(t);
    EXPECT_EQ(region, RegionWithTail(plain, Extension({Block(kCodecBlockTag, {1, 19, 25})})));
    // Each field of the product block alone writes the block.
    const auto codec = Block(kCodecBlockTag, {1, 19, 25});
    for (const auto& [product, block] : std::vector<std::pair<ProductBlock, std::vector<uint8_t>>>{
             {{}, {}},
             {{ProductArchitecture::X64, InstallScope::Machine, ""}, ProductBody(1, 0, "")},
             {{ProductArchitecture::X86, InstallScope::User, ""}, ProductBody(0, 1, "")},
             {{ProductArchitecture::X86, InstallScope::Machine, "1.0.0"},
              ProductBody(0, 0, "1.0.0")},
             {{ProductArchitecture::X64, InstallScope::User, "2.1 \xE4"},
              ProductBody(1, 1, "2.1 \xE4")}}) {
      t.extension.product = product;
      region = SerializeTrailerRegion(t);
      std::vector<std::vector<uint8_t>> blocks = {codec};
      if (!block.empty()) blocks.push_back(block);
      EXPECT_EQ(region, RegionWithTail(plain, Extension(blocks))) << product.displayVersion;
      ArchiveTrailer back;
      auto r = Read(region, back);
      ASSERT_TRUE(r.ok) << r.error;
      EXPECT_EQ(back.extension, t.extension);
      EXPECT_EQ(back.entries.size(), 2u);
      EXPECT_EQ(r.layout.dataStart, 64u);
    }
  }
}

TEST(TrailerExtension, BytesBehindDataStartMustBeAWholeExtension) {
  const ArchiveTrailer t = SmallInstaller();
  // Anything that is not the magic: one to four stray bytes, a wrong magic.
  ExpectRefused(RegionWithTail(t, {0}), "more than its fields");
  ExpectRefused(RegionWithTail(t, {0x56, 0x54, 0x58}), "more than its fields");
  ExpectRefused(RegionWithTail(t, {0, 0, 0, 0}), "more than its fields");
  ExpectRefused(RegionWithTail(t, {0x56, 0x54, 0x58, 0x32}), "more than its fields");
  // The magic alone, or a block cut anywhere.
  ExpectRefused(RegionWithTail(t, Extension({})), "without blocks");
  const auto whole = Extension({Block(kCodecBlockTag, {1, 19, 25})});
  for (size_t cut = 5; cut < whole.size(); ++cut) {
    ArchiveTrailer back;
    EXPECT_FALSE(Read(RegionWithTail(t, {whole.begin(), whole.begin() + cut}), back).ok) << cut;
  }
  // A body length that runs past the region, also one that wraps a 32-bit sum.
  auto longBody = whole;
  StoreLE32(&longBody[8], 13);
  ExpectRefused(RegionWithTail(t, longBody), "runs past");
  StoreLE32(&longBody[8], 0xFFFFFFFCu);
  ExpectRefused(RegionWithTail(t, longBody), "runs past");
}

TEST(TrailerExtension, UnknownRepeatedOrMisshapenBlocksAreRefused) {
  const ArchiveTrailer t = SmallInstaller();
  ExpectRefused(RegionWithTail(t, Extension({Block(FourCC("ABCD"), {})})), "unknown trailer block");
  // HUF has no block; 2 is a codec of a later reader.
  ExpectRefused(RegionWithTail(t, Extension({Block(kCodecBlockTag, {0, 0, 0})})), "codec 0");
  ExpectRefused(RegionWithTail(t, Extension({Block(kCodecBlockTag, {2, 0, 0})})), "codec 2");
  ExpectRefused(RegionWithTail(t, Extension({Block(kCodecBlockTag, {1, 19})})), "12 expected");
  ExpectRefused(RegionWithTail(t, Extension({Block(kCodecBlockTag, {1, 19, 25, 0})})),
                "12 expected");
  const auto codec = Block(kCodecBlockTag, {1, 19, 25});
  ExpectRefused(RegionWithTail(t, Extension({codec, codec})), "two codec blocks");
  // The product block: values a later reader may know, a short or long body,
  // a display version with a control character or longer than allowed.
  const auto product = ProductBody(1, 1, "1.0");
  ExpectRefused(RegionWithTail(t, Extension({product, product})), "two product blocks");
  ExpectRefused(RegionWithTail(t, Extension({ProductBody(2, 0, "")})), "architecture 2");
  ExpectRefused(RegionWithTail(t, Extension({ProductBody(0, 2, "")})), "install scope 2");
  ExpectRefused(RegionWithTail(t, Extension({Block(kProductBlockTag, {1, 1})})), "8 bytes long");
  auto trailing = ProductBody(0, 1, "1.0");
  trailing.push_back(0);
  StoreLE32(&trailing[4], 16);
  ExpectRefused(RegionWithTail(t, Extension({trailing})), "more than its fields");
  ExpectRefused(RegionWithTail(t, Extension({ProductBody(0, 0, "1.0\t")})), "control character");
  ExpectRefused(RegionWithTail(t, Extension({ProductBody(0, 0, "1\x7F")})), "control character");
  ExpectRefused(RegionWithTail(t, Extension({ProductBody(0, 0, std::string(65, '1'))})),
                "display version");
}
