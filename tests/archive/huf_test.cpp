#include "archive/huf_decoder.h"
#include "archive/huf_encoder.h"
#include "archive/huf_tree.h"

#include <gtest/gtest.h>

#include <random>

using namespace archive;

namespace {

std::vector<uint8_t> Encode(const std::vector<uint8_t>& data, std::string_view name = {}) {
  HufCounts counts{};
  CountBytes(counts, data.data(), data.size());
  VectorSink sink;
  HufEncoder enc(counts, sink, name);
  EXPECT_TRUE(enc.Write(data.data(), data.size()));
  EXPECT_TRUE(enc.Finish());
  EXPECT_EQ(enc.BytesWritten(), sink.bytes.size());
  return sink.bytes;
}

using Decoder = HufDecodeResult (*)(ByteSource&, uint64_t, ByteSink&,
                                    const std::function<bool(uint64_t)>&);

HufDecodeResult Decode(Decoder dec, const std::vector<uint8_t>& stream, std::vector<uint8_t>& out) {
  MemorySource src(stream.data(), stream.size());
  VectorSink sink;
  HufDecodeResult r = dec(src, stream.size(), sink, {});
  out = sink.bytes;
  EXPECT_EQ(r.written, out.size());
  return r;
}

void ExpectRoundTrip(const std::vector<uint8_t>& data) {
  auto stream = Encode(data);
  for (Decoder dec : {&HufDecodeStream, &HufDecodeBitwise}) {
    std::vector<uint8_t> back;
    auto r = Decode(dec, stream, back);
    ASSERT_EQ(r.status, HufDecodeResult::Ok) << r.error;
    ASSERT_EQ(back, data);
  }
}

std::string CodeString(const HufCode& c) {
  std::string s;
  for (unsigned k = 0; k < c.length; ++k) s += char('0' + c.Bit(k));
  return s;
}

} // namespace

TEST(HufTree, TiesGiveTheWrittenCodes) {
  HufCounts counts{};
  counts[0] = 5, counts[1] = 5, counts[2] = 3;
  HufTree tree;
  BuildHufTree(counts, tree);
  std::array<HufCode, 256> codes;
  ComputeHufCodes(tree, codes);
  EXPECT_EQ(CodeString(codes[0]), "1");
  EXPECT_EQ(CodeString(codes[1]), "00");
  EXPECT_EQ(CodeString(codes[2]), "01");
}

TEST(HufEncoder, AbcIsTheWrittenStream) {
  std::vector<uint8_t> data = {'a', 'b', 'c'};
  auto stream = Encode(data);
  ASSERT_EQ(stream.size(), 1028u);
  for (int i = 0; i < 1024; ++i) EXPECT_EQ(stream[i], (i == 97 * 4 || i == 98 * 4 || i == 99 * 4) ? 1 : 0);
  EXPECT_EQ(stream[1024], 0x01);
  EXPECT_EQ(stream[1025], 0x00);
  EXPECT_EQ(stream[1026], 0x88);
  EXPECT_EQ(stream[1027], 0x05);
  ExpectRoundTrip(data);
}

TEST(HufRoundTrip, RandomSizes) {
  std::mt19937 rng(1);
  for (size_t n = 0; n < 300; ++n) {
    std::vector<uint8_t> data(n);
    for (auto& b : data) b = uint8_t(rng() % 7 * 31);
    ExpectRoundTrip(data);
  }
}

TEST(HufRoundTrip, OneByteValueAndEmpty) {
  ExpectRoundTrip({});
  ExpectRoundTrip({42});
  ExpectRoundTrip(std::vector<uint8_t>(100000, 7));
  // No code bytes: the header and the final byte 0.
  auto stream = Encode(std::vector<uint8_t>(10, 7));
  EXPECT_EQ(stream.size(), 1024u + 2 + 1);
  EXPECT_EQ(stream.back(), 0);
}

TEST(HufRoundTrip, SkewedCountsGiveLongCodes) {
  // Fibonacci-like counts: a chain tree whose deepest codes are ~40 bits.
  std::vector<uint8_t> data;
  uint32_t a = 1, b = 1;
  for (int s = 0; s < 30; ++s) {
    data.insert(data.end(), a, uint8_t(s));
    uint32_t c = a + b;
    a = b;
    b = c;
  }
  std::shuffle(data.begin(), data.end(), std::mt19937(3));
  HufCounts counts{};
  CountBytes(counts, data.data(), data.size());
  HufTree tree;
  BuildHufTree(counts, tree);
  std::array<HufCode, 256> codes;
  ComputeHufCodes(tree, codes);
  unsigned longest = 0;
  for (auto& c : codes) longest = std::max(longest, c.length);
  EXPECT_GE(longest, 29u);
  ExpectRoundTrip(data);
}
