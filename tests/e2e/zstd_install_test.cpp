// An installer whose payload is a zstd frame, run as a user runs it: the
// tree arrives byte for byte, a damaged frame is reported with string 1 and
// writes nothing, and a cancel while the frame is checked leaves nothing.
#include <fstream>

#include "archive/common/byte_io.h"
#include "archive/format/trailer.h"
#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

class ZstdInstallTest : public SetupTest {
protected:
  archive::ArchiveTrailer ZstdInstaller() const {
    archive::ArchiveTrailer t = Installer();
    t.extension.codec = {archive::PayloadCodec::Zstd, 19, 25};
    return t;
  }
  // Text-like bytes with noise: what a product's files look like to zstd.
  static std::string ProductBytes(size_t size, uint32_t seed) {
    std::string bytes;
    bytes.reserve(size);
    const char* words[] = {"Fenster ", "Datei ", "\r\n", "Einstellungen ", "0123 "};
    while (bytes.size() < size) {
      seed = seed * 1664525u + 1013904223u;
      if (seed >> 29 == 0)
        bytes.push_back(char(seed >> 13));
      else
        bytes += words[(seed >> 16) % 5];
    }
    bytes.resize(size);
    return bytes;
  }
  // The payload stream's offset and length in setup.exe.
  std::pair<uint64_t, uint64_t> Stream() const {
    archive::StdioFile file(m_setup);
    archive::ArchiveTrailer trailer;
    archive::TrailerReadResult r = archive::ReadTrailer(file, trailer);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(trailer.extension.codec.codec, archive::PayloadCodec::Zstd);
    return {r.layout.dataStart, r.layout.StreamLength()};
  }
};

TEST_F(ZstdInstallTest, WizardInstallsTheTreeByteForByte) {
  std::vector<e2e::Payload> files = {ProductProgram()};
  files[0].name = "bin\\prog.exe";
  files.push_back(Carried("bin\\lib\\kern.dll", ProductBytes(700000, 1)));
  files.push_back(Carried("hilfe\\de\\index.html", ProductBytes(90000, 2)));
  files.push_back(Carried("hilfe\\leer.txt", ""));
  files.push_back(Carried("daten.bin", ProductBytes(1 << 20, 3)));
  archive::ArchiveTrailer t = ZstdInstaller();
  t.programFile = "bin\\prog.exe";
  Build(t, files);

  Window dlg = Start();
  GoToDirectoryPage(dlg);
  InstallInto(dlg, Target());
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  for (const e2e::Payload& f : files)
    EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\" + f.name), e2e::ReadFileBytes(f.sourcePath))
        << f.name;
  EXPECT_EQ(FilesIn(Target() + "\\hilfe"), (std::vector<std::string>{"de", "leer.txt"}));
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(ZstdInstallTest, DamagedFrameShowsString1AndWritesNothing) {
  Build(ZstdInstaller(),
        {ProductProgram(), Source("daten.txt", ProductBytes(400000, 4)), Source("b.txt", "b")});
  auto [start, length] = Stream();
  {
    std::fstream program(m_setup, std::ios::binary | std::ios::in | std::ios::out);
    program.seekg(std::streamoff(start + length / 2));
    char byte = 0;
    program.read(&byte, 1);
    program.seekp(std::streamoff(start + length / 2));
    program.put(char(byte ^ 0x21));
  }

  Window dlg = Start();
  GoToDirectoryPage(dlg);
  dlg.SetItemText(IDC_EDIT_DIR, Target());
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kCaption,
            Text(IDS_OPEN_FAILED, "Das Archiv ist besch\xE4"
                                  "digt"),
            IDOK);
  EXPECT_TRUE(Running().WaitForExit());
  EXPECT_EQ(FilesIn(Target()), std::vector<std::string>{});
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
  bool logged = false;
  for (const std::string& line : Running().LogMessages())
    logged = logged || line.rfind("Damaged Archive [damaged stream: zstd frame", 0) == 0;
  EXPECT_TRUE(logged);
}

TEST_F(ZstdInstallTest, CancelWhileTheFrameIsCheckedLeavesNothingBehind) {
  std::vector<e2e::Payload> files = {ProductProgram()};
  for (int i = 0; i < 3; ++i)
    files.push_back(
        Carried("daten\\teil" + std::to_string(i) + "\\block.bin", ProductBytes(2 << 20, 10 + i)));
  Build(ZstdInstaller(), files);
  ASSERT_GT(Stream().second, 256u * 1024) << "the check must take several input blocks";
  const std::string existing = m_dir.File("Vorhanden");
  ASSERT_TRUE(CreateDirectoryA(existing.c_str(), nullptr));
  const std::string target = existing + "\\Neu\\Produkt";

  Window dlg = Start();
  GoToDirectoryPage(dlg);
  dlg.SetItemText(IDC_EDIT_DIR, target);
  // Both clicks wait in the queue: the cancel is seen at the check's first pump.
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(dlg.Click(IDCANCEL));
  ExpectBox(kCaption, Text(IDS_CANCEL_SETUP, m_product), IDYES);
  ASSERT_TRUE(Running().WaitForExit(30000));
  EXPECT_EQ(TreeIn(existing), (std::map<std::string, std::string>{}));
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
  for (const std::string& line : Running().LogMessages())
    EXPECT_NE(line.rfind("Copying File", 0), 0u) << line;
}

} // namespace
} // namespace setup_e2e
