// Folder trees: the manifest's `folders`, names that are paths, and list,
// verify and extract of programs that carry a tree.
#include <gtest/gtest.h>

#include "archive/archive_extract.h"
#include "archive/huf/huf_encoder.h"
#include "cp1252.h"
#include "entry_tree.h"
#include "folder_walk.h"
#include "manifest.h"
#include "test_files.h"

using namespace mksetup;
using namespace mksetup_test;
namespace fs = std::filesystem;

namespace {

const char* const kTree = R"(kind = "installer"
version = 1
caption = "Baum"
product = "Baum"
files = ["prog.ico"]
folders = ["release"]
readme = "doc/de/liesmich.txt"
reg_files = ["a.reg"]
[program]
file = "bin/app.exe"
icon = "PROG.ICO"
)";

struct Tree : ::testing::Test {
  TempDir dir;
  void SetUp() override {
    WriteFile(dir / "prog.ico", "icon");
    for (const char* f :
         {"bin/app.exe", "bin/lib/helper.dat", "bin.txt", "B.txt", "_x.txt", "a.reg",
          "doc/de/liesmich.txt", "doc/en/liesmich.txt", "\xC3\x84rger Ordner/\xC3\xBC b.txt"})
      WriteFile(dir / (std::string("release/") + f), f);
    fs::create_directories(dir / "release/leer/auch leer");
  }
  ManifestResult Load(const std::string& text) {
    WriteFile(dir / "m.toml", text);
    return LoadManifest(dir / "m.toml");
  }
  std::string Errors(const ManifestResult& r) {
    std::string all;
    for (const auto& e : r.errors) all += e + "\n";
    return all;
  }
};

std::vector<std::string> Names(const std::vector<archive::PayloadFile>& files) {
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.name);
  return names;
}

TEST_F(Tree, FoldersAreCarriedByRelativePathInByteOrderAfterTheFiles) {
  ManifestResult r = Load(kTree);
  ASSERT_TRUE(r.ok) << Errors(r);
  // '.' < 'B' < '\' < '_' < 'a' < 0xC4: byte order of the code page 1252
  // names; the empty folders leave no trace.
  EXPECT_EQ(
      Names(r.manifest.files),
      (std::vector<std::string>{"prog.ico", "B.txt", "_x.txt", "a.reg", "bin.txt", "bin\\app.exe",
                                "bin\\lib\\helper.dat", "doc\\de\\liesmich.txt",
                                "doc\\en\\liesmich.txt", "\xC4rger Ordner\\\xFC b.txt"}));
  EXPECT_EQ(r.manifest.files[6].sourcePath, dir / "release/bin/lib/helper.dat");
  // Names written with '/' refer to the carried paths.
  const auto& t = r.manifest.trailer;
  EXPECT_EQ(t.programFile, "bin\\app.exe");
  EXPECT_EQ(t.readmeFile, "doc\\de\\liesmich.txt");
  EXPECT_EQ(t.iconFile, "PROG.ICO");
}

TEST_F(Tree, NamesMustBeUniqueIgnoringCaseAndFitOneTree) {
  struct Case {
    std::string from, to, named;
  };
  const std::vector<Case> cases = {
      {"[\"prog.ico\"]", "[\"prog.ico\", \"extra/b.TXT\"]", "the name B.txt is carried already"},
      {"[\"prog.ico\"]", "[\"prog.ico\", \"extra/BIN\"]", "BIN is carried as a file and is also"},
      {"[\"prog.ico\"]", "[\"prog.ico\", \"extra/reg\"]", "the folder \"Reg\" of the Reg files"},
      {"[\"release\"]", "[\"release\", \"zweig\"]", "zweig/reg/a.reg: carried as Reg\\a.reg"},
      {"[\"release\"]", "[\"release\", \"zweig\"]", "the name Bin\\App.exe is carried already"},
      {"[\"a.reg\"]", "[\"doc/a.reg\"]", "reg_files[0]: doc/a.reg has a folder part"},
      {"bin/app.exe", "bin/fehlt.exe", "program.file: bin\\fehlt.exe is not among"},
      {"[\"release\"]", "[\"fehlt\"]", "fehlt not found"},
      {"[\"release\"]", "[\"prog.ico\"]", "prog.ico is not a folder"},
      {"[\"release\"]", "[\"release/leer\"]", "holds no file"},
      {"[\"release\"]", "\"release\"", "folders: must be a list of folders"},
      {"files = [\"prog.ico\"]\nfolders = [\"release\"]\n", "", "files: missing"},
  };
  WriteFile(dir / "extra/b.TXT", "b");
  WriteFile(dir / "extra/BIN", "bin");
  WriteFile(dir / "extra/reg", "reg");
  WriteFile(dir / "zweig/Bin/App.exe", "x");
  WriteFile(dir / "zweig/reg/a.reg", "x");
  for (const auto& c : cases) {
    std::string text = kTree;
    text.replace(text.find(c.from), c.from.size(), c.to);
    ManifestResult r = Load(text);
    EXPECT_FALSE(r.ok) << c.named;
    EXPECT_NE(Errors(r).find(c.named), std::string::npos)
        << "expected: " << c.named << "\ngot: " << Errors(r);
  }
}

TEST_F(Tree, FilesBelowAFolderMustHaveWindowsNames) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"con/x.txt", "con: the name is a Windows device name"},
      {"a./x.txt", "a.: the name ends in a dot"},
      {"a/b?.txt", "b?.txt: [b?.txt]: the name holds the character '?'"},
      {"\xC5\x81\xC3\xB3"
       "d\xC5\xBA/x.txt",
       "'\xC5\x81' (U+0141) cannot be written in code page 1252"},
      {"d/\xE4\xB8\xAD.txt", "\xE4\xB8\xAD.txt: '\xE4\xB8\xAD' (U+4E2D) cannot be written"},
      {std::string(200, 'd') + "/" + std::string(59, 'f'), "the path is 260 characters long"},
  };
  for (const auto& [path, named] : cases) {
    TempDir product;
    WriteFile(product / ("m/" + path), "x");
    WriteFile(product / "m.toml", "kind = \"patch\"\nversion = 1\ncaption = \"c\"\nproduct = "
                                  "\"p\"\nfolders = [\"m\"]\n");
    ManifestResult r = LoadManifest(product / "m.toml");
    EXPECT_FALSE(r.ok) << path;
    EXPECT_NE(Errors(r).find(named), std::string::npos)
        << "expected: " << named << "\ngot: " << Errors(r);
  }
  // 259 characters are fine.
  TempDir product;
  WriteFile(product / ("m/" + std::string(200, 'd') + "/" + std::string(58, 'f')), "x");
  WriteFile(product / "m.toml",
            "kind = \"patch\"\nversion = 1\ncaption = \"c\"\nproduct = \"p\"\nfolders = [\"m\"]\n");
  ManifestResult r = LoadManifest(product / "m.toml");
  ASSERT_TRUE(r.ok) << Errors(r);
  EXPECT_EQ(r.manifest.files[0].name.size(), 259u);
}

TEST_F(Tree, LinksToFilesAreCarriedLinksToFoldersAreNot) {
  fs::create_symlink(dir / "prog.ico", dir / "release/bin/verweis.ico");
  WalkedFile link;
  for (const auto& f : WalkFolder(dir / "release").files)
    if (f.name == "bin\\verweis.ico") link = f;
  EXPECT_EQ(ReadFile(link.source.string()), "icon");

  fs::create_directory_symlink(dir / "release/doc", dir / "release/bin/doku");
  fs::create_symlink(dir / "fehlt", dir / "release/kaputt");
  FolderWalk walk = WalkFolder(dir / "release");
  std::string errors;
  for (const auto& e : walk.errors) errors += e + "\n";
  EXPECT_NE(errors.find("bin/doku: is a link to a folder"), std::string::npos) << errors;
  EXPECT_NE(errors.find("kaputt: is a broken link"), std::string::npos) << errors;
  EXPECT_FALSE(Load(kTree).ok);
}

TEST(EntryTree, FilesThatAreAlsoFolders) {
  EXPECT_TRUE(FindFileFolderClashes({"bin\\a.exe", "bin.txt", "bin2\\bin"}).empty());
  auto clashes = FindFileFolderClashes({"bin\\lib\\a.dll", "x", "BIN\\LIB", "Bin"});
  ASSERT_EQ(clashes.size(), 2u);
  EXPECT_EQ(clashes[0], std::make_pair(size_t(2), size_t(0)));
  EXPECT_EQ(clashes[1], std::make_pair(size_t(3), size_t(0)));
}

struct TreeCli : Tree {
  std::string stub = dir / "stub.bin";
  void SetUp() override {
    Tree::SetUp();
    WriteFile(stub, std::string(4096, 'S'));
  }
};

TEST_F(TreeCli, ListVerifyAndExtractShowAndWriteTheTree) {
  WriteFile(dir / "m.toml", kTree);
  RunResult r = RunMksetup({"build", dir / "m.toml", "-o", dir / "baum.exe", "--stub", stub});
  ASSERT_EQ(r.status, 0) << r.err;

  r = RunMksetup({"list", dir / "baum.exe"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("bin\\app.exe (icon PROG.ICO)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  \xC3\x84rger Ordner\\\xC3\xBC b.txt\n"), std::string::npos) << r.out;
  r = RunMksetup({"list", "--json", dir / "baum.exe"});
  EXPECT_NE(r.out.find("\"name\" : \"bin\\\\lib\\\\helper.dat\""), std::string::npos) << r.out;
  EXPECT_EQ(RunMksetup({"verify", dir / "baum.exe"}).status, 0);

  r = RunMksetup({"extract", dir / "baum.exe", "-d", dir / "x"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ListDir(dir / "x"),
            (std::vector<std::string>{"B.txt", "_x.txt", "a.reg", "bin", "bin.txt", "doc",
                                      "prog.ico", "\xC3\x84rger Ordner"}));
  for (const char* f :
       {"bin/lib/helper.dat", "doc/en/liesmich.txt", "\xC3\x84rger Ordner/\xC3\xBC b.txt"})
    EXPECT_EQ(ReadFile(dir / (std::string("x/") + f)), f);
  EXPECT_FALSE(fs::exists(dir / "x/leer"));
}

// A program with these entries, its payload "abc" in the first and the rest empty.
std::string Crafted(const TempDir& dir, const std::vector<std::string>& names,
                    bool damaged = false) {
  archive::VectorSink sink;
  sink.Write("MZ", 2);
  archive::HufCounts counts{};
  archive::CountBytes(counts, "abc", 3);
  archive::HufEncoder encoder(counts, sink);
  encoder.Write("abc", 3);
  encoder.Finish();
  archive::ArchiveTrailer t;
  t.caption = t.productName = "p";
  for (const auto& name : names) t.entries.push_back({t.entries.empty() ? 3u : 0u, name});
  if (damaged) t.entries.back().size = 1; // one byte more than the stream holds
  t.dataStart = 2;
  archive::WriteTrailer(sink, t);
  WriteFile(dir / "crafted.exe", std::string(sink.bytes.begin(), sink.bytes.end()));
  return dir / "crafted.exe";
}

TEST(TreeExtract, RefusesUnsafePathsAndUndoesAFailedTree) {
  for (const std::string bad : {"a\\..\\..\\x", "a\\\\b", "a\\.\\b", "C:x", "\\x", "a\\nul\\b"}) {
    TempDir dir;
    RunResult r = RunMksetup({"extract", Crafted(dir, {"ok\\a.txt", bad}), "-d", dir / "x"});
    EXPECT_NE(r.status, 0) << bad;
    EXPECT_NE(r.err.find("unsafe entry name"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "x/ok")) << bad;
  }
  // The stream ends before the last entry: what was written, folders
  // included, goes again; a folder that was there stays.
  TempDir dir;
  fs::create_directories(dir / "x/da");
  RunResult r =
      RunMksetup({"extract", Crafted(dir, {"neu\\tief\\a.txt", "da\\b.txt", "neu2\\c.txt"}, true),
                  "-d", dir / "x"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(ListDir(dir / "x"), std::vector<std::string>{"da"});
  EXPECT_TRUE(ListDir(dir / "x/da").empty());
}

TEST(TreeVerify, AFileThatIsAlsoAFolderIsADefect) {
  TempDir dir;
  RunResult r = RunMksetup({"verify", Crafted(dir, {"bin\\a.exe", "BIN"})});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("entry [BIN] is also the folder of [bin\\a.exe]"), std::string::npos)
      << r.err;
  EXPECT_EQ(RunMksetup({"verify", Crafted(dir, {"bin\\a.exe", "bin.exe"})}).status, 0);
}

} // namespace
