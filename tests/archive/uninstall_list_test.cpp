// The uninstaller's blocks: the installer's option and the list an
// uninstall archive carries. The reader refuses every list it cannot trust
// to name only what the installation wrote.
#include "archive/format/trailer.h"

#include <gtest/gtest.h>

using namespace archive;

namespace {

ArchiveTrailer UninstallArchive() {
  ArchiveTrailer t;
  t.installerFlag = 0;
  t.caption = "Produkt entfernen";
  t.productName = "Produkt";
  t.dataStart = 64;
  UninstallList& list = t.extension.uninstallList;
  list.present = true;
  list.Add(UninstallItemKind::File, "prog.exe");
  list.Add(UninstallItemKind::File, "daten\\hilfe.txt");
  list.Add(UninstallItemKind::Folder, "daten");
  list.Add(UninstallItemKind::Shortcut, "C:\\users\\Public\\Desktop\\Produkt.lnk");
  list.Add(UninstallItemKind::ShortcutFolder, "C:\\Startmen\xFC\\Programme\\Produkt");
  list.Add(UninstallItemKind::ProductKey, "");
  list.Add(UninstallItemKind::UninstallEntry, "");
  list.Add(UninstallItemKind::InstallFolder, "");
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

struct RawItem {
  uint32_t kind;
  std::string path;
};

// A patch-form region followed by an extension holding `blocks`.
std::vector<uint8_t> RegionWithBlocks(const std::vector<std::vector<uint8_t>>& blocks) {
  ArchiveTrailer t = UninstallArchive();
  t.extension = {};
  std::vector<uint8_t> region = SerializeTrailerRegion(t);
  AppendLE32(region, kExtensionMagic);
  for (const auto& b : blocks) region.insert(region.end(), b.begin(), b.end());
  return region;
}

std::vector<uint8_t> ListBlock(const std::vector<RawItem>& items, int countDelta = 0,
                               size_t extraBytes = 0) {
  std::vector<uint8_t> body;
  AppendLE32(body, uint32_t(int(items.size()) + countDelta));
  for (const RawItem& item : items) {
    AppendLE32(body, item.kind);
    AppendLE32(body, uint32_t(item.path.size()));
    body.insert(body.end(), item.path.begin(), item.path.end());
  }
  body.resize(body.size() + extraBytes);
  std::vector<uint8_t> out;
  AppendLE32(out, kUninstallListTag);
  AppendLE32(out, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::string ReadError(const std::vector<uint8_t>& region) {
  ArchiveTrailer t;
  TrailerReadResult r = Read(region, t);
  return r.ok ? std::string("accepted") : r.error;
}

TEST(UninstallList, RoundTripsAndMarksTheArchiveAsUninstaller) {
  ArchiveTrailer written = UninstallArchive();
  ArchiveTrailer read;
  TrailerReadResult r = Read(SerializeTrailerRegion(written), read);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(read.extension, written.extension);
  EXPECT_TRUE(read.IsUninstaller());
  EXPECT_FALSE(read.IsInstaller());

  // A patch without the list stays a patch, byte for byte the first format.
  ArchiveTrailer patch = written;
  patch.extension = {};
  EXPECT_FALSE(patch.IsUninstaller());
  std::vector<uint8_t> region = SerializeTrailerRegion(patch);
  ASSERT_TRUE(Read(region, read).ok);
  EXPECT_FALSE(read.IsUninstaller());
}

TEST(UninstallList, AddKeepsOneItemPerPathWhateverItsCase) {
  UninstallList list;
  list.Add(UninstallItemKind::File, "Daten\\A.txt");
  list.Add(UninstallItemKind::File, "daten\\a.TXT");
  list.Add(UninstallItemKind::Folder, "Daten\\A.txt");
  EXPECT_EQ(list.items.size(), 2u);
  EXPECT_TRUE(list.Has(UninstallItemKind::Folder));
  EXPECT_FALSE(list.Has(UninstallItemKind::ProductKey));

  // Items that came in by other ways than Add (a list read back, a merge)
  // are known to it as well.
  list.items.push_back({UninstallItemKind::File, "install.log"});
  list.Add(UninstallItemKind::File, "INSTALL.LOG");
  UninstallList earlier;
  earlier.Add(UninstallItemKind::File, "daten\\A.TXT");
  earlier.Add(UninstallItemKind::File, "alt.txt");
  earlier.Add(UninstallItemKind::InstallFolder, "");
  list.Merge(earlier);
  EXPECT_EQ(list.items, (std::vector<UninstallItem>{{UninstallItemKind::File, "Daten\\A.txt"},
                                                    {UninstallItemKind::Folder, "Daten\\A.txt"},
                                                    {UninstallItemKind::File, "install.log"},
                                                    {UninstallItemKind::File, "alt.txt"},
                                                    {UninstallItemKind::InstallFolder, ""}}));
  list.items.clear();
  list.Add(UninstallItemKind::File, "alt.txt");
  EXPECT_EQ(list.items.size(), 1u) << "an emptied list starts afresh";
}

TEST(UninstallList, PathsThatCouldReachOutsideAreRefused) {
  const std::vector<RawItem> unsafe = {
      {1, "..\\fremd.txt"},
      {1, "C:\\Windows\\win.ini"},
      {1, "\\Windows\\win.ini"},
      {1, "daten\\..\\..\\x"},
      {1, "a:stream"},
      {1, "NUL"},
      {1, ""},
      {2, "..\\"},
      {2, "ordner\\"},
      {3, "Produkt.lnk"},                    // a shortcut is absolute
      {3, "C:\\Windows\\notepad.exe"},       // and a link file
      {3, "C:\\Users\\..\\Windows\\x.lnk"},  // with no way out of its folder
      {3, "\\\\server\\share\\Produkt.lnk"}, // on a drive
      {4, "Startmenue\\Produkt"},            // a start-menu folder is absolute
      {5, "Software\\Anderes"},              // keys are the product's own
      {6, "x"},
      {7, "C:\\"},
      {9, "prog.exe"}, // no such kind
      {0, ""},
  };
  for (const RawItem& item : unsafe)
    EXPECT_NE(ReadError(RegionWithBlocks({ListBlock({{1, "prog.exe"}, item})})), "accepted")
        << item.kind << " " << item.path;
}

TEST(UninstallList, DamagedListsAreRefused) {
  const std::vector<RawItem> items = {{1, "prog.exe"}, {5, ""}};
  EXPECT_EQ(ReadError(RegionWithBlocks({ListBlock(items)})), "accepted");
  // A count beyond the items, a count the block cannot hold, bytes behind
  // the items, an item given twice, two lists.
  EXPECT_EQ(ReadError(RegionWithBlocks({ListBlock(items, 1)})),
            "uninstall list ends inside item 2");
  EXPECT_NE(ReadError(RegionWithBlocks({ListBlock(items, 1000000)})), "accepted");
  EXPECT_NE(ReadError(RegionWithBlocks({ListBlock(items, 0, 3)})), "accepted");
  EXPECT_NE(ReadError(RegionWithBlocks({ListBlock({{5, ""}, {5, ""}})})), "accepted");
  EXPECT_NE(ReadError(RegionWithBlocks({ListBlock(items), ListBlock(items)})), "accepted");
  // A path length running past the block.
  std::vector<uint8_t> cut = ListBlock({{1, "prog.exe"}});
  cut.resize(cut.size() - 2);
  cut[4] = uint8_t(cut[4] - 2);
  EXPECT_NE(ReadError(RegionWithBlocks({cut})), "accepted");
  // A path with a NUL in it.
  EXPECT_NE(ReadError(RegionWithBlocks({ListBlock({{1, std::string("a\0b", 3)}})})), "accepted");
}

TEST(UninstallList, OnlyAnArchiveWithoutFilesIsAnUninstaller) {
  ArchiveTrailer installer = UninstallArchive();
  installer.installerFlag = 1;
  ArchiveTrailer t;
  EXPECT_FALSE(Read(SerializeTrailerRegion(installer), t).ok);
  ArchiveTrailer withFiles = UninstallArchive();
  withFiles.entries = {{3, "neu.exe"}};
  EXPECT_FALSE(Read(SerializeTrailerRegion(withFiles), t).ok);
}

TEST(UninstallerBlock, RoundTripsAndIsLeftOutWhenOff) {
  ArchiveTrailer installer;
  installer.caption = "Setup";
  installer.productName = "Produkt";
  installer.dataStart = 64;
  const std::vector<uint8_t> plain = SerializeTrailerRegion(installer);
  installer.extension.uninstaller = {true, "Tarnivex GmbH"};
  ArchiveTrailer read;
  TrailerReadResult r = Read(SerializeTrailerRegion(installer), read);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(read.extension.uninstaller, installer.extension.uninstaller);
  EXPECT_FALSE(read.IsUninstaller());

  installer.extension.uninstaller = {};
  EXPECT_EQ(SerializeTrailerRegion(installer), plain);
}

TEST(UninstallerBlock, DamagedBlocksAreRefused) {
  auto block = [](uint32_t flags, const std::string& publisher, int lengthDelta) {
    std::vector<uint8_t> out;
    AppendLE32(out, kUninstallerBlockTag);
    AppendLE32(out, uint32_t(int(8 + publisher.size()) + lengthDelta));
    AppendLE32(out, flags);
    AppendLE32(out, uint32_t(publisher.size()));
    out.insert(out.end(), publisher.begin(), publisher.end());
    out.resize(size_t(int(out.size()) + lengthDelta));
    return out;
  };
  EXPECT_EQ(ReadError(RegionWithBlocks({block(1, "Firma", 0)})), "accepted");
  EXPECT_NE(ReadError(RegionWithBlocks({block(3, "Firma", 0)})), "accepted");
  EXPECT_NE(ReadError(RegionWithBlocks({block(1, "Firma", 2)})), "accepted");
  EXPECT_NE(ReadError(RegionWithBlocks({block(1, "Firma", -2)})), "accepted");
  EXPECT_NE(ReadError(RegionWithBlocks({block(1, "Firma", 0), block(1, "", 0)})), "accepted");
}

} // namespace
