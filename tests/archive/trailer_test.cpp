#include "archive/trailer.h"

#include <gtest/gtest.h>

using namespace archive;

namespace {

std::vector<uint8_t> BuildFile(const ArchiveTrailer& t, size_t imageSize, size_t streamSize) {
  VectorSink sink;
  std::vector<uint8_t> image(imageSize + streamSize, 0xCC);
  sink.Write(image.data(), image.size());
  WriteTrailer(sink, t);
  return sink.bytes;
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
