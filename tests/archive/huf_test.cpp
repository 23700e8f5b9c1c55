#include "archive/huf/huf_decoder.h"
#include "archive/huf/huf_encoder.h"
#include "archive/huf/huf_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace archive;

namespace {

using Decoder = HufDecodeResult (*)(ByteSource&, uint64_t, ByteSink&,
                                    const std::function<bool(uint64_t)>&);
const Decoder kDecoders[] = {&HufDecodeStream, &HufDecodeBitwise};

// matching: the data has exactly the counts (else Finish reports the
// mismatch, but the stream is written all the same).
std::vector<uint8_t> EncodeWith(const HufCounts& counts, const std::vector<uint8_t>& data,
                                std::string_view name = {}, bool matching = true) {
  VectorSink sink;
  HufEncoder enc(counts, sink, name);
  // In uneven pieces, as a caller feeds it file by file.
  size_t pos = 0, piece = 1;
  while (pos < data.size()) {
    size_t n = std::min(piece, data.size() - pos);
    EXPECT_TRUE(enc.Write(data.data() + pos, n));
    pos += n;
    piece = piece * 3 + 1;
  }
  EXPECT_EQ(enc.Finish(), matching);
  EXPECT_EQ(enc.BytesWritten(), sink.bytes.size());
  return sink.bytes;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& data, std::string_view name = {}) {
  HufCounts counts{};
  CountBytes(counts, data.data(), data.size());
  return EncodeWith(counts, data, name);
}

HufDecodeResult Decode(Decoder dec, const std::vector<uint8_t>& stream, std::vector<uint8_t>& out,
                       const std::function<bool(uint64_t)>& progress = {}) {
  MemorySource src(stream.data(), stream.size());
  VectorSink sink;
  HufDecodeResult r = dec(src, stream.size(), sink, progress);
  out = std::move(sink.bytes);
  EXPECT_EQ(r.written, out.size());
  return r;
}

void ExpectRoundTrip(const std::vector<uint8_t>& data) {
  auto stream = Encode(data);
  // The builder lays out the program by the length known in advance.
  HufCounts counts{};
  CountBytes(counts, data.data(), data.size());
  ASSERT_EQ(stream.size(), HufStreamLength(counts));
  for (Decoder dec : kDecoders) {
    std::vector<uint8_t> back;
    auto r = Decode(dec, stream, back);
    ASSERT_EQ(r.status, HufDecodeResult::Ok) << r.error;
    ASSERT_EQ(back.size(), data.size());
    ASSERT_TRUE(back == data);
  }
}

// Both decoders must agree on any input: same status and message, and the
// same bytes written, except that when a stream turns out to be cut short or
// to end in a bad valid-bit count they may have stopped at different points
// (they read ahead differently): one output is then the beginning of the
// other.
void ExpectDecodersAgree(const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> fast, slow;
  auto a = Decode(&HufDecodeStream, stream, fast);
  auto b = Decode(&HufDecodeBitwise, stream, slow);
  ASSERT_EQ(a.status, b.status) << a.error << " / " << b.error;
  ASSERT_EQ(a.error, b.error);
  if (a.error.find("valid bits") != std::string::npos ||
      a.error.find("ends early") != std::string::npos) {
    size_t n = std::min(fast.size(), slow.size());
    ASSERT_TRUE(std::equal(fast.begin(), fast.begin() + n, slow.begin()));
    return;
  }
  ASSERT_EQ(fast.size(), slow.size());
  ASSERT_TRUE(fast == slow);
}

std::string CodeString(const HufCode& c) {
  std::string s;
  for (unsigned k = 0; k < c.length; ++k) s += char('0' + c.Bit(k));
  return s;
}

std::array<HufCode, 256> Codes(const HufCounts& counts) {
  HufTree tree;
  BuildHufTree(counts, tree);
  std::array<HufCode, 256> codes;
  ComputeHufCodes(tree, codes);
  return codes;
}

unsigned Longest(const HufCounts& counts) {
  unsigned longest = 0;
  for (auto& c : Codes(counts)) longest = std::max(longest, c.length);
  return longest;
}

std::vector<uint8_t> Random(size_t n, std::mt19937& rng, unsigned alphabet = 256) {
  std::vector<uint8_t> data(n);
  for (auto& b : data) b = uint8_t(rng() % alphabet);
  return data;
}

// Text-like bytes: a skewed distribution over many values.
std::vector<uint8_t> Skewed(size_t n, std::mt19937& rng) {
  std::geometric_distribution<int> geo(0.08);
  std::vector<uint8_t> data(n);
  for (auto& b : data) b = uint8_t(' ' + std::min(geo(rng), 200));
  return data;
}

// Counts 1, 1, 2, 3, 5, ... for symbols 0..n-1: a chain tree n-1 deep.
HufCounts Fibonacci(int n) {
  HufCounts counts{};
  uint32_t a = 1, b = 1;
  for (int s = 0; s < n; ++s) {
    counts[s] = a;
    uint32_t c = a + b; // wraps for n > 47, as the format's counts do
    a = b;
    b = c;
  }
  return counts;
}

std::vector<uint8_t> DataFor(const HufCounts& counts, std::mt19937& rng) {
  std::vector<uint8_t> data;
  for (int s = 0; s < 256; ++s) data.insert(data.end(), counts[s], uint8_t(s));
  std::shuffle(data.begin(), data.end(), rng);
  return data;
}

} // namespace

// ---- the code tree ----------------------------------------------------------

TEST(HufTree, TiesGiveTheWrittenCodes) {
  HufCounts counts{};
  counts[0] = 5, counts[1] = 5, counts[2] = 3;
  auto codes = Codes(counts);
  EXPECT_EQ(CodeString(codes[0]), "1");
  EXPECT_EQ(CodeString(codes[1]), "00");
  EXPECT_EQ(CodeString(codes[2]), "01");
  for (int s = 3; s < 256; ++s) EXPECT_EQ(codes[s].length, 0u);
}

TEST(HufTree, AbcCodes) {
  HufCounts counts{};
  counts['a'] = counts['b'] = counts['c'] = 1;
  auto codes = Codes(counts);
  EXPECT_EQ(CodeString(codes['a']), "1");
  EXPECT_EQ(CodeString(codes['b']), "00");
  EXPECT_EQ(CodeString(codes['c']), "01");
}

TEST(HufTree, FastSortGivesTheLiteralTree) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    HufCounts counts{};
    int kind = round % 5;
    for (auto& c : counts) {
      switch (kind) {
      case 0:
        c = rng() % 4;
        break; // many ties and zeros
      case 1:
        c = rng();
        break; // sums wrap at 32 bits
      case 2:
        c = rng() % 3 ? 0 : rng() % 1000;
        break; // sparse
      case 3:
        c = 0x80000000u + rng() % 3;
        break; // every merge wraps
      default:
        c = uint32_t(1) << (rng() % 32);
        break; // powers of two
      }
    }
    HufTree fast, literal;
    BuildHufTree(counts, fast);
    BuildHufTreeLiteral(counts, literal);
    ASSERT_EQ(fast.root, literal.root);
    ASSERT_EQ(fast.symbolCount, literal.symbolCount);
    for (int n = 0; n < fast.InternalCount(); ++n)
      ASSERT_EQ(fast.children[n], literal.children[n]) << round;
  }
}

TEST(HufTree, CountsSumIn64Bits) {
  HufCounts counts;
  counts.fill(0xFFFFFFFFu);
  HufTree tree;
  BuildHufTree(counts, tree);
  EXPECT_EQ(tree.total, 256ull * 0xFFFFFFFFull);
  EXPECT_EQ(tree.symbolCount, 256);
}

TEST(HufTree, CodesArePrefixFree) {
  std::mt19937 rng(11);
  for (int round = 0; round < 50; ++round) {
    HufCounts counts{};
    for (auto& c : counts) c = rng() % 3 ? rng() % 100000 : 0;
    auto codes = Codes(counts);
    std::vector<std::string> all;
    for (int s = 0; s < 256; ++s) {
      EXPECT_EQ(codes[s].length > 0, counts[s] > 0);
      if (codes[s].length) all.push_back(CodeString(codes[s]));
    }
    std::sort(all.begin(), all.end());
    for (size_t i = 1; i < all.size(); ++i) EXPECT_NE(all[i].rfind(all[i - 1], 0), 0u);
  }
}

TEST(HufTree, SkewedCountsGiveLongCodes) {
  EXPECT_EQ(Longest(Fibonacci(40)), 39u);
  // Every merge of two 2^31 wraps to 0 (or gives 2^31 again, which ties
  // and stays last): a chain of all 256 symbols, codes of up to 255 bits.
  HufCounts counts;
  counts.fill(0x80000000u);
  EXPECT_EQ(Longest(counts), 255u);
}

// ---- the encoder --------------------------------------------------------------

TEST(HufEncoder, AbcIsTheWrittenStream) {
  std::vector<uint8_t> data = {'a', 'b', 'c'};
  auto stream = Encode(data);
  ASSERT_EQ(stream.size(), 1028u);
  for (int i = 0; i < 1024; ++i)
    EXPECT_EQ(stream[i], (i == 97 * 4 || i == 98 * 4 || i == 99 * 4) ? 1 : 0) << i;
  EXPECT_EQ(stream[1024], 0x01);
  EXPECT_EQ(stream[1025], 0x00);
  EXPECT_EQ(stream[1026], 0x88);
  EXPECT_EQ(stream[1027], 0x05);
  ExpectRoundTrip(data);
}

TEST(HufEncoder, TiedCountsStream) {
  // 5 x 0, 5 x 1, 3 x 2 -> codes 1, 00, 01: 5 + 10 + 6 = 21 bits.
  std::vector<uint8_t> data = {0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 0, 1};
  auto stream = Encode(data);
  ASSERT_EQ(stream.size(), 1024u + 2 + 3 + 1);
  // 1 00 01 | 1 00 01 | 1 00 01 | 1 00 | 1 00 -> 10001100 01100011 00100 (000)
  EXPECT_EQ(stream[1026], 0x8C);
  EXPECT_EQ(stream[1027], 0x63);
  EXPECT_EQ(stream[1028], 0x20);
  EXPECT_EQ(stream.back(), 5);
  ExpectRoundTrip(data);
}

TEST(HufEncoder, NameField) {
  auto stream = Encode({'x', 'y'}, "HUF1A2.tmp");
  ASSERT_GT(stream.size(), 1025u + 11);
  EXPECT_EQ(stream[1024], 11);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&stream[1025])), "HUF1A2.tmp");
  ExpectDecodersAgree(stream);
  // The length is one byte: longer names are cut to 254 characters.
  auto longName = Encode({'x', 'y'}, std::string(400, 'n'));
  EXPECT_EQ(longName[1024], 255);
  EXPECT_EQ(longName[1025 + 254], 0);
  HufCounts xy{};
  xy['x'] = xy['y'] = 1;
  for (size_t length : {253, 254, 255, 400})
    EXPECT_EQ(Encode({'x', 'y'}, std::string(length, 'n')).size(),
              HufStreamLength(xy, std::string(length, 'n')))
        << length;
  std::vector<uint8_t> back;
  EXPECT_EQ(Decode(&HufDecodeStream, longName, back).status, HufDecodeResult::Ok);
}

TEST(HufEncoder, FewerThanTwoSymbolsHaveNoCodeBytes) {
  for (auto data :
       {std::vector<uint8_t>{}, std::vector<uint8_t>(1, 9), std::vector<uint8_t>(1000, 9)}) {
    auto stream = Encode(data);
    ASSERT_EQ(stream.size(), 1024u + 2 + 1);
    EXPECT_EQ(stream.back(), 0);
    ExpectRoundTrip(data);
  }
}

TEST(HufEncoder, LastByteWithOneValidBit) {
  std::mt19937 rng(5);
  int found = 0;
  for (int tries = 0; tries < 2000 && found < 20; ++tries) {
    auto data = Random(1 + rng() % 200, rng, 2 + rng() % 20);
    auto stream = Encode(data);
    if (stream.back() != 1) continue;
    ++found;
    // The 7 padding bits are zero and decode to nothing.
    EXPECT_EQ(stream[stream.size() - 2] & 0x7F, 0);
    ExpectRoundTrip(data);
  }
  EXPECT_EQ(found, 20);
}

TEST(HufEncoder, FullLastByteHasEightValidBits) {
  // Two symbols, one bit each: 8 bytes make exactly one code byte.
  std::vector<uint8_t> data = {1, 2, 1, 2, 2, 2, 1, 1};
  auto stream = Encode(data);
  ASSERT_EQ(stream.size(), 1024u + 2 + 1 + 1);
  EXPECT_EQ(stream.back(), 8);
  ExpectRoundTrip(data);
}

TEST(HufEncoder, WriteErrorIsReported) {
  struct FailingSink : ByteSink {
    bool Write(const void*, size_t) override { return false; }
  } sink;
  HufCounts counts{};
  std::vector<uint8_t> data(200000, 'a');
  data[5] = 'b';
  CountBytes(counts, data.data(), data.size());
  HufEncoder enc(counts, sink);
  bool ok = enc.Write(data.data(), data.size());
  ok = enc.Finish() && ok;
  EXPECT_FALSE(ok);
}

TEST(HufEncoder, CountBytesAdds) {
  HufCounts counts{};
  std::vector<uint8_t> data = {1, 1, 2, 255, 1, 0, 7};
  CountBytes(counts, data.data(), data.size());
  CountBytes(counts, data.data(), 3);
  EXPECT_EQ(counts[1], 5u);
  EXPECT_EQ(counts[2], 2u);
  EXPECT_EQ(counts[255], 1u);
  EXPECT_EQ(counts[0], 1u);
  EXPECT_EQ(counts[7], 1u);
  EXPECT_EQ(counts[3], 0u);
}

// ---- round trips ----------------------------------------------------------------

TEST(HufRoundTrip, EverySmallSize) {
  std::mt19937 rng(1);
  for (size_t n = 0; n <= 400; ++n) {
    ExpectRoundTrip(Random(n, rng));
    ExpectRoundTrip(Random(n, rng, 3));
    ExpectRoundTrip(Skewed(n, rng));
  }
}

TEST(HufRoundTrip, LargeStreams) {
  std::mt19937 rng(2);
  // Sizes around the decoder's block and piece boundaries, and larger.
  for (size_t n : {size_t(8191), size_t(65536), size_t(65537), size_t(300000), size_t(1) << 20,
                   size_t(3) << 20})
    ExpectRoundTrip(Skewed(n, rng));
  ExpectRoundTrip(Random(size_t(2) << 20, rng));
  // Mixed regions: text, random, runs of zeros.
  std::vector<uint8_t> mixed;
  for (int part = 0; part < 40; ++part) {
    std::vector<uint8_t> piece;
    switch (part % 3) {
    case 0:
      piece = Skewed(rng() % 100000, rng);
      break;
    case 1:
      piece = Random(rng() % 100000, rng);
      break;
    default:
      piece.assign(rng() % 100000, 0);
      break;
    }
    mixed.insert(mixed.end(), piece.begin(), piece.end());
  }
  ExpectRoundTrip(mixed);
}

TEST(HufRoundTrip, OneRepeatedByte) {
  ExpectRoundTrip({});
  ExpectRoundTrip({0});
  ExpectRoundTrip(std::vector<uint8_t>(3000000, 0xAB));
}

TEST(HufRoundTrip, TwoSymbols) {
  std::mt19937 rng(3);
  for (size_t n : {2, 3, 17, 1000, 200000}) {
    auto data = Random(n, rng, 2);
    data[0] = 0, data[1] = 1;
    ExpectRoundTrip(data);
  }
  // One very rare symbol among many of the other.
  std::vector<uint8_t> rare(500000, 'x');
  rare[123456] = 'y';
  ExpectRoundTrip(rare);
}

TEST(HufRoundTrip, All256) {
  std::mt19937 rng(4);
  std::vector<uint8_t> data(256);
  for (int i = 0; i < 256; ++i) data[i] = uint8_t(i);
  ExpectRoundTrip(data);
  auto more = Random(700000, rng);
  more.insert(more.end(), data.begin(), data.end());
  ExpectRoundTrip(more);
}

TEST(HufRoundTrip, SkewedCountsWithLongCodes) {
  std::mt19937 rng(6);
  // Fibonacci counts up to 832040: a chain 29 deep, codes far longer than
  // the decoder's root table.
  HufCounts counts = Fibonacci(30);
  ASSERT_EQ(Longest(counts), 29u);
  auto data = DataFor(counts, rng);
  ExpectRoundTrip(data);
  // The same with the rare symbols bunched together.
  std::sort(data.begin(), data.end());
  ExpectRoundTrip(data);
}

// Codes of over 200 bits: counts that large cannot be matched by test data,
// so the stream carries a short message under counts that promise more. Both
// decoders must write exactly the message and call the stream damaged.
TEST(HufRoundTrip, CodesOverTwoHundredBits) {
  std::mt19937 rng(8);
  HufCounts counts;
  counts.fill(0x80000000u);
  auto codes = Codes(counts);
  std::vector<uint8_t> message;
  for (int i = 0; i < 30000; ++i) {
    // Mostly long codes, some short ones between them.
    message.push_back(uint8_t(i % 3 ? rng() % 256 : 200 + rng() % 56));
  }
  for (int s : {0, 1, 2, 3}) message.push_back(uint8_t(s));
  unsigned longest = 0;
  for (uint8_t b : message) longest = std::max(longest, codes[b].length);
  ASSERT_GE(longest, 200u);
  auto stream = EncodeWith(counts, message, {}, false);
  EXPECT_GT(HufStreamLength(counts), stream.size()); // the promised rest is missing
  for (Decoder dec : kDecoders) {
    std::vector<uint8_t> back;
    auto r = Decode(dec, stream, back);
    EXPECT_EQ(r.status, HufDecodeResult::Damaged);
    ASSERT_TRUE(back == message);
  }
}

// ---- damaged streams --------------------------------------------------------------

// The stream must hold its counts, its name field and the final byte behind
// them. The length given is what counts, not what the source holds: a source
// with more bytes behind the stream (the trailer, in a program file) must not
// let a stream too short for its header be read on.
TEST(HufDamaged, ShortHeader) {
  auto good = Encode({'a', 'b', 'c'}, "name.tmp");
  const size_t header = 1024 + 1 + 9; // counts, the name's length byte, name and NUL
  std::vector<uint8_t> longer = good;
  longer.resize(good.size() + (64 << 10), 0x55);
  for (size_t n : {size_t(0), size_t(1), size_t(1023), size_t(1024), size_t(1025), size_t(1030),
                   header - 1, header})
    for (bool cut : {false, true}) {
      const std::vector<uint8_t> source =
          cut ? std::vector<uint8_t>(good.begin(), good.begin() + n) : longer;
      for (Decoder dec : kDecoders) {
        MemorySource src(source.data(), source.size());
        VectorSink sink;
        auto r = dec(src, n, sink, {});
        EXPECT_EQ(r.status, HufDecodeResult::Damaged) << n;
        EXPECT_EQ(r.error, "damaged stream: stream of " + std::to_string(n) +
                               " bytes is too short for its header")
            << n << (cut ? " cut" : "");
        EXPECT_TRUE(sink.bytes.empty());
      }
    }
  // One byte more holds the final byte: the header is whole, the code is missing.
  for (Decoder dec : kDecoders) {
    MemorySource src(longer.data(), longer.size());
    VectorSink sink;
    auto r = dec(src, header + 1, sink, {});
    EXPECT_EQ(r.status, HufDecodeResult::Damaged);
    EXPECT_EQ(r.error.find("header"), std::string::npos) << r.error;
    EXPECT_TRUE(sink.bytes.empty());
  }
}

TEST(HufDamaged, MissingCodeBytes) {
  std::mt19937 rng(9);
  auto data = Skewed(400000, rng);
  auto good = Encode(data);
  for (size_t drop : {1, 2, 3, 100, 5000, 100000}) {
    std::vector<uint8_t> cut(good.begin(), good.end() - drop);
    cut.back() = 8; // a plausible final byte
    ExpectDecodersAgree(cut);
    std::vector<uint8_t> out;
    auto r = Decode(&HufDecodeStream, cut, out);
    EXPECT_EQ(r.status, HufDecodeResult::Damaged) << drop;
    EXPECT_LT(out.size(), data.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
  }
  // No code bytes at all.
  std::vector<uint8_t> bare(good.begin(), good.begin() + 1026);
  bare.push_back(0);
  ExpectDecodersAgree(bare);
  std::vector<uint8_t> out;
  EXPECT_EQ(Decode(&HufDecodeStream, bare, out).status, HufDecodeResult::Damaged);
}

TEST(HufDamaged, ValidBitCountAboveEight) {
  auto good = Encode({'a', 'b', 'c', 'a'});
  for (uint8_t v : {9, 17, 255}) {
    auto bad = good;
    bad.back() = v;
    for (Decoder dec : kDecoders) {
      std::vector<uint8_t> out;
      auto r = Decode(dec, bad, out);
      EXPECT_EQ(r.status, HufDecodeResult::Damaged);
      EXPECT_NE(r.error.find("valid bits"), std::string::npos) << r.error;
    }
  }
  // Also when the counts have no code.
  auto single = Encode({'a', 'a'});
  single.back() = 9;
  std::vector<uint8_t> out;
  EXPECT_EQ(Decode(&HufDecodeStream, single, out).status, HufDecodeResult::Damaged);
  EXPECT_TRUE(out.empty());
}

TEST(HufDamaged, DecodedLengthDiffersFromCounts) {
  std::mt19937 rng(10);
  auto data = Skewed(100000, rng);
  auto good = Encode(data);
  // Counts that promise more than the code holds.
  auto more = good;
  more[4 * ' '] += 1;
  // Counts that promise less: the decoder must stop at their sum.
  auto less = good;
  // Lower a count without changing the tree much: the byte value with the
  // largest count loses one.
  HufCounts counts{};
  CountBytes(counts, data.data(), data.size());
  int top = int(std::max_element(counts.begin(), counts.end()) - counts.begin());
  less[4 * top] -= 1;
  for (auto* bad : {&more, &less}) {
    ExpectDecodersAgree(*bad);
    for (Decoder dec : kDecoders) {
      std::vector<uint8_t> out;
      auto r = Decode(dec, *bad, out);
      EXPECT_EQ(r.status, HufDecodeResult::Damaged);
      HufCounts c{};
      ParseHufCounts(bad->data(), c);
      uint64_t sum = 0;
      for (auto v : c) sum += v;
      EXPECT_LE(out.size(), sum);
    }
  }
}

TEST(HufDamaged, ShortSource) {
  // The source ends before the length it was said to have.
  auto good = Encode({'a', 'b', 'c', 'd', 'a'});
  for (Decoder dec : kDecoders) {
    MemorySource src(good.data(), good.size() - 2);
    VectorSink sink;
    auto r = dec(src, good.size(), sink, {});
    EXPECT_EQ(r.status, HufDecodeResult::Damaged);
  }
}

TEST(HufDamaged, RandomCorruptionNeverCrashes) {
  std::mt19937 rng(12);
  auto data = Skewed(200000, rng);
  auto good = Encode(data);
  for (int round = 0; round < 60; ++round) {
    auto bad = good;
    int edits = 1 + rng() % 8;
    for (int e = 0; e < edits; ++e) {
      size_t at = round % 2 ? rng() % 1024 : rng() % bad.size(); // counts or anywhere
      bad[at] = uint8_t(rng());
    }
    if (round % 5 == 0) bad.resize(rng() % bad.size());
    ExpectDecodersAgree(bad);
  }
}

TEST(HufDamaged, GarbageCodeBytesDecodeAlike) {
  // Any bits are a sequence of codes: both decoders must read them alike,
  // including the fast decoder's pieces that start inside codes.
  std::mt19937 rng(13);
  for (int round = 0; round < 40; ++round) {
    HufCounts counts{};
    int kind = round % 4;
    for (int s = 0; s < 256; ++s) {
      switch (kind) {
      case 0:
        counts[s] = rng() % 1000;
        break;
      case 1:
        counts[s] = s < 3 ? 1 + rng() % 5 : 0;
        break;
      case 2:
        counts[s] = uint32_t(1) << (rng() % 28);
        break;
      default:
        counts[s] = rng() % 4 ? 0 : rng();
        break;
      }
    }
    counts[round % 256] += 1;
    counts[(round + 1) % 256] += 1;
    std::vector<uint8_t> stream(1024);
    for (int s = 0; s < 256; ++s)
      for (int k = 0; k < 4; ++k) stream[4 * s + k] = uint8_t(counts[s] >> (8 * k));
    stream.push_back(1);
    stream.push_back(0);
    size_t n = round < 20 ? rng() % 5000 : 100000 + rng() % 600000;
    for (size_t i = 0; i < n; ++i) stream.push_back(uint8_t(rng()));
    stream.push_back(uint8_t(rng() % 9));
    ExpectDecodersAgree(stream);
  }
}

TEST(HufDamaged, WriteErrorStopsDecoding) {
  struct FailAfter : ByteSink {
    size_t left;
    explicit FailAfter(size_t n) : left(n) {}
    bool Write(const void*, size_t n) override {
      if (n > left) return false;
      left -= n;
      return true;
    }
  };
  std::mt19937 rng(14);
  auto stream = Encode(Skewed(1 << 20, rng));
  for (Decoder dec : kDecoders) {
    MemorySource src(stream.data(), stream.size());
    FailAfter sink(100000);
    auto r = dec(src, stream.size(), sink, {});
    EXPECT_EQ(r.status, HufDecodeResult::WriteError);
    EXPECT_LE(r.written, 100000u);
  }
  auto single = Encode(std::vector<uint8_t>(500000, 1));
  MemorySource src(single.data(), single.size());
  FailAfter sink(1000);
  EXPECT_EQ(HufDecodeStream(src, single.size(), sink, {}).status, HufDecodeResult::WriteError);
}

// ---- progress and cancel -----------------------------------------------------------

TEST(HufProgress, SteadyCadenceAndFinalCall) {
  std::mt19937 rng(15);
  auto data = Skewed(3 << 20, rng);
  auto stream = Encode(data);
  for (Decoder dec : kDecoders) {
    std::vector<uint64_t> calls;
    std::vector<uint8_t> out;
    auto r = Decode(dec, stream, out, [&](uint64_t consumed) {
      calls.push_back(consumed);
      return true;
    });
    ASSERT_EQ(r.status, HufDecodeResult::Ok);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), stream.size());
    EXPECT_GE(calls.size(), stream.size() / (64 * 1024));
    for (size_t i = 1; i < calls.size(); ++i) {
      EXPECT_GE(calls[i], calls[i - 1]);
      EXPECT_LE(calls[i] - calls[i - 1], 64u * 1024 + 2048);
    }
  }
}

TEST(HufProgress, CancelStopsEarly) {
  std::mt19937 rng(16);
  auto data = Skewed(3 << 20, rng);
  auto stream = Encode(data);
  for (Decoder dec : kDecoders) {
    int calls = 0;
    std::vector<uint8_t> out;
    auto r = Decode(dec, stream, out, [&](uint64_t) { return ++calls < 3; });
    EXPECT_EQ(r.status, HufDecodeResult::Cancelled);
    EXPECT_EQ(calls, 3);
    EXPECT_LT(out.size(), data.size() / 2);
    // What was written is the true beginning.
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
  }
}

TEST(HufProgress, CancelAtTheEnd) {
  auto stream = Encode({'a', 'b'});
  for (Decoder dec : kDecoders) {
    std::vector<uint8_t> out;
    auto r = Decode(dec, stream, out, [](uint64_t) { return false; });
    EXPECT_EQ(r.status, HufDecodeResult::Cancelled);
  }
}

TEST(HufEncoder, DataThatDoesNotMatchTheCounts) {
  std::vector<uint8_t> data = {'a', 'b', 'a'};
  HufCounts counts{};
  CountBytes(counts, data.data(), data.size());
  {
    // A byte the counts do not have.
    VectorSink sink;
    HufEncoder enc(counts, sink);
    uint8_t bad[] = {'a', 'c'};
    EXPECT_FALSE(enc.Write(bad, 2));
    EXPECT_FALSE(enc.Finish());
  }
  {
    // Fewer bytes than counted.
    VectorSink sink;
    HufEncoder enc(counts, sink);
    EXPECT_TRUE(enc.Write(data.data(), 2));
    EXPECT_FALSE(enc.Finish());
  }
  {
    // More bytes than counted.
    VectorSink sink;
    HufEncoder enc(counts, sink);
    EXPECT_TRUE(enc.Write(data.data(), 3));
    EXPECT_TRUE(enc.Write(data.data(), 1));
    EXPECT_FALSE(enc.Finish());
  }
  {
    // Without a code: only the counted byte value.
    HufCounts one{};
    one['x'] = 2;
    VectorSink sink;
    HufEncoder enc(one, sink);
    EXPECT_FALSE(enc.Write("xy", 2));
  }
  {
    HufCounts none{};
    VectorSink sink;
    HufEncoder enc(none, sink);
    EXPECT_TRUE(enc.Write("", 0));
    EXPECT_FALSE(enc.Write("x", 1));
  }
}

TEST(HufRoundTrip, CodesThatNeverResynchronise) {
  // Eight symbols of equal counts: every code is 3 bits, so decoding from a
  // byte offset that is not a multiple of 3 bytes never meets a true code
  // boundary; the decoder must fall back to decoding those parts itself.
  std::mt19937 rng(17);
  HufCounts counts{};
  std::vector<uint8_t> data;
  for (int s = 0; s < 8; ++s) {
    counts[s] = 1 << 17;
    data.insert(data.end(), 1 << 17, uint8_t(s));
  }
  std::shuffle(data.begin(), data.end(), rng);
  auto codes = Codes(counts);
  for (int s = 0; s < 8; ++s) EXPECT_EQ(codes[s].length, 3u);
  ExpectRoundTrip(data);
  // Two-bit codes: parts start on byte boundaries and are always in step.
  auto four = Random(1 << 20, rng, 4);
  ExpectRoundTrip(four);
}

// ---- findings of the fuzzers, kept as they were found --------------------------

// fuzz_huf_decoder: a stream whose counts hold one byte value 2^30 times
// (no code; its 36 code bytes are ignored), decoded into a sink that fails
// after 64 MiB. The decoder must report the write error and count as written
// only what the sink accepted.
TEST(FuzzFinding, OneSymbolOfAGibibyteIntoAFailingSink) {
  std::vector<uint8_t> stream(1024, 0);
  stream[3] = 0x40; // count of byte 0: 1 << 30
  stream.push_back(1);
  stream.push_back(0);
  const uint8_t code[] = {0x00, 0x00, 0x00, 0x00, 0x81, 0x03, 0x40, 0x01, 0x03, 0x03, 0x01, 0x03,
                          0x01, 0x00, 0x03, 0x02, 0xfd, 0xff, 0x48, 0x00, 0x00, 0x00, 0x00, 0x00,
                          0x00, 0x01, 0x00, 0x00, 0x00, 0x2a, 0x02, 0x02, 0x02, 0x02, 0x38, 0x00};
  stream.insert(stream.end(), std::begin(code), std::end(code));
  struct CappedSink : ByteSink {
    uint64_t accepted = 0;
    bool Write(const void*, size_t n) override {
      if (accepted + n > (64u << 20)) return false;
      accepted += n;
      return true;
    }
  };
  for (Decoder dec : kDecoders) {
    MemorySource src(stream.data(), stream.size());
    CappedSink sink;
    auto r = dec(src, stream.size(), sink, {});
    EXPECT_EQ(r.status, HufDecodeResult::WriteError);
    EXPECT_EQ(r.written, sink.accepted);
  }
  // Into a sink that takes it all: exactly 2^30 bytes.
  struct CountingSink : ByteSink {
    uint64_t bytes = 0;
    bool ok = true;
    bool Write(const void* data, size_t n) override {
      auto* p = static_cast<const uint8_t*>(data);
      ok = ok && std::all_of(p, p + std::min<size_t>(n, 64), [](uint8_t b) { return b == 0; });
      bytes += n;
      return true;
    }
  } all;
  MemorySource src(stream.data(), stream.size());
  auto r = HufDecodeStream(src, stream.size(), all, {});
  EXPECT_EQ(r.status, HufDecodeResult::Ok);
  EXPECT_EQ(all.bytes, uint64_t(1) << 30);
  EXPECT_TRUE(all.ok);
}
