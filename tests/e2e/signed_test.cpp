// Signed programs, end to end: the installer and a patch are built, signed
// with osslsigncode by the signer that runs beside this test
// (signed_e2e.sh), and then run as a user runs them.
#include <cstdio>
#include <cstdlib>

#include "archive/common/byte_io.h"
#include "archive/format/execution_level.h"
#include "archive/huf/huf_encoder.h"
#include "archive/format/trailer.h"
#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

class SignedTest : public SetupTest {
protected:
  // Signs setup.exe in place: the signer's folder gets a copy and a request
  // file, and hands back the signed program.
  // `padding`: whether the signer must pad the program (one built elsewhere,
  // of a length that is no multiple of 8).
  void Sign(bool padding = false) {
    const char* folder = std::getenv("SIGNING_DIR");
    ASSERT_TRUE(folder) << "SIGNING_DIR is not set: run through signed_e2e.sh";
    const std::string base = e2e::WindowsPath(folder) + "\\" + m_product;
    ASSERT_TRUE(CopyFileA(m_setup.c_str(), (base + ".exe").c_str(), FALSE));
    const std::string request = base + ".request";
    std::FILE* f = std::fopen((request + ".part").c_str(), "wb");
    ASSERT_TRUE(f);
    std::fclose(f);
    ASSERT_TRUE(MoveFileA((request + ".part").c_str(), request.c_str()));
    ASSERT_TRUE(e2e::WaitUntil(
        [&] {
          return GetFileAttributesA((base + ".done").c_str()) != INVALID_FILE_ATTRIBUTES ||
                 GetFileAttributesA((base + ".failed").c_str()) != INVALID_FILE_ATTRIBUTES;
        },
        30000))
        << "no answer from the signer";
    ASSERT_NE(GetFileAttributesA((base + ".done").c_str()), INVALID_FILE_ATTRIBUTES)
        << e2e::ReadFileBytes(base + ".failed");
    ASSERT_TRUE(CopyFileA((base + ".signed.exe").c_str(), m_setup.c_str(), FALSE));

    archive::StdioFile file(m_setup);
    archive::ArchiveTrailer trailer;
    archive::TrailerReadResult r = archive::ReadTrailer(file, trailer);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(r.layout.Signed()) << "not signed";
    EXPECT_EQ(r.layout.signaturePadding != 0, padding) << r.layout.signaturePadding;
  }
  std::string Installed(const std::string& name) const { return Target() + "\\" + name; }
  // Signs setup.exe, installs it through the wizard and compares the files.
  void SignAndInstall(const std::vector<e2e::Payload>& files);
};

TEST_F(SignedTest, SignedInstallerInstalls) {
  const std::vector<e2e::Payload> files = {ProductProgram(), Source("daten.txt", "Daten"),
                                           Source("leer.txt", "")};
  Build(Installer(), files);
  SignAndInstall(files);
}

// A per-user product: its manifest, edited by the builder, is what was
// signed; the uninstaller it writes is a copy of its image and asks for no
// elevation either.
TEST_F(SignedTest, SignedZstdPerUserInstallerInstallsAndItsUninstallerAsksForNoElevation) {
  const std::vector<e2e::Payload> files = {ProductProgram(),
                                           Source("daten.txt", std::string(70000, 'D') + "Daten"),
                                           Source("leer.txt", "")};
  archive::ArchiveTrailer t = Installer();
  t.extension.codec = {archive::PayloadCodec::Zstd, 19, 25};
  t.extension.product.scope = archive::InstallScope::User;
  t.extension.uninstaller.enabled = true;
  Build(t, files);
  SignAndInstall(files);
  for (const std::string& program : {m_setup, Installed("uninstall.exe")}) {
    const std::string bytes = e2e::ReadFileBytes(program);
    std::string level, error;
    EXPECT_TRUE(archive::ReadExecutionLevel({bytes.begin(), bytes.end()}, level, error)) << error;
    EXPECT_EQ(level, "asInvoker") << program;
  }
  const std::string entry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + m_product;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) RegDeleteTreeA(root, entry.c_str());
}

void SignedTest::SignAndInstall(const std::vector<e2e::Payload>& files) {
  Sign();
  Window dlg = Start();
  GoToDirectoryPage(dlg);
  InstallInto(dlg, Target());
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  for (const e2e::Payload& f : files)
    EXPECT_EQ(e2e::ReadFileBytes(Installed(f.name)), e2e::ReadFileBytes(f.sourcePath)) << f.name;
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(SignedTest, AnotherBuildersInstallerPaddedByTheSignerRunsTheSetupWizard) {
  // The stub, the stream and the trailer back to back, with no padding of
  // the image: the program's length is no multiple of 8.
  const std::string program = e2e::ReadFileBytes(ProductProgram().sourcePath);
  archive::HufCounts counts{};
  archive::CountBytes(counts, program.data(), program.size());
  archive::VectorSink stream;
  archive::HufEncoder encoder(counts, stream);
  ASSERT_TRUE(encoder.Write(program.data(), program.size()) && encoder.Finish());
  archive::ArchiveTrailer t = Installer();
  t.entries = {{uint32_t(program.size()), "prog.exe"}};
  t.dataStart = uint32_t(e2e::ReadFileBytes(e2e::StubPath()).size());
  std::vector<uint8_t> tail = stream.bytes;
  for (std::vector<uint8_t> trailer = e2e::TrailerBytes(t);
       (t.dataStart + tail.size() + trailer.size()) % 8 == 0; trailer = e2e::TrailerBytes(t))
    t.caption += "!";
  const std::vector<uint8_t> trailer = e2e::TrailerBytes(t);
  tail.insert(tail.end(), trailer.begin(), trailer.end());
  ASSERT_TRUE(e2e::BuildRawProgram(m_setup, tail));
  Sign(true);

  Window dlg = Start();
  GoToDirectoryPage(dlg);
  InstallInto(dlg, Target());
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(e2e::ReadFileBytes(Installed("prog.exe")), program);
}

TEST_F(SignedTest, SignedPatchApplies) {
  CreateDirectoryA(Target().c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(ProductProgram().sourcePath.c_str(), Installed("prog.exe").c_str(), FALSE));
  {
    std::FILE* f = std::fopen(Installed("a.txt").c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("alt", f);
    std::fclose(f);
  }
  const std::string key = "Software\\Tarnivex\\" + m_product;
  const std::string path = Target() + "\\";
  DWORD version = 2;
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Path", REG_SZ, path.c_str(),
                            DWORD(path.size() + 1)),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Exe", REG_SZ, "prog.exe", 9),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "Version", REG_DWORD, &version, 4),
            ERROR_SUCCESS);

  archive::ArchiveTrailer t;
  t.installerFlag = 0;
  t.version = 3;
  t.caption = kCaption;
  t.productName = m_product;
  Build(t, {Source("a.txt", "neu"), Source("b.txt", "ganz neu")});
  Sign();

  const std::string title = m_product + " - Version 3";
  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, Page{Text(IDS_PATCH_WELCOME, title), "Weiter"}));
  ASSERT_TRUE(dlg.Click(IDOK));
  Page done{Text(IDS_FINISHED, title), "Weiter"};
  done.cancel = false;
  done.readme = true;
  ASSERT_TRUE(Shows(dlg, done));
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(Running().WaitForExit(30000));
  EXPECT_EQ(e2e::ReadFileBytes(Installed("a.txt")), "neu");
  EXPECT_EQ(e2e::ReadFileBytes(Installed("b.txt")), "ganz neu");
  DWORD now = 0, size = 4;
  EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "Version", RRF_RT_REG_DWORD, nullptr, &now,
                         &size),
            ERROR_SUCCESS);
  EXPECT_EQ(now, 3u);
  RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
}

} // namespace
} // namespace setup_e2e
