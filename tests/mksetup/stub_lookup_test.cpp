// mksetup finds its stubs beside its own file, wherever it is installed.
#include <cstdlib>
#include <gtest/gtest.h>

#include "test_files.h"

using namespace mksetup_test;
namespace fs = std::filesystem;

namespace {

// A copy of the built mksetup in PREFIX/bin with stubs in
// PREFIX/share/tarnivex-setup.
struct Installed : ::testing::Test {
  TempDir dir;
  std::string prefix = dir / "prefix";
  std::string stubs = prefix + "/share/tarnivex-setup";
  std::string manifest = dir / "p/m.toml";
  void SetUp() override {
    if (std::getenv("MKSETUP_UNDER_TEST")) GTEST_SKIP() << "copies the Linux program";
    fs::create_directories(prefix + "/bin");
    fs::copy_file(MKSETUP_EXE, prefix + "/bin/mksetup");
    WriteFile(stubs + "/stub-x86.exe", std::string(4096, '3'));
    WriteFile(stubs + "/stub-x64.exe", std::string(8192, '6'));
    WriteFile(dir / "p/a.txt", "a");
    WriteFile(manifest,
              "kind = \"installer\"\nversion = 1\ncaption = \"c\"\nproduct = \"p\"\nfiles = "
              "[\"a.txt\"]\n");
    unsetenv("MKSETUP_STUB");
  }
  RunResult Run(std::vector<std::string> args) {
    std::string command = "'" + prefix + "/bin/mksetup'";
    for (const auto& a : args) command += " '" + a + "'";
    command += " >'" + (dir / "out") + "' 2>'" + (dir / "err") + "'";
    RunResult r;
    r.status = std::system(command.c_str());
    r.out = ReadFile(dir / "out");
    r.err = ReadFile(dir / "err");
    return r;
  }
  // The stub the output was built from, by its first byte.
  char StubOf(const std::string& program) { return ReadFile(program).at(0); }
};

} // namespace

TEST_F(Installed, NamesPathsAndTheEnvironmentChooseTheStub) {
  ASSERT_EQ(Run({"build", manifest, "-o", dir / "a.exe"}).status, 0);
  EXPECT_EQ(StubOf(dir / "a.exe"), '3'); // x86 by default
  ASSERT_EQ(Run({"build", manifest, "-o", dir / "b.exe", "--stub", "x64"}).status, 0);
  EXPECT_EQ(StubOf(dir / "b.exe"), '6');
  WriteFile(dir / "own.bin", std::string(100, 'o'));
  ASSERT_EQ(Run({"build", manifest, "-o", dir / "c.exe", "--stub", dir / "own.bin"}).status, 0);
  EXPECT_EQ(StubOf(dir / "c.exe"), 'o');

  setenv("MKSETUP_STUB", "x64", 1);
  ASSERT_EQ(Run({"build", manifest, "-o", dir / "d.exe"}).status, 0);
  EXPECT_EQ(StubOf(dir / "d.exe"), '6');
  ASSERT_EQ(Run({"build", manifest, "-o", dir / "e.exe", "--stub", "x86"}).status, 0);
  EXPECT_EQ(StubOf(dir / "e.exe"), '3'); // --stub wins
  setenv("MKSETUP_STUB", (dir / "own.bin").c_str(), 1);
  ASSERT_EQ(Run({"build", manifest, "-o", dir / "f.exe"}).status, 0);
  EXPECT_EQ(StubOf(dir / "f.exe"), 'o');
  unsetenv("MKSETUP_STUB");

  // The installation moved elsewhere keeps working.
  fs::rename(prefix, dir / "moved");
  prefix = dir / "moved";
  ASSERT_EQ(Run({"build", manifest, "-o", dir / "g.exe", "--stub", "x64"}).status, 0);
  EXPECT_EQ(StubOf(dir / "g.exe"), '6');
}

TEST_F(Installed, AMissingStubNamesWhereItWasLookedFor) {
  fs::remove(stubs + "/stub-x64.exe");
  RunResult r = Run({"build", manifest, "-o", dir / "a.exe", "--stub", "x64"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find(fs::weakly_canonical(stubs + "/stub-x64.exe").string()), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir / "a.exe"));

  setenv("MKSETUP_STUB", (dir / "fehlt.exe").c_str(), 1);
  r = Run({"build", manifest, "-o", dir / "a.exe"});
  unsetenv("MKSETUP_STUB");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("$MKSETUP_STUB names does not exist: " + (dir / "fehlt.exe")),
            std::string::npos)
      << r.err;

  // diff looks its stub up the same way.
  WriteFile(dir / "r1/a.txt", "1");
  WriteFile(dir / "r2/a.txt", "2");
  r = Run({"diff", dir / "r1", dir / "r2", "-o", dir / "p.exe", "--caption", "c", "--product", "p",
           "--version", "2", "--stub", "x64"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("stub-x64.exe"), std::string::npos) << r.err;
  r = Run({"diff", dir / "r1", dir / "r2", "-o", dir / "p.exe", "--caption", "c", "--product", "p",
           "--version", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(StubOf(dir / "p.exe"), '3');
}
