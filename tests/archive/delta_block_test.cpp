// The delta block of a patch: records round-trip, and a reader refuses every
// block it could misread. SHA-256 against the standard's vectors.
#include "archive/format/delta_block.h"

#include <gtest/gtest.h>

#include "archive/common/sha256.h"
#include "archive/format/trailer.h"

using namespace archive;

namespace {

ArchiveTrailer PatchWithDeltas() {
  ArchiveTrailer t;
  t.installerFlag = 0;
  t.caption = "Patch";
  t.productName = "Produkt";
  t.entries = {{40, "bin\\a.exe"}, {3, "neu.txt"}, {25, "b.dll"}};
  t.dataStart = 64;
  DeltaRecord a{0, 1000, Sha256::Of("alt", 3), 1200, Sha256::Of("neu", 3)};
  DeltaRecord b{2, 0, Sha256::Of("", 0), 77, Sha256::Of("b", 1)};
  t.extension.deltas = {a, b};
  return t;
}

TrailerReadResult ReadRegion(const std::vector<uint8_t>& region, ArchiveTrailer& t) {
  std::vector<uint8_t> file = region;
  file.insert(file.begin(), 64, 0xCC);
  AppendLE32(file, uint32_t(region.size()));
  MemoryFile in(std::move(file));
  return ReadTrailer(in, t);
}

void ExpectRefused(const ArchiveTrailer& t, const std::string& why) {
  ArchiveTrailer back;
  auto r = ReadRegion(SerializeTrailerRegion(t), back);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
}

// The body of the block of `t`, to be damaged by hand.
std::vector<uint8_t> Body(const ArchiveTrailer& t) {
  std::vector<uint8_t> block;
  AppendDeltaBlock(block, t.extension.deltas);
  return {block.begin() + 8, block.end()};
}

std::string Refusal(const std::vector<uint8_t>& body) {
  std::vector<DeltaRecord> records;
  std::string error;
  EXPECT_FALSE(ReadDeltaBlock(body.data(), uint32_t(body.size()), records, error));
  return error;
}

} // namespace

TEST(Sha256, StandardVectors) {
  EXPECT_EQ(Sha256Hex(Sha256::Of("", 0)),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex(Sha256::Of("abc", 3)),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Sha256Hex(Sha256::Of(two.data(), two.size())),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // A million 'a', fed in uneven pieces that cross every block boundary.
  Sha256 h;
  const std::string a(997, 'a');
  size_t left = 1000000;
  for (size_t piece = 1; left > 0; piece = piece % 997 + 63) {
    size_t n = std::min({piece, left, a.size()});
    h.Update(a.data(), n);
    left -= n;
  }
  EXPECT_EQ(Sha256Hex(h.Finish()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, WholeBlocksAndSingleBytesAgree) {
  // Whole blocks take the processor's SHA extensions where it has them; a
  // byte at a time always takes the portable code.
  std::vector<uint8_t> bytes(100003);
  uint32_t seed = 1;
  for (auto& b : bytes) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 23);
  Sha256 bytewise;
  for (uint8_t b : bytes) bytewise.Update(&b, 1);
  EXPECT_EQ(Sha256::Of(bytes.data(), bytes.size()), bytewise.Finish());
}

TEST(DeltaBlock, RoundTripsAndFindsRecordsByEntry) {
  const ArchiveTrailer t = PatchWithDeltas();
  const auto region = SerializeTrailerRegion(t);
  ArchiveTrailer back;
  auto r = ReadRegion(region, back);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(back.extension.deltas, t.extension.deltas);
  EXPECT_EQ(SerializeTrailerRegion(back), region);
  EXPECT_EQ(Body(t).size(), 4 + 2 * kDeltaRecordSize);
  EXPECT_EQ(FindDelta(back.extension.deltas, 0)->resultSize, 1200u);
  EXPECT_EQ(FindDelta(back.extension.deltas, 1), nullptr);
  EXPECT_EQ(FindDelta(back.extension.deltas, 2)->resultSize, 77u);

  // A patch without deltas writes no block at all.
  ArchiveTrailer plain = t;
  plain.extension.deltas.clear();
  EXPECT_TRUE(plain.extension.Empty());
  EXPECT_EQ(SerializeTrailerRegion(plain).size(), region.size() - 4 - 8 - Body(t).size());
}

TEST(DeltaBlock, MisshapenBodiesAreRefused) {
  const auto body = Body(PatchWithDeltas());
  // Lengths that do not hold whole records, or disagree with the count.
  EXPECT_NE(Refusal({body.begin(), body.begin() + 3}).find("does not hold"), std::string::npos);
  EXPECT_NE(Refusal({body.begin(), body.end() - 1}).find("does not hold"), std::string::npos);
  auto count = body;
  count[0] = 3;
  EXPECT_NE(Refusal(count).find("does not hold"), std::string::npos);
  EXPECT_NE(Refusal({0, 0, 0, 0}).find("without records"), std::string::npos);
  // The same entry twice, or out of order.
  auto order = body;
  order[4 + kDeltaRecordSize] = 0;
  EXPECT_NE(Refusal(order).find("out of order"), std::string::npos);
}

TEST(DeltaBlock, DeltasBeyondTheDecodersSpanAreRefused) {
  ArchiveTrailer t = PatchWithDeltas();
  t.extension.deltas[0].referenceSize = kMaxDeltaSpan - 1200;
  ArchiveTrailer back;
  EXPECT_TRUE(ReadRegion(SerializeTrailerRegion(t), back).ok); // exactly the span
  t.extension.deltas[0].referenceSize += 1;
  ExpectRefused(t, "spans more than 256 MiB");
  // A huge size that would wrap a sum.
  t.extension.deltas[0].referenceSize = 1;
  t.extension.deltas[0].resultSize = ~uint64_t(0);
  ExpectRefused(t, "spans more than 256 MiB");
}

TEST(DeltaBlock, RecordsMustFitTheDirectoryOfAPatch) {
  ArchiveTrailer t = PatchWithDeltas();
  t.extension.deltas[1].entry = 3;
  ExpectRefused(t, "entry 3 of 3");
  t = PatchWithDeltas();
  t.entries[2].size = 0; // a frame is never empty
  ExpectRefused(t, "without bytes");
  t = PatchWithDeltas();
  t.installerFlag = 1;
  ExpectRefused(t, "installer with delta entries");
  // Two blocks.
  t = PatchWithDeltas();
  auto region = SerializeTrailerRegion(t);
  std::vector<uint8_t> block;
  AppendDeltaBlock(block, t.extension.deltas);
  region.insert(region.end(), block.begin(), block.end());
  ArchiveTrailer back;
  auto r = ReadRegion(region, back);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("two delta blocks"), std::string::npos) << r.error;
}
