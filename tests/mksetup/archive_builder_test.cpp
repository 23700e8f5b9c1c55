// The archive builder and the checks and extraction of built programs,
// called directly.
#include <gtest/gtest.h>
#include <random>
#include <set>

#include "archive/archive_builder.h"
#include "archive/archive_extract.h"
#include "archive/huf/huf_encoder.h"
#include "test_files.h"

using namespace archive;
using namespace mksetup_test;
namespace fs = std::filesystem;

namespace {

std::string RandomText(size_t n, unsigned seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng() % alphabet);
  return s;
}

// The codecs the builder writes: HUF (the trailer's default), zstd at the
// default level and at "max".
const CodecBlock kHuf{};
const CodecBlock kZstd19{PayloadCodec::Zstd, 19, 25};
const CodecBlock kZstdMax{PayloadCodec::Zstd, 22, 27};
const CodecBlock kCodecs[] = {kHuf, kZstd19, kZstdMax};

ArchiveTrailer Installer(const CodecBlock& codec = kHuf) {
  ArchiveTrailer t;
  t.extension.codec = codec;
  t.caption = "Beispiel Setup";
  t.productName = "Beispiel";
  t.hasReadme = 1;
  t.readmeFile = "LIESMICH.TXT"; // carried as liesmich.txt: names match ignoring case
  return t;
}

// A stub and a set of files in a scratch folder.
struct Product {
  TempDir dir;
  std::string stub = dir / "stub.bin";
  std::vector<PayloadFile> files;

  Product() { WriteFile(stub, "MZ" + RandomText(3000, 1)); }
  void Add(const std::string& name, const std::string& bytes) {
    WriteFile(dir / ("src/" + name), bytes);
    files.push_back({dir / ("src/" + name), name});
  }
  std::string Build(const ArchiveTrailer& t = Installer(), const std::string& out = "out.exe") {
    BuildResult r = BuildProgramFile(stub, files, t, dir / out);
    EXPECT_TRUE(r.ok) << r.error;
    return dir / out;
  }
};

// Opens, verifies and extracts a program; returns the extracted folder's
// files by name.
std::map<std::string, std::string> RoundTrip(const std::string& program, const TempDir& dir) {
  StdioFile file(program);
  ArchiveInfo info;
  CheckResult r = OpenArchive(file, info);
  EXPECT_TRUE(r.ok) << r.error;
  r = VerifyPayload(file, info);
  EXPECT_TRUE(r.ok) << r.error;
  fs::create_directories(dir / "x");
  r = ExtractPayload(file, info, [&](const std::string& name) { return dir / ("x/" + name); });
  EXPECT_TRUE(r.ok) << r.error;
  std::map<std::string, std::string> out;
  for (const auto& name : ListDir(dir / "x")) out[name] = ReadFile(dir / ("x/" + name));
  return out;
}

CheckResult VerifyFile(const std::string& program) {
  StdioFile file(program);
  ArchiveInfo info;
  CheckResult r = OpenArchive(file, info);
  return r.ok ? VerifyPayload(file, info) : r;
}

// The program holds the stub, zero padding, the stream and the trailer, and
// gives back the very files.
void ExpectRoundTrip(Product& p, const std::string& program) {
  std::string bytes = ReadFile(program);
  std::string stub = ReadFile(p.stub);
  EXPECT_EQ(bytes.substr(0, stub.size()), stub);
  StdioFile file(program);
  ArchiveInfo info;
  ASSERT_TRUE(OpenArchive(file, info).ok);
  // The image is padded with zeros so that the file's length is a multiple of 8.
  ASSERT_GE(info.trailer.dataStart, stub.size());
  EXPECT_LT(info.trailer.dataStart, stub.size() + 8);
  EXPECT_EQ(bytes.substr(stub.size(), info.trailer.dataStart - stub.size()),
            std::string(info.trailer.dataStart - stub.size(), '\0'));
  EXPECT_EQ(bytes.size() % 8, 0u);
  ASSERT_EQ(info.trailer.entries.size(), 5u);
  EXPECT_EQ(info.trailer.entries[2].name, "gross.bin");
  EXPECT_EQ(info.trailer.entries[2].size, 2'500'000u);
  EXPECT_EQ(info.trailer.readmeFile, "LIESMICH.TXT");

  auto out = RoundTrip(program, p.dir);
  ASSERT_EQ(out.size(), 5u);
  for (const auto& f : p.files) EXPECT_EQ(out[f.name], ReadFile(f.sourcePath)) << f.name;
}

} // namespace

TEST(ArchiveBuilder, RoundTripGivesTheVeryFiles) {
  for (const CodecBlock& codec : kCodecs) {
    SCOPED_TRACE(codec.level);
    Product p;
    p.Add("liesmich.txt", "Hallo Welt\r\n");
    p.Add("leer.dat", "");
    p.Add("gross.bin", RandomText(2'500'000, 2, 40)); // crosses the read blocks
    p.Add("alle.bin", RandomText(70'000, 3));
    p.Add("zuletzt leer", "");
    ExpectRoundTrip(p, p.Build(Installer(codec)));
  }
}

// The codec block names the codec and the window that covers the payload;
// a HUF archive has none and its region ends at dataStart, as ever.
TEST(ArchiveBuilder, CodecBlockMarksTheCodec) {
  Product p;
  p.Add("a.bin", RandomText(100'000, 12, 50));
  for (const CodecBlock& codec : kCodecs) {
    StdioFile file(p.Build(Installer(codec)));
    EXPECT_FALSE(fs::exists(p.dir / "out.exe.zst.part")); // the frame's scratch file
    ArchiveInfo info;
    ASSERT_TRUE(OpenArchive(file, info).ok);
    const CodecBlock& read = info.trailer.extension.codec;
    EXPECT_EQ(read.codec, codec.codec);
    EXPECT_EQ(read.level, codec.level);
    ArchiveTrailer plain = info.trailer;
    plain.extension = {};
    const size_t fields = SerializeTrailerRegion(plain).size();
    if (codec.codec == PayloadCodec::Huf) {
      EXPECT_EQ(info.layout.regionSize, fields);
      continue;
    }
    EXPECT_EQ(read.windowLog, 17u); // 128 KiB covers 100,000 bytes
    EXPECT_EQ(info.layout.regionSize, fields + 4 + 8 + 12);
    uint8_t magic[4];
    ASSERT_TRUE(file.ReadAt(info.layout.dataStart, magic, 4));
    EXPECT_EQ(LoadLE32(magic), 0xFD2FB528u);
  }
}

// The marker and the stream must agree: a HUF stream marked zstd, or a zstd
// frame without its marker, is refused.
TEST(ArchiveVerify, MarkerAndStreamMustAgree) {
  Product p;
  p.Add("a.txt", RandomText(20'000, 13, 30));
  for (const CodecBlock& codec : {kHuf, kZstd19}) {
    std::string program = p.Build(Installer(codec));
    StdioFile file(program);
    ArchiveInfo info;
    ASSERT_TRUE(OpenArchive(file, info).ok);
    std::string bytes = ReadFile(program);
    ArchiveTrailer swapped = info.trailer;
    swapped.extension.codec = codec.codec == PayloadCodec::Huf ? kZstd19 : kHuf;
    VectorSink region;
    WriteTrailer(region, swapped);
    bytes = bytes.substr(0, info.layout.regionStart) +
            std::string(region.bytes.begin(), region.bytes.end());
    WriteFile(p.dir / "swapped.exe", bytes);
    CheckResult r = VerifyFile(p.dir / "swapped.exe");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(codec.codec == PayloadCodec::Huf ? "no zstd frame" : "marks HUF"),
              std::string::npos)
        << r.error;
  }
}

TEST(ArchiveBuilder, ZstdLevelOutsideTheLibrarysIsRefused) {
  Product p;
  p.Add("a.txt", "a");
  for (uint32_t level : {0u, 23u}) {
    BuildResult r = BuildProgramFile(p.stub, p.files, Installer({PayloadCodec::Zstd, level, 25}),
                                     p.dir / "out.exe");
    EXPECT_FALSE(r.ok) << level;
    EXPECT_FALSE(fs::exists(p.dir / "out.exe"));
  }
}

TEST(ArchiveVerify, DetectsDamageInAZstdFrame) {
  Product p;
  p.Add("a.txt", RandomText(50'000, 5, 30));
  p.Add("b.txt", RandomText(20'000, 6, 60));
  std::string program = p.Build(Installer(kZstd19));
  const std::string good = ReadFile(program);
  StdioFile file(program);
  ArchiveInfo info;
  ASSERT_TRUE(OpenArchive(file, info).ok);
  const size_t streamStart = info.trailer.dataStart;
  const size_t regionStart = info.layout.regionStart;
  for (size_t at :
       {streamStart + 2, streamStart + 5, (streamStart + regionStart) / 2, regionStart - 1}) {
    std::string bad = good;
    bad[at] ^= 0x10;
    WriteFile(p.dir / "bad.exe", bad);
    EXPECT_FALSE(VerifyFile(p.dir / "bad.exe").ok) << at - streamStart;
    fs::remove_all(p.dir / "x");
    fs::create_directories(p.dir / "x");
    StdioFile badFile(p.dir / "bad.exe");
    ArchiveInfo badInfo;
    if (OpenArchive(badFile, badInfo).ok) {
      EXPECT_FALSE(ExtractPayload(badFile, badInfo, [&](const std::string& n) {
                     return p.dir / ("x/" + n);
                   }).ok);
    }
    EXPECT_TRUE(ListDir(p.dir / "x").empty()) << at - streamStart;
  }
  EXPECT_TRUE(VerifyFile(program).ok);
}

// Whatever the stream's length (and so the padding the image needs), the
// program's length is a multiple of 8 and the program reads back.
TEST(ArchiveBuilder, ProgramLengthIsAlwaysAMultipleOfEight) {
  std::set<uint32_t> paddings;
  for (unsigned n = 0; n < 48; ++n) {
    Product p;
    p.Add("a.bin", RandomText(n * 13, n, 2 + int(n) * 10));
    p.Add("b.txt", std::string(n, 'b'));
    BuildResult r =
        BuildProgramFile(p.stub, p.files, Installer(n % 2 ? kZstd19 : kHuf), p.dir / "out.exe");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(fs::file_size(p.dir / "out.exe"), r.fileSize);
    EXPECT_EQ(r.fileSize % 8, 0u) << n;
    EXPECT_EQ(r.dataStart, fs::file_size(p.stub) + r.imagePadding);
    paddings.insert(r.imagePadding);
    CheckResult check = VerifyFile(p.dir / "out.exe");
    EXPECT_TRUE(check.ok) << n << ": " << check.error;
  }
  EXPECT_GT(paddings.size(), 5u);
}

// The padding is the least that aligns: stubs of eight lengths in a row need
// each padding from 0 to 7 once, none for a program that is aligned already.
TEST(ArchiveBuilder, ImagePaddingIsTheLeastThatAligns) {
  Product p;
  p.Add("a.txt", "Hallo");
  std::set<uint32_t> paddings;
  for (size_t stub = 3000; stub < 3008; ++stub) {
    WriteFile(p.stub, "MZ" + RandomText(stub - 2, 1));
    BuildResult r = BuildProgramFile(p.stub, p.files, Installer(), p.dir / "out.exe");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_LT(r.imagePadding, 8u) << stub;
    EXPECT_EQ(r.dataStart, stub + r.imagePadding);
    EXPECT_EQ(r.fileSize % 8, 0u);
    EXPECT_EQ(fs::file_size(p.dir / "out.exe"), r.fileSize);
    paddings.insert(r.imagePadding);
  }
  EXPECT_EQ(paddings.size(), 8u);
}

TEST(ArchiveBuilder, PayloadsWithoutCodeRoundTrip) {
  for (const CodecBlock& codec : kCodecs) {
    for (const char* bytes : {"", "aaaaaaaaaaaaaa"}) {
      Product p;
      p.Add("a", bytes);
      p.Add("b", "");
      auto out = RoundTrip(p.Build(Installer(codec)), p.dir);
      EXPECT_EQ(out["a"], bytes);
      EXPECT_EQ(out["b"], "");
    }
    Product none;
    EXPECT_TRUE(VerifyFile(none.Build(Installer(codec))).ok);
  }
}

TEST(ArchiveBuilder, SameInputsGiveTheSameBytes) {
  Product p;
  p.Add("a.txt", RandomText(10'000, 4, 20));
  p.Add("b.txt", "b");
  for (const CodecBlock& codec : kCodecs) {
    ArchiveTrailer patch = Installer(codec);
    patch.installerFlag = 0;
    for (const ArchiveTrailer& t : {Installer(codec), patch})
      EXPECT_EQ(ReadFile(p.Build(t, "1.exe")), ReadFile(p.Build(t, "2.exe")));
  }
}

TEST(ArchiveBuilder, FailedBuildLeavesNothing) {
  Product p;
  p.Add("a.txt", "a");
  auto expectFailure = [&](const std::vector<PayloadFile>& files, const ArchiveTrailer& t,
                           const std::string& named) {
    BuildResult r = BuildProgramFile(p.stub, files, t, p.dir / "out.exe");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(named), std::string::npos) << r.error;
    EXPECT_FALSE(fs::exists(p.dir / "out.exe"));
    EXPECT_FALSE(fs::exists(p.dir / "out.exe.part"));
  };
  expectFailure({{p.dir / "fehlt.txt", "fehlt.txt"}}, Installer(), "fehlt.txt");
  expectFailure({{p.files[0].sourcePath, "..\\boese.txt"}}, Installer(), "boese.txt");
  ArchiveTrailer longCaption = Installer();
  longCaption.caption.assign(9000, 'x');
  expectFailure(p.files, longCaption, "caption");

  // A file of 4 GiB (sparse) is too large for an entry.
  std::string huge = p.dir / "huge.bin";
  WriteFile(huge, "");
  fs::resize_file(huge, uint64_t(1) << 32);
  expectFailure({{huge, "huge.bin"}}, Installer(), "huge.bin is 4294967296 bytes long");

  BuildResult r = BuildProgramFile(p.stub, p.files, Installer(), p.stub);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(ReadFile(p.stub).substr(0, 2), "MZ");
  r = BuildProgramFile(p.stub, p.files, Installer(), p.files[0].sourcePath);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("is one of the payload files"), std::string::npos) << r.error;
  EXPECT_EQ(ReadFile(p.files[0].sourcePath), "a");
}

TEST(ArchiveVerify, DetectsDamage) {
  Product p;
  p.Add("a.txt", RandomText(50'000, 5, 30));
  p.Add("b.txt", RandomText(20'000, 6, 60));
  std::string program = p.Build();
  const std::string good = ReadFile(program);
  StdioFile file(program);
  ArchiveInfo info;
  ASSERT_TRUE(OpenArchive(file, info).ok);
  const size_t streamStart = info.trailer.dataStart;
  const size_t regionStart = info.layout.regionStart;

  struct Damage {
    const char* what;
    std::string bytes;
  };
  auto flip = [&](size_t at) {
    std::string b = good;
    b[at] ^= 0x10;
    return b;
  };
  std::vector<Damage> damages = {
      {"code byte", flip(streamStart + 1030 + 20'000)},
      {"count", flip(streamStart + 4 * 'A')},
      {"last byte", flip(regionStart - 1)},
      {"truncated", good.substr(0, good.size() - 100)},
      // Behind a.txt's entry: b.txt's entry (13 bytes), dataStart and N.
      {"trailer entry size", flip(good.size() - 4 - 4 - 13 - 13)},
      {"length word", flip(good.size() - 2)},
      {"stream cut short", good.substr(0, regionStart - 10) + good.substr(regionStart)},
  };
  for (const auto& d : damages) {
    WriteFile(p.dir / "bad.exe", d.bytes);
    EXPECT_FALSE(VerifyFile(p.dir / "bad.exe").ok) << d.what;
  }
  EXPECT_TRUE(VerifyFile(program).ok);
}

TEST(ArchiveExtract, RefusesUnsafeNamesAndWritesNothing) {
  // Craft archives by hand: a valid stream, then a trailer with the name.
  for (const std::string name : {"..\\boese.txt", "C:\\boese.txt", "sub/boese.txt", "."}) {
    TempDir dir;
    VectorSink sink;
    sink.Write("MZ", 2);
    HufCounts counts{};
    CountBytes(counts, "abc", 3);
    HufEncoder encoder(counts, sink);
    encoder.Write("abc", 3);
    encoder.Finish();
    ArchiveTrailer t = Installer();
    t.hasReadme = 0;
    t.entries = {{3, name}};
    t.dataStart = 2;
    WriteTrailer(sink, t);
    WriteFile(dir / "evil.exe", std::string(sink.bytes.begin(), sink.bytes.end()));

    StdioFile file(dir / "evil.exe");
    ArchiveInfo info;
    CheckResult r = OpenArchive(file, info);
    if (r.ok)
      r = ExtractPayload(file, info, [&](const std::string& n) { return dir / ("x/" + n); });
    EXPECT_FALSE(r.ok) << name;
    EXPECT_FALSE(fs::exists(dir / "x")) << name;
  }
}

TEST(ArchiveExtract, DamagedStreamLeavesNoFiles) {
  Product p;
  p.Add("a.txt", RandomText(30'000, 7, 30));
  p.Add("b.txt", RandomText(30'000, 8, 30));
  std::string bytes = ReadFile(p.Build());
  bytes[3000 + 1030 + 25'000] ^= 0x01;
  WriteFile(p.dir / "bad.exe", bytes);
  StdioFile file(p.dir / "bad.exe");
  ArchiveInfo info;
  ASSERT_TRUE(OpenArchive(file, info).ok);
  fs::create_directories(p.dir / "x");
  CheckResult r =
      ExtractPayload(file, info, [&](const std::string& n) { return p.dir / ("x/" + n); });
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(ListDir(p.dir / "x").empty());
}

TEST(ArchiveVerify, ReferencedNamesMustBeCarried) {
  ArchiveTrailer t = Installer();
  t.entries = {{1, "liesmich.txt"}, {1, "prog.exe"}};
  EXPECT_TRUE(CheckReferencedNames(t).ok);
  t.hasProgram = 1;
  t.programFile = "PROG.EXE";
  t.iconFile = "prog.ico";
  CheckResult r = CheckReferencedNames(t);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("icon file [prog.ico]"), std::string::npos) << r.error;
  EXPECT_EQ(r.error.find("PROG.EXE"), std::string::npos) << r.error;
}

TEST(ArchiveBuilder, EntryNamesCompareIgnoringCaseInCodePage1252) {
  EXPECT_TRUE(SameEntryName("Datei.TXT", "datei.txt"));
  EXPECT_TRUE(SameEntryName("\xC4nderung", "\xE4nderung")); // Ä / ä
  EXPECT_TRUE(SameEntryName("\x8A", "\x9A"));               // Š / š
  EXPECT_FALSE(SameEntryName("\xD7", "\xF7"));              // × and ÷ are no pair
  EXPECT_FALSE(SameEntryName("a", "ab"));
}

namespace {

// A program by hand: a stand-in image, the stream, the trailer's region with
// `spare` bytes beyond its fields, and the length word.
std::string Craft(const std::vector<uint8_t>& stream, ArchiveTrailer t, size_t spare = 0) {
  t.dataStart = 64;
  std::vector<uint8_t> region = SerializeTrailerRegion(t);
  region.resize(region.size() + spare, 0);
  AppendLE32(region, uint32_t(region.size()));
  std::string bytes(64, 'S');
  bytes.append(stream.begin(), stream.end());
  bytes.append(region.begin(), region.end());
  return bytes;
}

// The stream of `data` under the given counts (which need not be its own).
std::vector<uint8_t> Stream(const std::string& data, const HufCounts& counts) {
  VectorSink sink;
  HufEncoder encoder(counts, sink);
  encoder.Write(data.data(), data.size());
  encoder.Finish();
  return sink.bytes;
}

std::vector<uint8_t> Stream(const std::string& data) {
  HufCounts counts{};
  CountBytes(counts, data.data(), data.size());
  return Stream(data, counts);
}

CheckResult Open(const TempDir& dir, const std::string& bytes, ArchiveInfo& info) {
  WriteFile(dir / "p.exe", bytes);
  StdioFile file(dir / "p.exe");
  return OpenArchive(file, info);
}

ArchiveTrailer WithEntries(std::vector<ArchiveEntry> entries) {
  ArchiveTrailer t = Installer();
  t.hasReadme = 0;
  t.entries = std::move(entries);
  return t;
}

// Extracts dir/p.exe into dir/x, folders by '\'.
CheckResult Extract(const TempDir& dir, const ArchiveInfo& info) {
  StdioFile file(dir / "p.exe");
  return ExtractPayload(file, info, [&](std::string name) {
    for (char& c : name) c = c == '\\' ? '/' : c;
    return dir / ("x/" + name);
  });
}

} // namespace

// What OpenArchive checks before decoding, each at its edge: a region of
// exactly its fields, a stream that holds its counts, and counts that add up
// to the entries.
TEST(ArchiveVerify, OpenChecksAtTheirEdges) {
  TempDir dir;
  ArchiveInfo info;
  const ArchiveTrailer abc = WithEntries({{3, "abc.txt"}});
  EXPECT_TRUE(Open(dir, Craft(Stream("abc"), abc), info).ok);
  CheckResult r = Open(dir, Craft(Stream("abc"), abc, 1), info);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("holds more than its fields"), std::string::npos) << r.error;
  for (uint32_t size : {2u, 4u}) {
    r = Open(dir, Craft(Stream("abc"), WithEntries({{size, "abc.txt"}})), info);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("payload stream counts 3 bytes"), std::string::npos) << r.error;
  }
  // An empty directory needs no more than the counts: 1024 zero bytes.
  for (size_t length : {1023u, 1024u}) {
    r = Open(dir, Craft(std::vector<uint8_t>(length, 0), WithEntries({})), info);
    EXPECT_EQ(r.ok, length == 1024) << r.error;
    if (!r.ok) {
      EXPECT_NE(r.error.find("too short for its byte counts"), std::string::npos) << r.error;
    }
  }
}

// A stream can decode to the right length with the wrong bytes: "aa" under
// the counts of "ab". Verify and extract compare the bytes with the counts.
TEST(ArchiveVerify, DecodedBytesMustMatchTheCounts) {
  TempDir dir;
  HufCounts ab{};
  ab['a'] = ab['b'] = 1;
  ArchiveInfo info;
  ASSERT_TRUE(Open(dir, Craft(Stream("aa", ab), WithEntries({{2, "a.txt"}})), info).ok);
  StdioFile file(dir / "p.exe");
  CheckResult r = VerifyPayload(file, info);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("byte value 97 decodes 2 times, counted 1"), std::string::npos) << r.error;
  fs::create_directories(dir / "x");
  EXPECT_FALSE(Extract(dir, info).ok);
  EXPECT_TRUE(ListDir(dir / "x").empty());
}

// Extraction checks the info it is given, not only what OpenArchive left in
// it: a caller may have changed it.
TEST(ArchiveExtract, ChecksTheInfoItIsGiven) {
  TempDir dir;
  ArchiveInfo info;
  ASSERT_TRUE(Open(dir, Craft(Stream("abcd"), WithEntries({{2, "a.txt"}, {2, "b.txt"}})), info).ok);
  fs::create_directories(dir / "x");
  ArchiveInfo unsafe = info;
  unsafe.trailer.entries[1].name = "..\\b.txt";
  CheckResult r = Extract(dir, unsafe);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("unsafe entry name"), std::string::npos) << r.error;
  EXPECT_FALSE(fs::exists(dir / "b.txt"));
  EXPECT_TRUE(ListDir(dir / "x").empty());
  // Entries that hold one byte less than the stream decodes to.
  ArchiveInfo fewer = info;
  fewer.trailer.entries[1].size = 1;
  r = Extract(dir, fewer);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("decodes to more than the entries' 3 bytes"), std::string::npos)
      << r.error;
  StdioFile file(dir / "p.exe");
  r = VerifyPayload(file, fewer);
  EXPECT_NE(r.error.find("decodes to more than the entries' 3 bytes"), std::string::npos)
      << r.error;
  EXPECT_TRUE(ListDir(dir / "x").empty());
  ASSERT_TRUE(Extract(dir, info).ok);
  EXPECT_EQ(ListDir(dir / "x"), (std::vector<std::string>{"a.txt", "b.txt"}));
}

// A failed extraction removes the folders it made, and only those.
TEST(ArchiveExtract, FailureRemovesTheFoldersItMade) {
  TempDir dir;
  fs::create_directories(dir / "x/alt");
  ArchiveInfo info;
  const std::string data = RandomText(40'000, 9, 30);
  std::string bytes =
      Craft(Stream(data), WithEntries({{20'000, "alt\\a.txt"}, {20'000, "neu\\tief\\b.txt"}}));
  bytes[64 + 1026 + 18'000] ^= 0x01; // inside b.txt's code
  ASSERT_TRUE(Open(dir, bytes, info).ok);
  EXPECT_FALSE(Extract(dir, info).ok);
  EXPECT_EQ(ListTree(dir / "x"), std::vector<std::string>{});
  EXPECT_TRUE(fs::is_directory(dir / "x/alt"));
  EXPECT_FALSE(fs::exists(dir / "x/neu"));
  // A file where a later entry needs a folder.
  ASSERT_TRUE(Open(dir, Craft(Stream("abcd"), WithEntries({{2, "a"}, {2, "a\\b"}})), info).ok);
  CheckResult r = Extract(dir, info);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("cannot create the folder of"), std::string::npos) << r.error;
  EXPECT_EQ(ListDir(dir / "x"), std::vector<std::string>{"alt"});
}

// A stub may be at most 4 GiB - 8 bytes long, so that dataStart (the stub and
// up to 7 bytes of padding) fits its 32 bits. Sparse stubs into a sink that
// refuses the first byte: the one just small enough gets as far as copying.
TEST(ArchiveBuilder, StubOfUpTo4GiBMinus8) {
  struct RefusingSink final : ByteSink {
    bool Write(const void*, size_t) override { return false; }
  };
  TempDir dir;
  for (uint64_t size : {uint64_t(UINT32_MAX) - 7, uint64_t(UINT32_MAX) - 6}) {
    WriteFile(dir / "stub.bin", "");
    fs::resize_file(dir / "stub.bin", size);
    RefusingSink sink;
    BuildResult r = BuildProgram(dir / "stub.bin", {}, Installer(), sink);
    EXPECT_FALSE(r.ok);
    const bool tooLarge = r.error.find("4 GiB or larger") != std::string::npos;
    EXPECT_EQ(tooLarge, size > UINT32_MAX - 7) << size << ": " << r.error;
  }
}

// Files that change between the two passes would not match the counts the
// stream starts with: the build fails and leaves nothing behind.
TEST(ArchiveBuilder, FileChangedDuringTheBuildIsRefused) {
  for (const std::string changed : {"Hallo Welt!", "Hallo Wel", "Hallo Wemt", "Hallo Welt"}) {
    Product p;
    p.Add("a.txt", "Hallo Welt");
    p.Add("b.txt", RandomText(5000, 10, 26)); // none of the letters: a.txt's change shows in a.txt
    bool done = false;
    BuildResult r = BuildProgramFile(p.stub, p.files, Installer(), p.dir / "out.exe",
                                     [&](uint64_t progress, uint64_t) {
                                       if (done || progress < 10) return;
                                       WriteFile(p.files[0].sourcePath, changed);
                                       done = true;
                                     });
    const bool same = changed == "Hallo Welt";
    EXPECT_EQ(r.ok, same) << changed << ": " << r.error;
    if (!same) {
      EXPECT_EQ(r.error, p.files[0].sourcePath + " changed while the program was being built");
    }
    EXPECT_EQ(fs::exists(p.dir / "out.exe"), same);
    EXPECT_FALSE(fs::exists(p.dir / "out.exe.part"));
  }
}
