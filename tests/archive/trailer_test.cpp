#include "archive/format/trailer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace archive;

namespace {

std::vector<uint8_t> BuildFile(const ArchiveTrailer& t, size_t imageSize, size_t streamSize) {
  VectorSink sink;
  std::vector<uint8_t> image(imageSize + streamSize, 0xCC);
  sink.Write(image.data(), image.size());
  WriteTrailer(sink, t);
  return sink.bytes;
}

// A file of image, stream, the given region and its length word.
std::vector<uint8_t> FileWithRegion(const std::vector<uint8_t>& region, size_t before = 64,
                                    uint32_t n = UINT32_MAX) {
  std::vector<uint8_t> file(before, 0xCC);
  file.insert(file.end(), region.begin(), region.end());
  AppendLE32(file, n == UINT32_MAX ? uint32_t(region.size()) : n);
  return file;
}

ArchiveTrailer FullInstaller() {
  ArchiveTrailer t;
  t.installerFlag = 7;
  t.version = 0x1234;
  t.licenseText = "Lizenz";
  t.caption = "Caption";
  t.productName = "Produkt";
  t.startMenuGroup = "Gruppe";
  t.hasProgram = 1;
  t.iconFile = "a.ico";
  t.programFile = "a.exe";
  t.hasPlugin = 1;
  t.pluginControlFile = "c.ocx";
  t.pluginInfFile = "c.inf";
  t.pluginRegistrar = "r.exe";
  t.hasReadme = 1;
  t.readmeFile = "liesmich.txt";
  t.hasShortcutOptions = 1;
  t.useStartMenuGroup = 1;
  t.uninstallShortcut = 2;
  t.readmeShortcut = 3;
  t.programShortcut = 4;
  t.hasRegFiles = 1;
  t.regFiles = {"r1", "r2", "r3", "r4"};
  t.hasReserved = 1;
  t.reservedValue = 99;
  t.entries = {{3, "a.exe"}, {0, "leer.txt"}};
  t.dataStart = 100;
  return t;
}

ArchiveTrailer Patch(bool readme) {
  ArchiveTrailer t;
  t.installerFlag = 0;
  t.version = 513;
  t.licenseText = "";
  t.caption = "Patch";
  t.productName = "Produkt";
  t.hasReadme = readme;
  t.readmeFile = readme ? "neu.txt" : "";
  t.entries = {{10, "a.dll"}, {0, "b.dat"}, {5, "c.exe"}};
  t.dataStart = 40;
  return t;
}

// What a reader gives back: the fields of absent blocks empty and 0.
ArchiveTrailer Expected(ArchiveTrailer t) {
  if (!t.IsInstaller()) {
    ArchiveTrailer p;
    p.installerFlag = t.installerFlag;
    p.version = t.version;
    p.licenseText = t.licenseText;
    p.caption = t.caption;
    p.productName = t.productName;
    p.hasReadme = t.hasReadme;
    if (t.hasReadme) p.readmeFile = t.readmeFile;
    p.entries = t.entries;
    p.dataStart = t.dataStart;
    return p;
  }
  if (!t.hasProgram) t.iconFile.clear(), t.programFile.clear();
  if (!t.hasPlugin) t.pluginControlFile.clear(), t.pluginInfFile.clear(), t.pluginRegistrar.clear();
  if (!t.hasReadme) t.readmeFile.clear();
  if (!t.hasShortcutOptions)
    t.useStartMenuGroup = t.uninstallShortcut = t.readmeShortcut = t.programShortcut = 0;
  if (!t.hasRegFiles) t.regFiles = {};
  if (!t.hasReserved) t.reservedValue = 0;
  return t;
}

void ExpectSame(const ArchiveTrailer& a, const ArchiveTrailer& b) {
  EXPECT_EQ(a.installerFlag, b.installerFlag);
  EXPECT_EQ(a.version, b.version);
  EXPECT_EQ(a.licenseText, b.licenseText);
  EXPECT_EQ(a.caption, b.caption);
  EXPECT_EQ(a.productName, b.productName);
  EXPECT_EQ(a.startMenuGroup, b.startMenuGroup);
  EXPECT_EQ(a.hasProgram, b.hasProgram);
  EXPECT_EQ(a.iconFile, b.iconFile);
  EXPECT_EQ(a.programFile, b.programFile);
  EXPECT_EQ(a.hasPlugin, b.hasPlugin);
  EXPECT_EQ(a.pluginControlFile, b.pluginControlFile);
  EXPECT_EQ(a.pluginInfFile, b.pluginInfFile);
  EXPECT_EQ(a.pluginRegistrar, b.pluginRegistrar);
  EXPECT_EQ(a.hasReadme, b.hasReadme);
  EXPECT_EQ(a.readmeFile, b.readmeFile);
  EXPECT_EQ(a.hasShortcutOptions, b.hasShortcutOptions);
  EXPECT_EQ(a.useStartMenuGroup, b.useStartMenuGroup);
  EXPECT_EQ(a.uninstallShortcut, b.uninstallShortcut);
  EXPECT_EQ(a.readmeShortcut, b.readmeShortcut);
  EXPECT_EQ(a.programShortcut, b.programShortcut);
  EXPECT_EQ(a.hasRegFiles, b.hasRegFiles);
  EXPECT_EQ(a.regFiles, b.regFiles);
  EXPECT_EQ(a.hasReserved, b.hasReserved);
  EXPECT_EQ(a.reservedValue, b.reservedValue);
  ASSERT_EQ(a.entries.size(), b.entries.size());
  for (size_t i = 0; i < a.entries.size(); ++i) {
    EXPECT_EQ(a.entries[i].size, b.entries[i].size);
    EXPECT_EQ(a.entries[i].name, b.entries[i].name);
  }
  EXPECT_EQ(a.dataStart, b.dataStart);
}

TrailerReadResult Read(const std::vector<uint8_t>& bytes, ArchiveTrailer& t) {
  MemoryFile file(bytes);
  return ReadTrailer(file, t);
}

void ExpectDamaged(const std::vector<uint8_t>& bytes, const std::string& why = {}) {
  ArchiveTrailer t;
  auto r = Read(bytes, t);
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.error.empty());
  if (!why.empty()) {
    EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
  }
}

} // namespace

TEST(Trailer, InstallerRoundTrip) {
  ArchiveTrailer t = FullInstaller();
  MemoryFile file(BuildFile(t, 100, 20));
  ArchiveTrailer back;
  auto r = ReadTrailer(file, back);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(SerializeTrailerRegion(back), SerializeTrailerRegion(t));
  EXPECT_EQ(r.layout.StreamLength(), 20u);
}

TEST(Trailer, InstallerEveryBlockOnAndOff) {
  for (unsigned mask = 0; mask < 64; ++mask) {
    ArchiveTrailer t = FullInstaller();
    t.hasProgram = mask & 1 ? 5 : 0; // any non-zero value counts
    t.hasPlugin = mask & 2;
    t.hasReadme = mask & 4;
    t.hasShortcutOptions = mask & 8;
    t.hasRegFiles = mask & 16;
    t.hasReserved = mask & 32;
    auto bytes = BuildFile(t, 100, 7);
    ArchiveTrailer back;
    auto r = Read(bytes, back);
    ASSERT_TRUE(r.ok) << mask << ": " << r.error;
    SCOPED_TRACE(mask);
    ExpectSame(back, Expected(t));
    EXPECT_EQ(r.layout.dataStart, 100u);
    EXPECT_EQ(r.layout.StreamLength(), 7u);
    EXPECT_EQ(r.layout.regionSize, SerializeTrailerRegion(t).size());
    EXPECT_EQ(r.layout.regionStart + r.layout.regionSize + 4, bytes.size());
  }
}

TEST(Trailer, InstallerWithoutBlocksHasTheWrittenSize) {
  ArchiveTrailer t = FullInstaller();
  t.hasProgram = t.hasPlugin = t.hasReadme = t.hasShortcutOptions = t.hasRegFiles = t.hasReserved =
      0;
  size_t strings =
      t.licenseText.size() + t.caption.size() + t.productName.size() + t.startMenuGroup.size();
  size_t directory = 0;
  for (auto& e : t.entries) directory += 8 + e.name.size();
  EXPECT_EQ(SerializeTrailerRegion(t).size(), 4 + 2 + (16 + strings) + 24 + 4 + directory + 4);
  ArchiveTrailer back;
  ASSERT_TRUE(Read(BuildFile(t, 100, 0), back).ok);
  EXPECT_TRUE(back.iconFile.empty() && back.readmeFile.empty() && back.regFiles[3].empty());
  EXPECT_EQ(back.programShortcut, 0u);
  EXPECT_EQ(back.reservedValue, 0u);
}

TEST(Trailer, VersionIsTwoBytesWide) {
  ArchiveTrailer t = FullInstaller();
  t.version = 0xBEEF;
  t.licenseText = std::string(300, 'L');
  auto region = SerializeTrailerRegion(t);
  EXPECT_EQ(LoadLE16(&region[4]), 0xBEEF);
  // The license length starts 6 bytes into the region.
  EXPECT_EQ(LoadLE32(&region[6]), 300u);
  EXPECT_EQ(region[10], 'L');
  ArchiveTrailer back;
  ASSERT_TRUE(Read(BuildFile(t, 100, 1), back).ok);
  EXPECT_EQ(back.version, 0xBEEF);
  EXPECT_EQ(back.licenseText.size(), 300u);
}

TEST(Trailer, PatchRoundTrip) {
  for (bool readme : {false, true}) {
    ArchiveTrailer t = Patch(readme);
    auto bytes = BuildFile(t, 40, 9);
    ArchiveTrailer back;
    auto r = Read(bytes, back);
    ASSERT_TRUE(r.ok) << r.error;
    ExpectSame(back, Expected(t));
    EXPECT_FALSE(back.IsInstaller());
    EXPECT_EQ(r.layout.StreamLength(), 9u);
    EXPECT_EQ(back.TotalSize(), 15u);
  }
}

TEST(Trailer, PatchWithoutReadmeGoesStraightToTheDirectory) {
  ArchiveTrailer t = Patch(false);
  t.licenseText = "L";
  auto region = SerializeTrailerRegion(t);
  // flag, version, 3 strings (1 + 5 + 7 bytes), readme flag, then the count.
  size_t at = 4 + 2 + (4 + 1) + (4 + 5) + (4 + 7);
  EXPECT_EQ(LoadLE32(&region[at]), 0u);
  EXPECT_EQ(LoadLE32(&region[at + 4]), 3u);
  EXPECT_EQ(LoadLE32(&region[at + 8]), 10u);
  // Installer fields in a patch structure are not written.
  t.hasProgram = 1;
  t.iconFile = "x.ico";
  EXPECT_EQ(SerializeTrailerRegion(t), region);
}

TEST(Trailer, ArchiveKind) {
  uint32_t flag = 99;
  MemoryFile installer(BuildFile(FullInstaller(), 10, 0));
  ASSERT_TRUE(ReadArchiveKind(installer, flag).ok);
  EXPECT_EQ(flag, 7u);
  MemoryFile patch(BuildFile(Patch(true), 10, 0));
  ASSERT_TRUE(ReadArchiveKind(patch, flag).ok);
  EXPECT_EQ(flag, 0u);
  MemoryFile tiny(std::vector<uint8_t>{1, 0, 0, 0, 4, 0, 0});
  EXPECT_FALSE(ReadArchiveKind(tiny, flag).ok);
}

TEST(Trailer, EmptyDirectoryAndEmptyEntries) {
  ArchiveTrailer t = Patch(false);
  t.entries.clear();
  ArchiveTrailer back;
  ASSERT_TRUE(Read(BuildFile(t, 40, 0), back).ok);
  EXPECT_TRUE(back.entries.empty());
  t.entries = {{0, "leer1"}, {0, "leer2"}};
  ASSERT_TRUE(Read(BuildFile(t, 40, 0), back).ok);
  EXPECT_EQ(back.entries.size(), 2u);
  EXPECT_EQ(back.TotalSize(), 0u);
}

// ---- damaged trailers --------------------------------------------------------------

TEST(TrailerDamaged, LengthWordLargerThanTheFile) {
  auto region = SerializeTrailerRegion(FullInstaller());
  ExpectDamaged(FileWithRegion(region, 100, uint32_t(region.size() + 101)), "exceeds");
  ExpectDamaged(FileWithRegion(region, 100, 0xFFFFFFFFu - 1), "exceeds");
  // Fits the file, but the region then starts inside the image: the fields
  // read are garbage and run past the region.
  ExpectDamaged(FileWithRegion(region, 100, uint32_t(region.size() + 100)));
  ExpectDamaged({}, "too short");
  ExpectDamaged({1, 2, 3}, "too short");
  uint32_t flag;
  MemoryFile big(FileWithRegion(region, 0, 1u << 30));
  EXPECT_FALSE(ReadArchiveKind(big, flag).ok);
}

// The length word's bounds, each tried at its edge: the file must hold the
// word and a region of at least the installer flag, N must fit in front of
// the word, and N may be up to 64 MiB.
TEST(TrailerDamaged, LengthWordAtItsBounds) {
  auto error = [](const std::vector<uint8_t>& bytes) {
    ArchiveTrailer t;
    return Read(bytes, t).error;
  };
  auto has = [](const std::string& error, const char* what) {
    return error.find(what) != std::string::npos;
  };
  for (size_t size = 0; size < 8; ++size) {
    std::vector<uint8_t> bytes(size, 0);
    if (size >= 4) bytes[size - 4] = uint8_t(size - 4);
    EXPECT_TRUE(has(error(bytes), "file too short for an archive")) << size;
  }
  // Eight bytes: a region of just the installer flag, which then lacks its version.
  EXPECT_EQ(error(FileWithRegion({1, 0, 0, 0}, 0)), "trailer region ends inside version");
  EXPECT_EQ(error(FileWithRegion({1, 0, 0}, 1)), "trailer length 3 is too small");

  auto region = SerializeTrailerRegion(Patch(false));
  const uint32_t n = uint32_t(region.size());
  // N = everything in front of the word: the region starts at offset 0.
  EXPECT_FALSE(has(error(FileWithRegion(region, 10, n + 10)), "exceeds"));
  EXPECT_TRUE(has(error(FileWithRegion(region, 10, n + 11)), "exceeds"));

  // A file of zeros but its length word: a patch region with empty texts and
  // directory and then zeros, which are no extension. The 64 MiB region gets
  // as far as that; one byte more is refused by its length alone.
  struct ZeroFile final : RandomAccessFile {
    uint32_t n;
    explicit ZeroFile(uint32_t length) : n(length) {}
    uint64_t Size() const override { return uint64_t(n) + 4 + 16; }
    bool ReadAt(uint64_t offset, void* data, size_t count) override {
      if (offset > Size() || count > Size() - offset) return false;
      auto* p = static_cast<uint8_t*>(data);
      std::fill_n(p, count, 0);
      for (unsigned k = 0; k < 4; ++k)
        if (uint64_t at = Size() - 4 + k; at >= offset && at < offset + count)
          p[at - offset] = uint8_t(n >> (8 * k));
      return true;
    }
  };
  for (uint32_t length : {kMaxTrailerRegion, kMaxTrailerRegion + 1}) {
    ZeroFile file(length);
    ArchiveTrailer back;
    auto r = ReadTrailer(file, back);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(has(r.error, "is absurd"), length > kMaxTrailerRegion) << length << ": " << r.error;
    if (length == kMaxTrailerRegion) {
      EXPECT_EQ(r.error, "the trailer region holds more than its fields");
    }
  }
}

TEST(TrailerDamaged, LengthWordSmallerThanTheFieldsNeed) {
  for (auto t : {FullInstaller(), Patch(true), Patch(false)}) {
    auto region = SerializeTrailerRegion(t);
    // Every shorter region (the file's front taking up the rest) ends inside
    // some field.
    for (size_t n = 0; n < region.size(); ++n) {
      ExpectDamaged(FileWithRegion(std::vector<uint8_t>(region.begin(), region.begin() + n)));
    }
  }
}

TEST(TrailerDamaged, StringsOf8192BytesAndMore) {
  for (uint32_t length : {8191u, 8192u, 8193u, 100000u}) {
    ArchiveTrailer t = FullInstaller();
    t.licenseText = std::string(length, 'x');
    ArchiveTrailer back;
    auto r = Read(BuildFile(t, 100, 0), back);
    EXPECT_EQ(r.ok, length < 8192) << length << ": " << r.error;
    t = FullInstaller();
    t.startMenuGroup = std::string(length, 'g');
    EXPECT_EQ(Read(BuildFile(t, 100, 0), back).ok, length < 8192) << length;
  }
  // A length word claiming 4 GiB, with nothing behind it.
  std::vector<uint8_t> region;
  AppendLE32(region, 1);
  AppendLE16(region, 1);
  AppendLE32(region, 0xFFFFFFF0u);
  ExpectDamaged(FileWithRegion(region), "license text");
}

// A NUL would cut a text short where the program shows or uses it: the
// texts the dialogs show and the start-menu group's folder name.
TEST(TrailerDamaged, NulByteInAText) {
  using Set = void (*)(ArchiveTrailer&, const std::string&);
  const struct {
    const char* field;
    Set set;
    bool patchToo;
  } texts[] = {
      {"license text", [](ArchiveTrailer& t, const std::string& s) { t.licenseText = s; }, true},
      {"caption", [](ArchiveTrailer& t, const std::string& s) { t.caption = s; }, true},
      {"product name", [](ArchiveTrailer& t, const std::string& s) { t.productName = s; }, true},
      {"start-menu group", [](ArchiveTrailer& t, const std::string& s) { t.startMenuGroup = s; },
       false},
  };
  for (const auto& text : texts)
    for (const std::string& value :
         {std::string("\0Text", 5), std::string("Te\0xt", 5), std::string("Text\0", 5)})
      for (bool patch : {false, true}) {
        if (patch && !text.patchToo) continue;
        ArchiveTrailer t = patch ? Patch(true) : FullInstaller();
        text.set(t, value);
        ArchiveTrailer back;
        auto r = Read(BuildFile(t, 100, 0), back);
        EXPECT_FALSE(r.ok) << text.field;
        EXPECT_EQ(r.error, std::string(text.field) + " holds a NUL byte");
      }
}

TEST(TrailerDamaged, NamesOf260AndMore) {
  for (size_t length : {259u, 260u, 261u, 5000u}) {
    ArchiveTrailer t = FullInstaller();
    t.entries[0].name = std::string(length, 'n');
    ArchiveTrailer back;
    EXPECT_EQ(Read(BuildFile(t, 100, 0), back).ok, length < 260) << length;
    // The names of special files too.
    t = FullInstaller();
    t.programFile = std::string(length, 'p');
    EXPECT_EQ(Read(BuildFile(t, 100, 0), back).ok, length < 260) << length;
    t = FullInstaller();
    t.regFiles[2] = std::string(length, 'r');
    EXPECT_EQ(Read(BuildFile(t, 100, 0), back).ok, length < 260) << length;
    t = Patch(true);
    t.readmeFile = std::string(length, 'r');
    EXPECT_EQ(Read(BuildFile(t, 100, 0), back).ok, length < 260) << length;
  }
}

TEST(TrailerDamaged, AbsurdEntryCount) {
  for (uint32_t count : {3u, 1000u, 0x10000000u, 0x20000000u, 0x20000001u, 0xFFFFFFFFu}) {
    ArchiveTrailer t = Patch(false);
    auto region = SerializeTrailerRegion(t);
    size_t at = 4 + 2 + 4 + 4 + 5 + 4 + 7 + 4; // the entry count of Patch(false)
    ASSERT_EQ(LoadLE32(&region[at]), 3u);
    for (int k = 0; k < 4; ++k) region[at + k] = uint8_t(count >> (8 * k));
    ArchiveTrailer back;
    auto r = Read(FileWithRegion(region), back);
    EXPECT_EQ(r.ok, count == 3u) << count << ": " << r.error;
    if (count != 3u) {
      EXPECT_LE(back.entries.size(), 3u);
    }
  }
}

// Each entry takes at least 8 bytes and dataStart 4 more: a count above what
// the rest of the region can hold is refused before anything is read or
// allocated for it. Patch(false) holds 3 entries of 13 bytes: 43 bytes follow
// its count, room for 4 entries by that bound, and one spare byte makes room
// for 5.
TEST(TrailerDamaged, EntryCountJustAboveWhatTheRegionHolds) {
  const size_t at = 4 + 2 + 4 + 4 + 5 + 4 + 7 + 4;
  const struct {
    size_t spare;
    uint32_t count;
    bool fits;
  } cases[] = {{0, 4, true}, {0, 5, false}, {1, 5, true}, {1, 6, false}};
  for (const auto& c : cases) {
    auto region = SerializeTrailerRegion(Patch(false));
    region.resize(region.size() + c.spare, 0);
    for (int k = 0; k < 4; ++k) region[at + k] = uint8_t(c.count >> (8 * k));
    ArchiveTrailer back;
    auto r = Read(FileWithRegion(region), back);
    EXPECT_FALSE(r.ok);
    const bool refusedByCount = r.error.find("does not fit") != std::string::npos;
    EXPECT_EQ(refusedByCount, !c.fits) << c.spare << "/" << c.count << ": " << r.error;
  }
  // An empty directory: the region must still hold dataStart behind the count.
  auto region = SerializeTrailerRegion(Patch(false));
  for (int k = 0; k < 4; ++k) region[at + k] = 0;
  for (size_t rest = 0; rest <= 4; ++rest) {
    std::vector<uint8_t> cut(region.begin(), region.begin() + at + 4 + rest);
    ArchiveTrailer back;
    auto r = Read(FileWithRegion(cut), back);
    EXPECT_EQ(r.ok, rest == 4) << rest << ": " << r.error;
    if (rest < 4) {
      EXPECT_NE(r.error.find("entry count 0 does not fit"), std::string::npos) << r.error;
    }
  }
}

TEST(TrailerDamaged, DataStartOutsideTheFileOrInsideTheTrailer) {
  ArchiveTrailer t = FullInstaller();
  size_t image = 100, stream = 50;
  size_t regionStart = image + stream;
  size_t fileSize = regionStart + SerializeTrailerRegion(t).size() + 4;
  for (uint64_t start : {uint64_t(0), uint64_t(image), uint64_t(regionStart),
                         uint64_t(regionStart + 1), uint64_t(fileSize - 4), uint64_t(fileSize),
                         uint64_t(fileSize + 1000), uint64_t(0xFFFFFFFFu)}) {
    t.dataStart = uint32_t(start);
    ArchiveTrailer back;
    auto r = Read(BuildFile(t, image, stream), back);
    EXPECT_EQ(r.ok, start <= regionStart) << start << ": " << r.error;
  }
}

TEST(TrailerDamaged, UnsafeEntryNames) {
  for (const char* name : {"..\\x",
                           "../x",
                           "a\\..\\..\\x",
                           "a/../../x",
                           "..",
                           "C:x",
                           "C:\\x",
                           "c:",
                           "\\abs",
                           "/abs",
                           "\\\\server\\share\\x",
                           "x:stream",
                           "",
                           "a\\..",
                           "... \\x",
                           "..\\",
                           ". .",
                           "CON",
                           "con.txt",
                           "Aux",
                           "nul.",
                           "COM1",
                           "lpt9.log",
                           "a\\PRN\\b",
                           "CON ",
                           "CON .txt",
                           "COM1 .log",
                           "nul  ",
                           "a\\Aux .dat",
                           "CONIN$",
                           "conout$.txt",
                           "LPT\xB3.txt",
                           "x\\",
                           "x/"}) {
    ArchiveTrailer t = FullInstaller();
    t.entries[1].name = name;
    ArchiveTrailer back;
    auto r = Read(BuildFile(t, 100, 0), back);
    EXPECT_FALSE(r.ok) << "[" << name << "]";
    EXPECT_FALSE(IsSafeEntryName(name)) << "[" << name << "]";
  }
  for (const char* name :
       {"a.exe", "liesmich.txt", "x..y", "...x", ".profile", "sub\\file.txt", "con1", "console.exe",
        "lpt", "com10", "a b.txt", "con a.txt", "CON_", "conin", "\xE4\xF6\xFC.txt"}) {
    EXPECT_TRUE(IsSafeEntryName(name)) << "[" << name << "]";
  }
  // A NUL inside a name.
  ArchiveTrailer t = FullInstaller();
  t.entries[0].name = std::string("a\0b", 3);
  ArchiveTrailer back;
  EXPECT_FALSE(Read(BuildFile(t, 100, 0), back).ok);
}

TEST(TrailerDamaged, UnsafeNamesOfSpecialFiles) {
  // The names the trailer gives for its program, icon, plug-in, readme and
  // Reg files are opened and started in the target folder: they must be
  // safe names too (or empty).
  auto setters = std::vector<std::function<void(ArchiveTrailer&, const std::string&)>>{
      [](ArchiveTrailer& t, const std::string& n) { t.iconFile = n; },
      [](ArchiveTrailer& t, const std::string& n) { t.programFile = n; },
      [](ArchiveTrailer& t, const std::string& n) { t.pluginControlFile = n; },
      [](ArchiveTrailer& t, const std::string& n) { t.pluginInfFile = n; },
      [](ArchiveTrailer& t, const std::string& n) { t.pluginRegistrar = n; },
      [](ArchiveTrailer& t, const std::string& n) { t.readmeFile = n; },
      [](ArchiveTrailer& t, const std::string& n) { t.regFiles[3] = n; },
  };
  for (auto& set : setters) {
    for (const char* bad : {"..\\..\\Windows\\system32\\calc.exe", "C:\\x.exe", "\\x", "NUL"}) {
      ArchiveTrailer t = FullInstaller();
      set(t, bad);
      ArchiveTrailer back;
      auto r = Read(BuildFile(t, 100, 0), back);
      EXPECT_FALSE(r.ok) << bad;
      EXPECT_NE(r.error.find("unsafe"), std::string::npos) << r.error;
    }
    ArchiveTrailer t = FullInstaller();
    set(t, "");
    ArchiveTrailer back;
    EXPECT_TRUE(Read(BuildFile(t, 100, 0), back).ok);
  }
  // Patch readme too.
  ArchiveTrailer p = Patch(true);
  p.readmeFile = "../liesmich.txt";
  ArchiveTrailer back;
  EXPECT_FALSE(Read(BuildFile(p, 100, 0), back).ok);
}

TEST(TreeNames, RelativePathsWithSafeParts) {
  std::string deep;
  while (deep.size() < 257) deep += "a\\";
  deep += "b"; // 259 characters, 130 parts
  ASSERT_EQ(deep.size(), 259u);
  for (const std::string& name :
       {std::string("bin\\lib\\helper.dat"), std::string("\xC4rger Ordner\\neue Datei.txt"),
        std::string("daten\\de\\strings.txt"), std::string("a.b\\.c\\d"), std::string("readme."),
        std::string("x\\com10\\console"), deep})
    EXPECT_TRUE(IsSafeEntryName(name)) << "[" << name << "]";
  EXPECT_FALSE(IsSafeEntryName(deep + "c")) << "260 characters";

  for (const char* name : {"a\\\\b",
                           "a\\.\\b",
                           "a\\..\\b",
                           ".\\a",
                           "a\\.",
                           "\\x",
                           "x\\",
                           "C:x",
                           "bin\\CON\\x",
                           "lpt1\\x",
                           "Nul.txt\\x",
                           "COM\xB9\\x",
                           "a\\com\xB2.log",
                           "a.\\b",
                           "a \\b",
                           "a/b",
                           "a<b",
                           "a>b",
                           "a\"b",
                           "a|b",
                           "a?b",
                           "a*b",
                           "a\x1F",
                           "a\tb\\c"})
    EXPECT_FALSE(IsSafeEntryName(name)) << "[" << name << "]";
}

TEST(TreeNames, ReaderRefusesUnsafePathsAndRegFilesWithFolders) {
  for (const char* name : {"..\\x", "a\\\\b", "a\\.\\b", "bin\\aux\\x.dll", "a/b"}) {
    ArchiveTrailer t = FullInstaller();
    t.entries[1].name = name;
    ArchiveTrailer back;
    auto r = Read(BuildFile(t, 100, 0), back);
    EXPECT_FALSE(r.ok) << name;
    EXPECT_NE(r.error.find("unsafe entry name"), std::string::npos) << r.error;
  }
  // Paths are fine for the program, icon, readme and plug-in files; the Reg
  // files are installed by their plain names.
  ArchiveTrailer t = FullInstaller();
  t.programFile = "bin\\a.exe";
  t.iconFile = "res\\a.ico";
  t.readmeFile = "doc\\liesmich.txt";
  t.pluginInfFile = "plugin\\c.inf";
  t.entries = {{3, "bin\\a.exe"}, {0, "doc\\liesmich.txt"}};
  ArchiveTrailer back;
  auto r = Read(BuildFile(t, 100, 0), back);
  ASSERT_TRUE(r.ok) << r.error;
  ExpectSame(back, t);
  t.regFiles[1] = "sub\\r2";
  r = Read(BuildFile(t, 100, 0), back);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("unsafe Reg file"), std::string::npos) << r.error;
}
