// The archive builder and the checks and extraction of built programs,
// called directly.
#include <gtest/gtest.h>
#include <random>
#include <set>

#include "archive/archive_builder.h"
#include "archive/archive_extract.h"
#include "archive/huf_encoder.h"
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
  expectFailure({{huge, "huge.bin"}}, Installer(), "huge.bin");

  BuildResult r = BuildProgramFile(p.stub, p.files, Installer(), p.stub);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(ReadFile(p.stub).substr(0, 2), "MZ");
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
