// The mksetup program as a vendor runs it.
#include <cstdlib>
#include <gtest/gtest.h>
#include <set>

#include "archive/archive_builder.h"
#include "archive/format/execution_level.h"
#include "archive/huf/huf_encoder.h"
#include "test_files.h"

using namespace mksetup_test;
namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(EXAMPLES_DIR) + "/beispiel/beispiel.toml";

struct Cli : ::testing::Test {
  TempDir dir;
  std::string stub = dir / "stub.bin";
  void SetUp() override { WriteFile(stub, std::string(4096, 'S')); }
  RunResult Build(const std::string& manifest, const std::string& out) {
    return RunMksetup({"build", manifest, "-o", out, "--stub", stub});
  }
};

} // namespace

TEST_F(Cli, ExampleRoundTripsThroughListVerifyAndExtract) {
  RunResult r = Build(kExample, dir / "setup.exe");
  ASSERT_EQ(r.status, 0) << r.err;
  // Nothing is left beside the program: no partial output, no scratch file of
  // the zstd frame (Windows keeps a file that was removed while open).
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.Path()))
    names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"setup.exe", "stub.bin"}));

  r = RunMksetup({"list", dir / "setup.exe"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Beispiel 1.0 – Setup"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("kapitel2.txt"), std::string::npos) << r.out;
  // Behind the 4096 bytes of the stub, padded to a file length that is a multiple of 8.
  const size_t dataStart = r.out.find("data start         ");
  ASSERT_NE(dataStart, std::string::npos) << r.out;
  const unsigned long start = std::stoul(r.out.substr(dataStart + 19));
  EXPECT_TRUE(start >= 4096 && start < 4104) << start;
  EXPECT_EQ(fs::file_size(dir / "setup.exe") % 8, 0u);
  EXPECT_NE(r.out.find("signed             no\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("uninstaller        yes\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("publisher          Tarnivex Beispiel GmbH\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("compression        zstd 19, window 4 KiB\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("architecture       x86\nscope              machine\n"
                       "display version    100 (the version)\n"),
            std::string::npos)
      << r.out;
  r = RunMksetup({"list", "--json", dir / "setup.exe"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"kind\" : \"installer\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"uninstaller\" : true"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"publisher\" : \"Tarnivex Beispiel GmbH\""), std::string::npos) << r.out;
  // The example takes the default codec; the window covers its few KiB.
  EXPECT_NE(r.out.find("\"compression\" : \"zstd\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"compression_level\" : 19"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"window_log\" : 12"), std::string::npos) << r.out;
  for (const char* field :
       {"\"architecture\" : \"x86\"", "\"scope\" : \"machine\"", "\"display_version\" : \"100\""})
    EXPECT_NE(r.out.find(field), std::string::npos) << field << r.out;

  r = RunMksetup({"verify", dir / "setup.exe"});
  EXPECT_EQ(r.status, 0) << r.err;

  r = RunMksetup({"extract", dir / "setup.exe", "-d", dir / "x"});
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path product = fs::path(kExample).parent_path();
  EXPECT_EQ(ListTree(dir / "x"),
            (std::vector<std::string>{"Vorlagen f\xC3\xBCr Briefe/brief.txt", "beispiel.exe",
                                      "beispiel.ico", "hilfe.txt", "hilfe/de/anleitung.txt",
                                      "hilfe/en/anleitung.txt", "kapitel1.txt", "kapitel2.txt",
                                      "liesmich.txt"}));
  for (const char* f : {"beispiel.exe", "beispiel.ico", "liesmich.txt", "daten/hilfe.txt"})
    EXPECT_EQ(ReadFile(dir / ("x/" + fs::path(f).filename().string())), ReadFile(product / f)) << f;
  // The tree of "zusatz", the same base name in two folders among it.
  for (const char* f :
       {"hilfe/de/anleitung.txt", "hilfe/en/anleitung.txt", "Vorlagen f\xC3\xBCr Briefe/brief.txt"})
    EXPECT_EQ(ReadFile(dir / (std::string("x/") + f)), ReadFile(product / "zusatz" / f)) << f;
}

TEST_F(Cli, RebuildsAreByteIdenticalAndTheStubMayComeFromTheEnvironment) {
  ASSERT_EQ(Build(kExample, dir / "1.exe").status, 0);
  setenv("MKSETUP_STUB", stub.c_str(), 1);
  RunResult r = RunMksetup({"build", kExample, "-o", dir / "2.exe"});
  unsetenv("MKSETUP_STUB");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(dir / "1.exe"), ReadFile(dir / "2.exe"));
  ASSERT_EQ(
      Build(std::string(EXAMPLES_DIR) + "/beispiel/beispiel-patch.toml", dir / "p.exe").status, 0);
  EXPECT_EQ(RunMksetup({"verify", dir / "p.exe"}).status, 0);
}

// The product's keys reach the program and the listing; their defaults,
// written out or left away, give the bytes of a manifest without them. A
// per-user program asks for no elevation, with either stub.
TEST_F(Cli, ProductKeysAreListedAndPerUserProgramsAskForNoElevation) {
  SKIP_WITHOUT_SHIPPED_STUBS();
  WriteFile(dir / "p/a.txt", "a");
  auto build = [&](const std::string& keys, const std::string& out, const std::string& stubName) {
    WriteFile(dir / "p/m.toml", "kind = \"installer\"\nversion = 7\ncaption = \"c\"\n"
                                "product = \"p\"\nfiles = [\"a.txt\"]\n" +
                                    keys);
    return RunMksetup({"build", dir / "p/m.toml", "-o", out, "--stub", stubName});
  };
  ASSERT_EQ(build("", dir / "plain.exe", stub).status, 0);
  ASSERT_EQ(build("architecture = \"x86\"\nscope = \"machine\"\ndisplay_version = \"\"\n",
                  dir / "defaults.exe", stub)
                .status,
            0);
  EXPECT_EQ(ReadFile(dir / "plain.exe"), ReadFile(dir / "defaults.exe"));

  for (const char* stubName : {"x86", "x64"})
    for (const char* scope : {"machine", "user"}) {
      SCOPED_TRACE(std::string(stubName) + " " + scope);
      const std::string program = dir / "setup.exe";
      RunResult r = build("architecture = \"x64\"\nscope = \"" + std::string(scope) +
                              "\"\ndisplay_version = \"7.0 \u2013 Beta\"\n",
                          program, stubName);
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string bytes = ReadFile(program);
      std::string level, error;
      ASSERT_TRUE(archive::ReadExecutionLevel({bytes.begin(), bytes.end()}, level, error)) << error;
      const bool user = std::string(scope) == "user";
      EXPECT_EQ(level, user ? "asInvoker" : "requireAdministrator");
      // Read without the resource directory: the one level the image holds.
      EXPECT_EQ(bytes.find("requireAdministrator") == std::string::npos, user);
      EXPECT_EQ(bytes.find("level=\"asInvoker\"            uiAccess=") != std::string::npos, user);
      EXPECT_EQ(RunMksetup({"verify", program}).status, 0);
      r = RunMksetup({"list", program});
      EXPECT_NE(r.out.find("architecture       x64\nscope              " + std::string(scope) +
                           "\ndisplay version    7.0 \u2013 Beta\n"),
                std::string::npos)
          << r.out;
      r = RunMksetup({"list", "--json", program});
      EXPECT_NE(r.out.find("\"scope\" : \"" + std::string(scope) + "\""), std::string::npos)
          << r.out;
      EXPECT_NE(r.out.find("\"display_version\" : \"7.0 \u2013 Beta\""), std::string::npos)
          << r.out;
    }
  // A stub without an application manifest cannot make a per-user program.
  RunResult r = build("scope = \"user\"\n", dir / "out.exe", stub);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("cannot be made a per-user program: not a PE image"), std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists(dir / "out.exe"));
}

TEST_F(Cli, ManifestErrorsFailNamingTheKeyAndLeaveNoOutput) {
  WriteFile(dir / "p/a.txt", "a");
  WriteFile(dir / "p/sub/A.TXT", "A");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"farbe = 1\n", "farbe: unknown key"},
      {"files = [\"a.txt\", \"fehlt.txt\"]\n", "fehlt.txt not found"},
      {"files = [\"a.txt\", \"sub/A.TXT\"]\n", "the name A.TXT is carried already"},
      {"readme = \"liesmich.txt\"\n", "readme: liesmich.txt is not among"},
  };
  for (const auto& [extra, named] : cases) {
    std::string text = "kind = \"installer\"\nversion = 1\ncaption = \"c\"\nproduct = \"p\"\n";
    if (!extra.starts_with("files")) text += "files = [\"a.txt\"]\n";
    WriteFile(dir / "p/m.toml", text + extra);
    RunResult r = Build(dir / "p/m.toml", dir / "out.exe");
    EXPECT_NE(r.status, 0) << named;
    EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.exe")) << named;
    EXPECT_FALSE(fs::exists(dir / "out.exe.part")) << named;
  }
  RunResult r = RunMksetup({"build", kExample, "-o", dir / "out.exe", "--stub", dir / "fehlt"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("fehlt"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "out.exe"));
}

TEST_F(Cli, VerifyAndExtractNameTheDefect) {
  ASSERT_EQ(Build(kExample, dir / "setup.exe").status, 0);
  std::string bytes = ReadFile(dir / "setup.exe");
  WriteFile(dir / "kurz.exe", bytes.substr(0, bytes.size() - 1));
  RunResult r = RunMksetup({"verify", dir / "kurz.exe"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("trailer length"), std::string::npos) << r.err;

  // A name with a directory part, crafted behind a valid stream.
  archive::VectorSink sink;
  archive::HufCounts counts{};
  archive::CountBytes(counts, "xy", 2);
  archive::HufEncoder encoder(counts, sink);
  encoder.Write("xy", 2);
  encoder.Finish();
  archive::ArchiveTrailer t;
  t.productName = "p";
  t.entries = {{2, "sub/x"}};
  archive::WriteTrailer(sink, t);
  WriteFile(dir / "evil.exe", std::string(sink.bytes.begin(), sink.bytes.end()));
  r = RunMksetup({"extract", dir / "evil.exe", "-d", dir / "x"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("unsafe entry name [sub/x]"), std::string::npos) << r.err;
  EXPECT_TRUE(!fs::exists(dir / "x") || ListDir(dir / "x").empty());
  EXPECT_NE(RunMksetup({"verify", dir / "evil.exe"}).status, 0);
}

TEST(CliHelp, EveryCommandHasHelp) {
  for (const char* command : {"build", "list", "extract", "verify"}) {
    RunResult r = RunMksetup({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_NE(r.out.find("Usage"), std::string::npos) << command;
  }
  EXPECT_NE(RunMksetup({"build", "--help"}).out.find("[shortcuts]"), std::string::npos);
  EXPECT_NE(RunMksetup({}).status, 0);
}
