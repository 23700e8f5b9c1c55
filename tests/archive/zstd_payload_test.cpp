// The zstd payload through the decoder interface the engine drives: round
// trips in any buffer sizes, and every kind of damaged frame refused.
#include <gtest/gtest.h>

#include <random>
#include <string>

#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include "archive/codec/decode_payload.h"
#include "archive/codec/zstd_decoder.h"
#include "archive/codec/zstd_encoder.h"
#include "archive/huf/huf_encoder.h"

using namespace archive;

namespace {

using Bytes = std::vector<uint8_t>;

// Text-like runs mixed with noise: compressible, with matches far apart.
Bytes Sample(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes out;
  out.reserve(n);
  const std::string words[] = {"Datei ", "Ordner ", "Setup ", "Installation ", "\r\n", "0x7F "};
  while (out.size() < n) {
    if (rng() % 8 == 0) {
      for (int i = 0; i < 40 && out.size() < n; ++i) out.push_back(uint8_t(rng()));
    } else {
      const std::string& w = words[rng() % 6];
      for (char c : w)
        if (out.size() < n) out.push_back(uint8_t(c));
    }
  }
  return out;
}

Bytes Frame(const Bytes& data, int level = 3, unsigned windowLog = 20) {
  VectorSink sink;
  ZstdEncoder encoder(sink, level, windowLog, data.size());
  EXPECT_TRUE(encoder.Write(data.data(), data.size())) << encoder.Error();
  EXPECT_TRUE(encoder.Finish()) << encoder.Error();
  return sink.bytes;
}

// A frame made by the library directly, with parameters of the test's choice.
Bytes RawFrame(const Bytes& data, bool checksum, bool contentSize, int windowLog = 0) {
  ZSTD_CCtx* cctx = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, checksum);
  ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, contentSize);
  if (windowLog) ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, windowLog);
  Bytes out(ZSTD_compressBound(data.size()));
  size_t n = ZSTD_compress2(cctx, out.data(), out.size(), data.data(), data.size());
  ZSTD_freeCCtx(cctx);
  EXPECT_FALSE(ZSTD_isError(n));
  out.resize(n);
  return out;
}

const CodecBlock kZstd{PayloadCodec::Zstd, 19, 25};

DecodeResult Decode(const Bytes& frame, uint64_t contentSize, Bytes& out,
                    const CodecBlock& codec = kZstd) {
  MemorySource source(frame.data(), frame.size());
  VectorSink sink;
  DecodeResult r = DecodePayload(codec, source, frame.size(), contentSize, sink);
  out = sink.bytes;
  return r;
}

Bytes HufStream(const Bytes& data) {
  HufCounts counts{};
  CountBytes(counts, data.data(), data.size());
  VectorSink sink;
  HufEncoder encoder(counts, sink);
  encoder.Write(data.data(), data.size());
  encoder.Finish();
  return sink.bytes;
}

// Drives a decoder by hand with input and output buffers of the given sizes.
PayloadDecoder::Status DriveByHand(PayloadDecoder& decoder, const Bytes& stream, size_t inStep,
                                   size_t outStep, Bytes& out) {
  Bytes room(outStep);
  size_t fed = 0;
  for (int idle = 0; idle < 3;) {
    size_t n = std::min(inStep, stream.size() - fed);
    DecodeInput in{stream.data() + fed, n, 0};
    DecodeOutput o{room.data(), room.size(), 0};
    PayloadDecoder::Status s = decoder.Decode(in, o);
    fed += in.pos;
    out.insert(out.end(), room.begin(), room.begin() + long(o.pos));
    if (s != PayloadDecoder::Status::Working) return s;
    idle = (in.pos == 0 && o.pos == 0) ? idle + 1 : 0;
  }
  return PayloadDecoder::Status::Working;
}

} // namespace

TEST(ZstdPayload, RoundTripsThroughTheDecoderInterface) {
  for (size_t n : {size_t(0), size_t(1), size_t(100'000), size_t(3'000'000)}) {
    const Bytes data = Sample(n, unsigned(n));
    const Bytes frame = Frame(data);
    Bytes back;
    DecodeResult r = Decode(frame, data.size(), back);
    ASSERT_EQ(r.status, DecodeResult::Ok) << n << ": " << r.error;
    EXPECT_EQ(r.written, data.size());
    EXPECT_TRUE(back == data) << n;
    if (n > 1000) {
      EXPECT_LT(frame.size(), data.size() * 3 / 4);
    }
  }
}

// Both codecs take whatever buffers the caller has: one byte in, a few out.
TEST(ZstdPayload, AnyBufferSizesGiveTheSameBytes) {
  const Bytes data = Sample(300'000, 9);
  const Bytes zstd = Frame(data);
  const Bytes huf = HufStream(data);
  for (auto [inStep, outStep] : {std::pair<size_t, size_t>{1, 7}, {5, 1}, {4096, 3}, {1, 65536}}) {
    for (bool isZstd : {true, false}) {
      const Bytes& stream = isZstd ? zstd : huf;
      auto decoder = MakePayloadDecoder(isZstd ? kZstd : CodecBlock{}, stream.size(), data.size());
      Bytes out;
      ASSERT_EQ(DriveByHand(*decoder, stream, inStep, outStep, out), PayloadDecoder::Status::Done)
          << (isZstd ? "zstd " : "huf ") << inStep << "/" << outStep << ": " << decoder->Error();
      EXPECT_TRUE(out == data) << inStep << "/" << outStep;
    }
  }
}

TEST(ZstdPayload, WindowCoversThePayloadUpToItsLimit) {
  EXPECT_EQ(ZstdWindowLog(0, 25), 10u);
  EXPECT_EQ(ZstdWindowLog(1024, 25), 10u);
  EXPECT_EQ(ZstdWindowLog(1025, 25), 11u);
  EXPECT_EQ(ZstdWindowLog(5u << 20, 25), 23u);
  EXPECT_EQ(ZstdWindowLog(uint64_t(1) << 35, 25), 25u);
  EXPECT_EQ(ZstdWindowLog(uint64_t(1) << 35, 27), 27u);
  // The frame carries the window the encoder was given.
  const Bytes data = Sample(5000, 1);
  ZSTD_frameHeader header;
  const Bytes frame = Frame(data, 19, ZstdWindowLog(data.size(), 25));
  ASSERT_EQ(ZSTD_getFrameHeader(&header, frame.data(), frame.size()), 0u);
  EXPECT_EQ(header.frameContentSize, data.size());
  EXPECT_TRUE(header.checksumFlag);
  EXPECT_LE(header.windowSize, 8192u);
}

// The binary-tree levels get a tree that spans their whole window (level 19:
// 32 MiB, not its own 8 MiB), up to the cap; the others keep their own.
TEST(ZstdPayload, TreeLevelsSpanTheirWholeWindow) {
  const uint64_t big = uint64_t(100) << 20;
  EXPECT_EQ(ZstdChainLog(19, kZstdDefaultWindowLog, big), 26);
  EXPECT_EQ(ZstdChainLog(13, kZstdDefaultWindowLog, big), 26);
  EXPECT_EQ(ZstdChainLog(kZstdMaxLevel, kZstdMaxWindowLog, big), 27); // its own, above the cap
  EXPECT_EQ(ZstdChainLog(3, kZstdDefaultWindowLog, big), 16);         // no tree: the level's own
  EXPECT_EQ(ZstdChainLog(19, 12, 4096), 13);                          // a small payload's window
  // The library takes the enlarged tree, and the frame decodes.
  const Bytes data = Sample(300'000, 5);
  const Bytes frame = Frame(data, 19, kZstdDefaultWindowLog);
  Bytes back;
  ASSERT_EQ(Decode(frame, data.size(), back).status, DecodeResult::Ok);
  EXPECT_TRUE(back == data);
}

// Every fault is refused; those the header shows before a byte is decoded.
TEST(ZstdPayload, DamagedFramesAreRefused) {
  const Bytes data = Sample(400'000, 3);
  const Bytes good = Frame(data);
  auto expectDamaged = [&](const Bytes& frame, uint64_t contentSize, const std::string& what,
                           const std::string& says, bool nothingWritten) {
    Bytes out;
    DecodeResult r = Decode(frame, contentSize, out);
    EXPECT_EQ(r.status, DecodeResult::Damaged) << what;
    EXPECT_NE(r.error.find(says), std::string::npos) << what << ": " << r.error;
    if (nothingWritten) {
      EXPECT_EQ(r.written, 0u) << what;
    }
  };

  for (size_t cut : {size_t(1), size_t(4), good.size() / 2, good.size() - 5})
    expectDamaged(Bytes(good.begin(), good.end() - long(cut)), data.size(),
                  "cut short by " + std::to_string(cut), "damaged stream", cut > good.size() / 2);

  // A flipped bit anywhere in the blocks or the checksum: never Ok.
  std::mt19937 rng(11);
  for (int i = 0; i < 40; ++i) {
    Bytes bad = good;
    size_t at = 20 + rng() % (bad.size() - 20);
    bad[at] ^= uint8_t(1u << (rng() % 8));
    Bytes out;
    EXPECT_EQ(Decode(bad, data.size(), out).status, DecodeResult::Damaged) << "flip at " << at;
  }
  Bytes wrongSum = good;
  wrongSum.back() ^= 0x40;
  expectDamaged(wrongSum, data.size(), "checksum", "checksum", false);

  expectDamaged(good, data.size() + 1, "content size above", "the entries hold", true);
  expectDamaged(good, data.size() - 1, "content size below", "the entries hold", true);

  Bytes trailing = good;
  trailing.push_back(0);
  expectDamaged(trailing, data.size(), "a byte behind", "behind the end", false);
  Bytes twice = good;
  twice.insert(twice.end(), good.begin(), good.end());
  expectDamaged(twice, data.size(), "two frames", "behind the end", false);

  expectDamaged(RawFrame(data, false, true), data.size(), "no checksum", "without a checksum",
                true);
  expectDamaged(RawFrame(data, true, false), data.size(), "no content size", "content size", true);
  expectDamaged(HufStream(data), data.size(), "a HUF stream", "no zstd frame", true);
  Bytes skippable = {0x50, 0x2A, 0x4D, 0x18, 4, 0, 0, 0, 1, 2, 3, 4};
  skippable.insert(skippable.end(), good.begin(), good.end());
  expectDamaged(skippable, data.size(), "a skippable frame first", "no zstd frame", true);
}

// The window is refused from the header alone: its descriptor says 256 MiB.
TEST(ZstdPayload, WindowAbove128MiBIsRefused) {
  const Bytes data = Sample(5000, 4);
  Bytes frame = RawFrame(data, true, true, 10); // 1 KiB window: not a single segment
  ZSTD_frameHeader header;
  ASSERT_EQ(ZSTD_getFrameHeader(&header, frame.data(), frame.size()), 0u);
  ASSERT_EQ(frame[4] & 0x20, 0) << "the frame has a window descriptor";
  Bytes out;
  ASSERT_EQ(Decode(frame, data.size(), out).status, DecodeResult::Ok);

  frame[5] = uint8_t((28 - 10) << 3); // exponent: 2^28
  ASSERT_EQ(ZSTD_getFrameHeader(&header, frame.data(), frame.size()), 0u);
  EXPECT_EQ(header.windowSize, uint64_t(1) << 28);
  DecodeResult r = Decode(frame, data.size(), out);
  EXPECT_EQ(r.status, DecodeResult::Damaged);
  EXPECT_NE(r.error.find("128 MiB"), std::string::npos) << r.error;
  EXPECT_EQ(r.written, 0u);

  frame[5] = uint8_t((27 - 10) << 3); // 128 MiB: the largest taken
  EXPECT_EQ(Decode(frame, data.size(), out).status, DecodeResult::Ok);
}

TEST(ZstdPayload, CancelStopsBetweenBlocks) {
  const Bytes data = Sample(2'000'000, 5);
  const Bytes frame = RawFrame(data, true, true); // level 3: several input blocks
  ASSERT_GT(frame.size(), 2 * kDecodeInputBlock);
  MemorySource source(frame.data(), frame.size());
  VectorSink sink;
  int calls = 0;
  DecodeResult r = DecodePayload(kZstd, source, frame.size(), data.size(), sink,
                                 [&](uint64_t done) { return ++calls < 2 && done < frame.size(); });
  EXPECT_EQ(r.status, DecodeResult::Cancelled);
  EXPECT_LT(sink.bytes.size(), data.size());
}

// FuzzFinding: a HUF stream whose decoded bytes all fit the caller's buffer
// left the spill buffer empty, and draining it copied from a null pointer
// (undefined behaviour that the sanitizer builds report).
TEST(ZstdPayload, FuzzFindingHufStreamWithNothingSpilled) {
  const Bytes data = {'H', 'a', 'l', 'l', 'o', ' ', 'W', 'e', 'l', 't'};
  const Bytes stream = HufStream(data);
  Bytes back;
  DecodeResult r = Decode(stream, data.size(), back, CodecBlock{});
  ASSERT_EQ(r.status, DecodeResult::Ok) << r.error;
  EXPECT_TRUE(back == data);
}

// FuzzFinding (32-bit run): a frame with one byte changed whose sequence
// offset points far before the output; libzstd's decoder forms the match
// pointer before it checks it. The frame must be refused.
TEST(ZstdPayload, FuzzFindingOffsetBeforeTheOutput) {
  Bytes data = {0x1e, 0x1e, 0x1e, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x28, 0xff, 0xff, 0xff};
  data.insert(data.end(), 12, 0x6f);
  data.insert(data.end(), {0x20, 0x51});
  Bytes frame = Frame(data, 1, 17);
  frame[0x1e1e8dd7u % frame.size()] ^= 0x1f;
  Bytes out;
  DecodeResult r = Decode(frame, data.size(), out);
  if (r.status == DecodeResult::Ok) {
    EXPECT_TRUE(out == data);
  } else {
    EXPECT_EQ(r.status, DecodeResult::Damaged);
  }
}
