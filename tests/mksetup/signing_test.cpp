// Programs signed as vendors sign them, with osslsigncode and a throw-away
// certificate: the signature verifies, and mksetup still reads, checks and
// unpacks what it built.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "../archive/pe_image.h"
#include "archive/archive_builder.h"
#include "archive/format/execution_level.h"
#include "archive/huf/huf_encoder.h"
#include "test_files.h"

using namespace mksetup_test;
namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(EXAMPLES_DIR) + "/beispiel/beispiel.toml";

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Signing : ::testing::Test {
  TempDir dir;
  std::string stub = dir / "stub.exe";
  std::string key = dir / "key.pem";
  std::string cert = dir / "cert.pem";

  void SetUp() override {
    std::vector<uint8_t> image = pe_test::PeImage{}.Bytes();
    WriteFile(stub, std::string(image.begin(), image.end()));
    ASSERT_EQ(Run({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                   "-out", cert, "-subj", "/CN=Tarnivex Test", "-days", "2"}),
              0)
        << m_output;
  }

  // Runs a program with these arguments; its exit status, output in m_output.
  int Run(const std::vector<std::string>& args) {
    std::string command;
    for (const auto& a : args) command += Quote(a) + " ";
    command += ">" + Quote(dir / "run.log") + " 2>&1 </dev/null";
    int raw = std::system(command.c_str());
    m_output = ReadFile(dir / "run.log");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  int Sign(const std::string& in, const std::string& out, bool nest = false) {
    std::vector<std::string> args = {"osslsigncode", "sign", "-certs", cert, "-key", key};
    if (nest) args.insert(args.end(), {"-nest", "-h", "sha512"});
    args.insert(args.end(), {"-in", in, "-out", out});
    return Run(args);
  }
  int VerifySignature(const std::string& program) {
    return Run({"osslsigncode", "verify", "-CAfile", cert, "-in", program});
  }
  std::string Built(const std::string& name) {
    RunResult r = RunMksetup({"build", kExample, "-o", dir / name, "--stub", stub});
    EXPECT_EQ(r.status, 0) << r.err;
    return dir / name;
  }
  std::string m_output;
};

} // namespace

TEST_F(Signing, SignedInstallerVerifiesAndMksetupReadsIt) {
  const std::string program = Built("setup.exe");
  const uintmax_t size = fs::file_size(program);
  EXPECT_EQ(size % 8, 0u);
  const std::string signedProgram = dir / "signed.exe";
  ASSERT_EQ(Sign(program, signedProgram), 0) << m_output;
  EXPECT_EQ(VerifySignature(signedProgram), 0) << m_output;

  // The signer added its table right behind the archive, without padding.
  RunResult r = RunMksetup({"list", "--json", signedProgram});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\"signed\" : true"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"certificate_table_offset\" : " + std::to_string(size)), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"signature_padding\" : 0"), std::string::npos) << r.out;
  const uintmax_t table = fs::file_size(signedProgram) - size;
  EXPECT_NE(r.out.find("\"certificate_table_size\" : " + std::to_string(table)), std::string::npos)
      << r.out;
  r = RunMksetup({"list", signedProgram});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("signed             yes, certificate table of " + std::to_string(table) +
                       " bytes at offset " + std::to_string(size) + "\n"),
            std::string::npos)
      << r.out;
  r = RunMksetup({"verify", signedProgram});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("signed: yes, certificate table of " + std::to_string(table) + " bytes"),
            std::string::npos)
      << r.out;
  r = RunMksetup({"verify", program});
  EXPECT_NE(r.out.find("signed: no\n"), std::string::npos) << r.out;

  r = RunMksetup({"extract", signedProgram, "-d", dir / "signed"});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(RunMksetup({"extract", program, "-d", dir / "plain"}).status, 0);
  const std::vector<std::string> names = ListTree(dir / "plain");
  EXPECT_EQ(ListTree(dir / "signed"), names);
  for (const auto& name : names)
    EXPECT_EQ(ReadFile(dir / ("signed/" + name)), ReadFile(dir / ("plain/" + name))) << name;

  // The signature covers the archive: one changed byte in the trailer breaks it.
  std::string bytes = ReadFile(signedProgram);
  bytes[size - 8] ^= 0x01;
  WriteFile(dir / "changed.exe", bytes);
  EXPECT_NE(VerifySignature(dir / "changed.exe"), 0) << m_output;
}

TEST_F(Signing, NestedAndRepeatedSignaturesStillRead) {
  const std::string program = Built("setup.exe");
  ASSERT_EQ(Sign(program, dir / "once.exe"), 0) << m_output;
  ASSERT_EQ(Sign(dir / "once.exe", dir / "twice.exe", true), 0) << m_output;
  EXPECT_EQ(VerifySignature(dir / "twice.exe"), 0) << m_output;
  EXPECT_NE(m_output.find("Number of verified signatures: 2"), std::string::npos) << m_output;
  EXPECT_GT(fs::file_size(dir / "twice.exe"), fs::file_size(dir / "once.exe"));
  // Signing a signed program again replaces its signature.
  ASSERT_EQ(Sign(dir / "twice.exe", dir / "again.exe"), 0) << m_output;
  for (const char* name : {"twice.exe", "again.exe"}) {
    RunResult r = RunMksetup({"verify", dir / name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_NE(r.out.find("signed: yes"), std::string::npos) << r.out;
  }
}

// A per-user program's manifest is edited before it is signed: the
// signature verifies, with either stub, and the level stays.
TEST_F(Signing, PerUserProgramsOfBothStubsVerify) {
  SKIP_WITHOUT_SHIPPED_STUBS();
  WriteFile(dir / "p/a.txt", "a");
  WriteFile(dir / "p/m.toml", "kind = \"installer\"\nversion = 1\ncaption = \"c\"\n"
                              "product = \"p\"\nscope = \"user\"\nfiles = [\"a.txt\"]\n");
  for (const char* stubName : {"x86", "x64"}) {
    SCOPED_TRACE(stubName);
    RunResult r =
        RunMksetup({"build", dir / "p/m.toml", "-o", dir / "user.exe", "--stub", stubName});
    ASSERT_EQ(r.status, 0) << r.err;
    fs::remove(dir / "signed.exe");
    ASSERT_EQ(Sign(dir / "user.exe", dir / "signed.exe"), 0) << m_output;
    EXPECT_EQ(VerifySignature(dir / "signed.exe"), 0) << m_output;
    const std::string bytes = ReadFile(dir / "signed.exe");
    std::string level, error;
    ASSERT_TRUE(archive::ReadExecutionLevel({bytes.begin(), bytes.end()}, level, error)) << error;
    EXPECT_EQ(level, "asInvoker");
    EXPECT_EQ(RunMksetup({"verify", dir / "signed.exe"}).status, 0);
  }
}

// Another builder's program whose length is no multiple of 8: the signer
// pads it with zero bytes, and the archive is found in front of them.
TEST_F(Signing, ProgramPaddedBySignerReads) {
  for (size_t extra = 0; extra < 8; ++extra) {
    std::string payload = "Hallo Welt, hallo Signatur" + std::string(extra, '!');
    archive::VectorSink sink;
    std::string image = ReadFile(stub);
    sink.Write(image.data(), image.size());
    archive::HufCounts counts{};
    archive::CountBytes(counts, payload.data(), payload.size());
    archive::HufEncoder encoder(counts, sink);
    ASSERT_TRUE(encoder.Write(payload.data(), payload.size()) && encoder.Finish());
    archive::ArchiveTrailer t;
    t.caption = "c";
    t.productName = "p";
    t.entries = {{uint32_t(payload.size()), "hallo.txt"}};
    t.dataStart = uint32_t(image.size());
    archive::WriteTrailer(sink, t);
    const size_t padding = (8 - sink.bytes.size() % 8) % 8;
    WriteFile(dir / "foreign.exe", std::string(sink.bytes.begin(), sink.bytes.end()));
    fs::remove(dir / "signed.exe");

    ASSERT_EQ(Sign(dir / "foreign.exe", dir / "signed.exe"), 0) << m_output;
    EXPECT_EQ(VerifySignature(dir / "signed.exe"), 0) << m_output;
    RunResult r = RunMksetup({"list", "--json", dir / "signed.exe"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"signature_padding\" : " + std::to_string(padding)), std::string::npos)
        << r.out;
    fs::remove_all(dir / "x");
    r = RunMksetup({"extract", dir / "signed.exe", "-d", dir / "x"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "x/hallo.txt"), payload);
  }
}

TEST_F(Signing, SignedStubIsRefused) {
  ASSERT_EQ(Sign(stub, dir / "signed-stub.exe"), 0) << m_output;
  RunResult r =
      RunMksetup({"build", kExample, "-o", dir / "setup.exe", "--stub", dir / "signed-stub.exe"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("is signed"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "setup.exe"));
}
