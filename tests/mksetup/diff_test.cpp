// `mksetup diff`: which files of two releases a patch carries, and the patch
// program built from them.
#include <gtest/gtest.h>

#include "archive/archive_extract.h"
#include "diff_command.h"
#include "test_files.h"

using namespace mksetup_test;
namespace fs = std::filesystem;

namespace {

struct Releases : ::testing::Test {
  TempDir dir;
  std::string oldDir = dir / "1.0";
  std::string newDir = dir / "1.1";
  std::string stub = dir / "stub.bin";

  void SetUp() override {
    WriteFile(stub, std::string(4096, 'S'));
    fs::create_directories(oldDir);
    fs::create_directories(newDir);
  }
  void Old(const std::string& name, const std::string& bytes) {
    WriteFile(oldDir + "/" + name, bytes);
  }
  void New(const std::string& name, const std::string& bytes) {
    WriteFile(newDir + "/" + name, bytes);
  }
  // diff OLD NEW with a caption, product and version; `options` adds
  // options or replaces these.
  RunResult Diff(const std::vector<std::pair<std::string, std::string>>& options = {}) {
    std::vector<std::pair<std::string, std::string>> all = {{"-o", dir / "p.exe"},
                                                            {"--stub", stub},
                                                            {"--caption", "Patch 1.1"},
                                                            {"--product", "Beispiel"},
                                                            {"--version", "11"}};
    for (const auto& option : options) {
      auto same = std::find_if(all.begin(), all.end(),
                               [&](const auto& o) { return o.first == option.first; });
      if (same != all.end())
        same->second = option.second;
      else
        all.push_back(option);
    }
    std::vector<std::string> args = {"diff", oldDir, newDir};
    for (const auto& [name, value] : all) {
      args.push_back(name);
      if (!value.empty() || name == "--product") args.push_back(value);
    }
    return RunMksetup(args);
  }
  // The built patch, read back.
  archive::ArchiveInfo Read() {
    archive::StdioFile file(dir / "p.exe");
    archive::ArchiveInfo info;
    archive::CheckResult r = archive::OpenArchive(file, info);
    EXPECT_TRUE(r.ok) << r.error;
    return info;
  }
};

std::vector<std::string> Names(const std::vector<archive::PayloadFile>& files) {
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.name);
  return names;
}

TEST_F(Releases, OnlyNewAndChangedFilesAreCarriedMatchingNamesIgnoringCase) {
  Old("gleich.txt", "gleich");
  New("gleich.txt", "gleich");
  Old("anders.dat", std::string(70000, 'a'));
  New("anders.dat", std::string(69999, 'a') + "b"); // same size, last block differs
  Old("kurz.txt", "kurz");
  New("kurz.txt", "kurz und l\xC3\xA4nger");
  Old("Gross.TXT", "gleich");
  New("gross.txt", "gleich"); // the same file on Windows
  New("neu.txt", "neu");
  New("\xC3\xBC"
      "ber.txt",
      "\xC3\xBC"); // "über.txt"
  Old("alt.txt", "bleibt installiert");

  mksetup::ReleaseDiff diff = mksetup::CompareReleases(oldDir, newDir);
  ASSERT_TRUE(diff.ok()) << diff.errors.front();
  EXPECT_EQ(Names(diff.carried), (std::vector<std::string>{"anders.dat", "kurz.txt", "neu.txt",
                                                           "\xFC"
                                                           "ber.txt"}));
  EXPECT_EQ(diff.added, (std::vector<std::string>{"neu.txt", "\xFC"
                                                             "ber.txt"}));
  EXPECT_EQ(diff.changed, (std::vector<std::string>{"anders.dat", "kurz.txt"}));
  EXPECT_EQ(diff.removed, std::vector<std::string>{"alt.txt"});
  EXPECT_EQ(diff.carried[2].sourcePath, newDir + "/neu.txt");
}

TEST_F(Releases, TreesAreComparedAnywhereWithRelativePaths) {
  Old("a.txt", "1");
  New("a.txt", "1");
  Old("Reg/x.reg", "x");
  New("reg/x.reg", "x"); // only the folder's case changed: the same file
  Old("bin/lib/tief/helper.dat", "alt");
  New("bin/lib/tief/helper.dat", "neu");
  Old("Daten/Liste.TXT", "gleich");
  New("daten/liste.txt", "gleich"); // case-only rename: nothing to carry
  Old("daten/alt.txt", "bleibt");
  New("plugins/de/neu.dll", "n");          // new folders
  New("\xC3\x84rger Ordner/a b.txt", "u"); // umlaut and blank in a folder name
  Old("bin/weg/nur alt.txt", "w");

  mksetup::ReleaseDiff diff = mksetup::CompareReleases(oldDir, newDir);
  ASSERT_TRUE(diff.ok()) << diff.errors.front();
  EXPECT_EQ(Names(diff.carried),
            (std::vector<std::string>{"bin\\lib\\tief\\helper.dat", "plugins\\de\\neu.dll",
                                      "\xC4rger Ordner\\a b.txt"}));
  EXPECT_EQ(diff.changed, std::vector<std::string>{"bin\\lib\\tief\\helper.dat"});
  EXPECT_EQ(diff.carried[1].sourcePath, newDir + "/plugins/de/neu.dll");
  EXPECT_EQ(diff.removed, (std::vector<std::string>{"bin\\weg\\nur alt.txt", "daten\\alt.txt"}));

  // The patch carries them; a dry run lists them with their paths and how
  // they travel, in directory order.
  RunResult r = Diff({{"--dry-run", ""}, {"--readme", "daten/liste.txt"}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "changed  bin\\lib\\tief\\helper.dat  whole 3 bytes\n"
                   "readme   daten\\liste.txt  whole 6 bytes\n"
                   "new      plugins\\de\\neu.dll  whole 1 bytes\n"
                   "new      \xC3\x84rger Ordner\\a b.txt  whole 1 bytes\n");
  EXPECT_NE(r.err.find("warning: bin\\weg\\nur alt.txt is not in"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "p.exe"));
  ASSERT_EQ(Diff({{"--readme", "daten/liste.txt"}}).status, 0);
  archive::ArchiveInfo info = Read();
  EXPECT_EQ(info.trailer.readmeFile, "daten\\liste.txt");
  ASSERT_EQ(info.trailer.entries.size(), 4u);
  EXPECT_EQ(info.trailer.entries[1].name, "daten\\liste.txt");
}

TEST_F(Releases, AFileThatBecameAFolderOrTheReverseIsAnError) {
  Old("daten", "eine Datei");
  New("daten/a.txt", "a");
  Old("bin/x.dll", "x");
  New("BIN", "jetzt eine Datei");
  mksetup::ReleaseDiff diff = mksetup::CompareReleases(oldDir, newDir);
  ASSERT_EQ(diff.errors.size(), 2u);
  EXPECT_EQ(diff.errors[0].rfind("BIN: a folder in", 0), 0u) << diff.errors[0];
  EXPECT_EQ(diff.errors[1].rfind("daten: a file in", 0), 0u) << diff.errors[1];
}

TEST_F(Releases, NamesWindowsCannotHoldAreErrors) {
  New("a.txt", "1");
  New("A.TXT", "2");
  New("con", "3");
  New("\xE2\x82\xAC"
      "uro\xE2\x84\xA2\xC4\x80.txt",
      "4"); // "€uro™Ā.txt": Ā is not in code page 1252
  mksetup::ReleaseDiff diff = mksetup::CompareReleases(oldDir, newDir);
  ASSERT_EQ(diff.errors.size(), 3u);
  EXPECT_NE(diff.errors[0].find("differs only in letter case"), std::string::npos);
  EXPECT_NE(diff.errors[1].find("con"), std::string::npos) << diff.errors[1];
  EXPECT_NE(diff.errors[2].find("code page 1252"), std::string::npos) << diff.errors[2];
}

TEST_F(Releases, BuildsAPatchThatCarriesTheChangesAndItsTexts) {
  Old("prog.exe", "v1");
  New("prog.exe", "v2");
  Old("liesmich.txt", "lies");
  New("liesmich.txt", "lies");
  New("neu.dll", std::string(100000, 'n'));
  Old("weg.txt", "w");
  WriteFile(dir / "lizenz.txt", "\xEF\xBB\xBFZeile 1\nZeile \xC3\xA4\n");

  RunResult r = Diff({{"--license", dir / "lizenz.txt"}, {"--readme", "LIESMICH.TXT"}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find("p.exe")),
            "readme   liesmich.txt  whole 4 bytes\nnew      neu.dll  whole 100000 bytes\n"
            "changed  prog.exe  whole 2 bytes\n" +
                dir / "");
  EXPECT_NE(r.err.find("warning: weg.txt is not in"), std::string::npos) << r.err;

  archive::ArchiveInfo info = Read();
  const archive::ArchiveTrailer& t = info.trailer;
  EXPECT_FALSE(t.IsInstaller());
  EXPECT_EQ(t.version, 11);
  EXPECT_EQ(t.caption, "Patch 1.1");
  EXPECT_EQ(t.productName, "Beispiel");
  EXPECT_EQ(t.licenseText, "Zeile 1\r\nZeile \xE4\r\n");
  EXPECT_EQ(t.hasReadme, 1u);
  EXPECT_EQ(t.readmeFile, "LIESMICH.TXT");
  // Carried although unchanged, as every name the trailer refers to.
  ASSERT_EQ(t.entries.size(), 3u);
  EXPECT_EQ(t.entries[0].name, "liesmich.txt");
  EXPECT_EQ(t.entries[1].name, "neu.dll");
  EXPECT_EQ(t.entries[2].name, "prog.exe");

  EXPECT_EQ(RunMksetup({"verify", dir / "p.exe"}).status, 0);
  ASSERT_EQ(RunMksetup({"extract", dir / "p.exe", "-d", dir / "x"}).status, 0);
  EXPECT_EQ(ListDir(dir / "x"), (std::vector<std::string>{"liesmich.txt", "neu.dll", "prog.exe"}));
  EXPECT_EQ(ReadFile(dir / "x/prog.exe"), "v2");
}

// zstd 19 unless --compression and --level say otherwise; an x86,
// per-machine product showing its version unless --architecture, --scope and
// --display-version say otherwise.
TEST_F(Releases, OptionsChooseTheCodecAndTheProductBlock) {
  SKIP_WITHOUT_SHIPPED_STUBS();
  Old("prog.exe", "v1");
  New("prog.exe", std::string(50000, 'x') + "v2");
  using archive::PayloadCodec;
  const std::vector<
      std::pair<std::vector<std::pair<std::string, std::string>>, archive::CodecBlock>>
      cases = {
          {{}, {PayloadCodec::Zstd, 19, 16}},
          {{{"--level", "max"}}, {PayloadCodec::Zstd, 22, 16}},
          {{{"--compression", "zstd"}, {"--level", "5"}}, {PayloadCodec::Zstd, 5, 16}},
          {{{"--compression", "huf"}}, {}},
      };
  for (const auto& [options, codec] : cases) {
    RunResult r = Diff(options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read().trailer.extension.codec, codec) << (options.empty() ? "" : options[0].second);
    EXPECT_EQ(RunMksetup({"verify", dir / "p.exe"}).status, 0);
  }
  using Options = std::vector<std::pair<std::string, std::string>>;
  for (const auto& [options, named] : std::vector<std::pair<Options, std::string>>{
           {{{"--compression", "lzma"}}, "--compression"},
           {{{"--level", "20"}}, "--level"},
           {{{"--compression", "huf"}, {"--level", "3"}}, "--level"},
           {{{"--architecture", "arm64"}}, "--architecture: must be \"x86\" or \"x64\""},
           {{{"--scope", "admin"}}, "--scope: must be \"machine\" or \"user\""},
           {{{"--display-version", "1.1\x01"}}, "--display-version: holds a control character"},
           {{{"--display-version", std::string(65, '1')}}, "--display-version: is 65 bytes"},
           {{{"--scope", "user"}}, "cannot be made a per-user program"}}) { // a stub of 'S's
    fs::remove(dir / "p.exe");
    RunResult r = Diff(options);
    EXPECT_NE(r.status, 0) << named;
    EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "p.exe"));
  }

  using archive::InstallScope;
  using archive::ProductArchitecture;
  const std::vector<
      std::pair<std::vector<std::pair<std::string, std::string>>, archive::ProductBlock>>
      products = {
          {{}, {}},
          {{{"--architecture", "x64"}}, {ProductArchitecture::X64, InstallScope::Machine, ""}},
          {{{"--stub", "x64"}, {"--scope", "user"}},
           {ProductArchitecture::X86, InstallScope::User, ""}},
          {{{"--display-version", "1.1 \u2013 Beta"}},
           {ProductArchitecture::X86, InstallScope::Machine, "1.1 \x96 Beta"}},
      };
  for (const auto& [options, product] : products) {
    RunResult r = Diff(options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read().trailer.extension.product, product);
  }
}

TEST_F(Releases, DryRunListsWithoutBuilding) {
  Old("a.txt", "1");
  New("a.txt", "2");
  RunResult r = Diff({{"--dry-run", ""}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "changed  a.txt  whole 1 bytes\n");
  EXPECT_FALSE(fs::exists(dir / "p.exe"));
}

TEST_F(Releases, UnusableInputsFailNamingTheCauseAndWriteNothing) {
  Old("a.txt", "1");
  New("a.txt", "1");
  const std::vector<std::pair<std::pair<std::string, std::string>, std::string>> cases = {
      {{"--caption", "Patch 1.1"}, "nothing to patch"},
      {{"--readme", "fehlt.txt"}, "--readme: fehlt.txt is not a file of"},
      {{"--license", dir / "fehlt.txt"}, "--license: cannot read"},
      {{"--product", ""}, "--product: must not be empty"},
      {{"--caption", "Zeile\nZeile"}, "--caption: holds a control character"},
      {{"--version", "65536"}, "65536"},
  };
  for (const auto& [option, named] : cases) {
    RunResult r = Diff({option});
    EXPECT_NE(r.status, 0) << named;
    EXPECT_NE(r.err.find(named), std::string::npos)
        << named << ": status " << r.status << ", " << r.err << r.out;
    EXPECT_FALSE(fs::exists(dir / "p.exe")) << named;
  }
  RunResult r = RunMksetup(
      {"diff", oldDir, dir / "fehlt", "-n", "--caption", "c", "--product", "p", "--version", "1"});
  EXPECT_NE(r.status, 0);
  RunResult noOutput =
      RunMksetup({"diff", oldDir, newDir, "--caption", "c", "--product", "p", "--version", "1"});
  EXPECT_NE(noOutput.status, 0);
  EXPECT_NE(noOutput.err.find("--output is required"), std::string::npos) << noOutput.err;
}

} // namespace
