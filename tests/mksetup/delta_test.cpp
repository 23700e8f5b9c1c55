// Deltas of changed files: what the encoder makes decodes back to the new
// file against the old one and against nothing else, and `mksetup diff`
// carries a delta only where it is smaller.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive/archive_extract.h"
#include "archive/codec/zstd_delta_decoder.h"
#include "archive/common/sha256.h"
#include "delta_encoder.h"
#include "test_files.h"

using namespace mksetup_test;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

// A real Windows program file of this machine (Wine's), else a generated
// one with the same mix of code-like and table-like bytes.
Bytes RealProgram() {
  const char* path = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/cabinet.dll";
  std::string bytes = ReadFile(path);
  if (bytes.size() > 100000) return Bytes(bytes.begin(), bytes.end());
  std::mt19937 random(7);
  Bytes b(400000);
  for (size_t i = 0; i < b.size(); ++i)
    b[i] = i % 4096 < 1024 ? uint8_t(i / 7) : uint8_t(random() % 40);
  return b;
}

Bytes Random(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  Bytes b(n);
  for (auto& c : b) c = uint8_t(random());
  return b;
}

archive::DeltaRecord RecordFor(const Bytes& reference, const Bytes& result) {
  archive::DeltaRecord r;
  r.referenceSize = reference.size();
  r.referenceHash = archive::Sha256::Of(reference.data(), reference.size());
  r.resultSize = result.size();
  r.resultHash = archive::Sha256::Of(result.data(), result.size());
  return r;
}

// Encodes, decodes in one piece and in small ones, and returns the delta's size.
size_t RoundTrip(const Bytes& reference, const Bytes& result) {
  std::string error;
  Bytes frame = mksetup::EncodeDelta(reference, result, error);
  EXPECT_FALSE(frame.empty()) << error;
  const archive::DeltaRecord record = RecordFor(reference, result);
  Bytes back;
  EXPECT_TRUE(archive::DecodeDelta(record, reference, frame, back, error)) << error;
  EXPECT_TRUE(back == result);

  archive::VectorSink sink;
  archive::DeltaDecoder decoder(record, reference.data(), reference.size(), &sink, true);
  for (size_t at = 0; at < frame.size(); at += 777)
    EXPECT_TRUE(decoder.Write(frame.data() + at, std::min<size_t>(777, frame.size() - at)));
  EXPECT_TRUE(decoder.Finish()) << decoder.Error();
  EXPECT_TRUE(sink.bytes == result);
  return frame.size();
}

} // namespace

TEST(Delta, RoundTripsOnARealProgramWithTypicalEdits) {
  const Bytes old = RealProgram();
  Bytes patched = old; // a few bytes changed in two places, as a fixed function
  for (size_t i = 0; i < 40; ++i) patched[old.size() / 3 + i] ^= 0x5A;
  patched[old.size() - 100] ^= 1;
  Bytes inserted = old; // 3000 new bytes near the start: every offset behind moves
  Bytes block = Random(3000, 1);
  inserted.insert(inserted.begin() + 1024, block.begin(), block.end());
  Bytes shrunk = old; // a section dropped
  shrunk.erase(shrunk.begin() + old.size() / 2, shrunk.begin() + old.size() / 2 + old.size() / 5);

  std::string error;
  const size_t whole = mksetup::CompressWhole(old, error).size();
  for (const Bytes* edited : {&patched, &inserted, &shrunk}) {
    const size_t delta = RoundTrip(old, *edited);
    EXPECT_LT(delta, whole / 20) << "delta " << delta << ", whole " << whole;
  }
}

TEST(Delta, RoundTripsAgainstAnEmptyReferenceAndToAnEmptyResult) {
  const Bytes text(50000, 'x');
  RoundTrip({}, text);
  RoundTrip(text, {});
  RoundTrip({}, {});
}

TEST(Delta, AReferenceThatDiffersByOneByteOrInSizeIsRefused) {
  const Bytes old = RealProgram();
  Bytes edited = old;
  edited[5000] ^= 0xFF;
  std::string error;
  const Bytes frame = mksetup::EncodeDelta(old, edited, error);
  const archive::DeltaRecord record = RecordFor(old, edited);
  Bytes wrongByte = old;
  wrongByte[old.size() / 2] ^= 1;
  Bytes shorter(old.begin(), old.end() - 1);
  Bytes longer = old;
  longer.push_back(0);
  for (const Bytes* reference : {&wrongByte, &shorter, &longer}) {
    // The reference check refuses it before any decoding...
    EXPECT_FALSE(archive::MatchesReference(record, reference->data(), reference->size()));
    // ...and the result's hash would catch what decoding against it gives.
    Bytes back;
    EXPECT_FALSE(archive::DecodeDelta(record, *reference, frame, back, error));
  }
  EXPECT_TRUE(archive::MatchesReference(record, old.data(), old.size()));
}

TEST(Delta, DamagedFramesAndWrongRecordsAreRefused) {
  const Bytes old = Random(20000, 2);
  Bytes edited = old;
  edited[100] ^= 1;
  std::string error;
  const Bytes frame = mksetup::EncodeDelta(old, edited, error);
  const archive::DeltaRecord record = RecordFor(old, edited);
  Bytes back;
  EXPECT_FALSE(archive::DecodeDelta(record, old, {frame.begin(), frame.end() - 1}, back, error));
  Bytes longer = frame;
  longer.push_back(0);
  EXPECT_FALSE(archive::DecodeDelta(record, old, longer, back, error));
  EXPECT_NE(error.find("behind the delta"), std::string::npos) << error;
  archive::DeltaRecord bigger = record;
  bigger.resultSize += 1;
  EXPECT_FALSE(archive::DecodeDelta(bigger, old, frame, back, error));
  archive::DeltaRecord smaller = record;
  smaller.resultSize -= 1;
  EXPECT_FALSE(archive::DecodeDelta(smaller, old, frame, back, error));
  archive::DeltaRecord otherHash = record;
  otherHash.resultHash[0] ^= 1;
  EXPECT_FALSE(archive::DecodeDelta(otherHash, old, frame, back, error));
  EXPECT_NE(error.find("SHA-256"), std::string::npos) << error;
}

TEST(Delta, TheSmallerOfDeltaAndWholeFileIsChosen) {
  const Bytes old = RealProgram();
  Bytes edited = old;
  edited[old.size() / 2] ^= 1;
  mksetup::DeltaChoice choice;
  std::string error;
  ASSERT_TRUE(mksetup::ChooseDelta(old, edited, choice, error)) << error;
  EXPECT_TRUE(choice.delta);
  EXPECT_LT(choice.frame.size(), choice.wholeCompressed);
  EXPECT_EQ(choice.record, RecordFor(old, edited));

  // A new file that shares nothing with the old one gains nothing from it.
  ASSERT_TRUE(mksetup::ChooseDelta(Random(30000, 3), Random(30000, 4), choice, error));
  EXPECT_FALSE(choice.delta);
  EXPECT_TRUE(choice.frame.empty());
  EXPECT_EQ(mksetup::DeltaWindowLog(0, 0), 10);
  EXPECT_EQ(mksetup::DeltaWindowLog(1 << 20, 1 << 20), 21);
  EXPECT_EQ(mksetup::DeltaWindowLog(archive::kMaxDeltaSpan / 2, archive::kMaxDeltaSpan / 2),
            archive::kMaxDeltaWindowLog);
}

TEST(Delta, DiffCarriesDeltasWhereTheyAreSmaller) {
  TempDir dir;
  const Bytes program = RealProgram();
  Bytes edited = program;
  for (size_t i = 0; i < 64; ++i) edited[edited.size() / 4 + i] = uint8_t(i);
  const std::string p(program.begin(), program.end()), e(edited.begin(), edited.end());
  WriteFile(dir / "1/bin/app.exe", p);
  WriteFile(dir / "2/bin/app.exe", e);
  WriteFile(dir / "1/a.txt", "1");
  WriteFile(dir / "2/a.txt", "2");
  const Bytes added = Random(5000, 9);
  const std::string n(added.begin(), added.end());
  WriteFile(dir / "2/neu.dll", n);
  WriteFile(dir / "stub.bin", std::string(4096, 'S'));
  auto diff = [&](const std::string& out, std::vector<std::string> extra) {
    std::vector<std::string> args = {"diff",    dir / "1",        dir / "2",   "-o", out,
                                     "--stub",  dir / "stub.bin", "--caption", "P",  "--product",
                                     "Produkt", "--version",      "2"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunMksetup(args);
  };

  RunResult dry = diff(dir / "x.exe", {"--dry-run"});
  ASSERT_EQ(dry.status, 0) << dry.err;
  const std::string hash = archive::Sha256Hex(archive::Sha256::Of(program.data(), program.size()));
  EXPECT_NE(dry.out.find("changed  a.txt  whole 1 bytes\n"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("new      neu.dll  whole 5000 bytes\n"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find(" of " + std::to_string(e.size()) + " bytes, reference " +
                         std::to_string(p.size()) + " bytes sha256 " + hash + "\n"),
            std::string::npos)
      << dry.out;
  EXPECT_EQ(dry.out.find("changed  a.txt"), 0u) << dry.out;

  RunResult made = diff(dir / "d.exe", {});
  ASSERT_EQ(made.status, 0) << made.err;
  made = diff(dir / "w.exe", {"--no-delta"});
  ASSERT_EQ(made.status, 0) << made.err;
  archive::ArchiveInfo delta, whole;
  archive::StdioFile d(dir / "d.exe"), w(dir / "w.exe");
  ASSERT_TRUE(archive::OpenArchive(d, delta).ok);
  ASSERT_TRUE(archive::OpenArchive(w, whole).ok);
  ASSERT_EQ(delta.trailer.extension.deltas.size(), 1u);
  const archive::DeltaRecord& r = delta.trailer.extension.deltas[0];
  EXPECT_EQ(delta.trailer.entries[r.entry].name, "bin\\app.exe");
  EXPECT_EQ(r, [&] {
    archive::DeltaRecord x = RecordFor(program, edited);
    x.entry = r.entry;
    return x;
  }());
  EXPECT_LT(delta.trailer.entries[r.entry].size, 2000u);
  EXPECT_TRUE(whole.trailer.extension.deltas.empty());
  EXPECT_EQ(whole.trailer.entries[r.entry].size, e.size());
  EXPECT_LT(delta.layout.StreamLength() * 4, whole.layout.StreamLength());

  // The same inputs make the same patch, and list names the delta.
  ASSERT_EQ(diff(dir / "d2.exe", {}).status, 0);
  EXPECT_EQ(ReadFile(dir / "d2.exe"), ReadFile(dir / "d.exe"));
  RunResult list = RunMksetup({"list", dir / "d.exe"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("delta, reference " + std::to_string(p.size()) + " bytes sha256 " + hash),
            std::string::npos)
      << list.out;
  EXPECT_EQ(RunMksetup({"verify", dir / "d.exe"}).status, 0);

  // extract keeps the delta as its frame, which zstd itself decodes.
  ASSERT_EQ(RunMksetup({"extract", dir / "d.exe", "-d", dir / "x"}).status, 0);
  EXPECT_EQ(ReadFile(dir / "x/a.txt"), "2");
  const std::string frame = ReadFile(dir / "x/bin/app.exe.delta");
  EXPECT_EQ(frame.size(), delta.trailer.entries[r.entry].size);
  EXPECT_FALSE(fs::exists(dir / "x/bin/app.exe"));
  const std::string zstd = "zstd -q -d --long=28 --patch-from='" + dir / "1/bin/app.exe" + "' '" +
                           dir / "x/bin/app.exe.delta" + "' -o '" + dir / "app.exe" + "'";
  ASSERT_EQ(std::system(zstd.c_str()), 0);
  EXPECT_TRUE(ReadFile(dir / "app.exe") == e);
}
