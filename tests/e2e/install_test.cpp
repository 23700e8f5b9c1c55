// What the installation leaves in the target directory, and the two
// failures the user sees on the way: a damaged archive and a directory that
// cannot be made.
#include <fstream>

#include "archive/common/byte_io.h"
#include "archive/format/trailer.h"
#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

class InstallTest : public SetupTest {
protected:
  // Installs into `target` and closes the finish page.
  void InstallAndClose(const std::string& target) {
    Window dlg = Start();
    GoToDirectoryPage(dlg);
    InstallInto(dlg, target);
    EXPECT_TRUE(Shows(dlg, FinishPage(false)));
    Close(dlg);
  }
  // Starts the installation into `target`, which must fail with `message`.
  void ExpectFailure(const std::string& target, const std::string& message) {
    Window dlg = Start();
    GoToDirectoryPage(dlg);
    dlg.SetItemText(IDC_EDIT_DIR, target);
    EXPECT_TRUE(dlg.Click(IDOK));
    ExpectBox(kCaption, message, IDOK);
    EXPECT_TRUE(Running().WaitForExit());
    EXPECT_EQ(Running().ExitCode(), 0u);
    EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
    HKEY key;
    EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), &key),
              ERROR_SUCCESS);
  }
};

std::string PseudoRandomBytes(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 2024;
  for (char& c : bytes) c = char((state = state * 1664525u + 1013904223u) >> 23);
  return bytes;
}

TEST_F(InstallTest, FilesAreByteIdenticalIncludingEmptyOnesAndRegFilesGoToReg) {
  archive::ArchiveTrailer t = Installer();
  t.hasRegFiles = 1;
  t.regFiles = {"setup.reg", "", "", "Zweite.Reg"};
  std::vector<e2e::Payload> files = {
      ProductProgram(), Source("Bild.bin", PseudoRandomBytes(300000)), Source("leer.txt", ""),
      Source("SETUP.REG", "REGEDIT4\r\n"), Source("zweite.REG", "REGEDIT4\r\n\r\n")};
  Build(t, files);
  InstallAndClose(Target());

  EXPECT_EQ(FilesIn(Target()), (std::vector<std::string>{"Bild.bin", "Reg", "install.log",
                                                         "leer.txt", "prog.exe", "started.txt"}));
  EXPECT_EQ(FilesIn(Target() + "\\Reg"), (std::vector<std::string>{"SETUP.REG", "zweite.REG"}));
  for (const e2e::Payload& f : files) {
    bool reg = f.name.find(".REG") != std::string::npos;
    std::string installed = Target() + (reg ? "\\Reg\\" : "\\") + f.name;
    std::string bytes = e2e::ReadFileBytes(installed);
    EXPECT_EQ(bytes, e2e::ReadFileBytes(f.sourcePath)) << installed;
  }
  EXPECT_EQ(GetFileAttributesA((Target() + "\\leer.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(InstallTest, ExistingFilesAreOverwrittenAndOthersKept) {
  CreateDirectoryA(Target().c_str(), nullptr);
  std::ofstream(Target() + "\\daten.txt", std::ios::binary) << "alte, laengere Daten";
  std::ofstream(Target() + "\\fremd.txt", std::ios::binary) << "fremd";
  Build(Installer(), {ProductProgram(), Source("daten.txt", "neu")});
  Window dlg = Start();
  GoToDirectoryPage(dlg);
  dlg.SetItemText(IDC_EDIT_DIR, Target());
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kCaption, Text(IDS_DIR_EXISTS, Target()), IDYES);
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\daten.txt"), "neu");
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\fremd.txt"), "fremd");
}

TEST_F(InstallTest, DamagedPayloadIsReportedAndNothingIsInstalled) {
  Build(Installer(), {Source("daten.txt", "Daten")});
  // The stream starts with 256 byte counts: one more "D" than the
  // directory's sizes allow.
  uint32_t dataStart = 0;
  {
    archive::StdioFile file(m_setup);
    archive::ArchiveTrailer trailer;
    ASSERT_TRUE(archive::ReadTrailer(file, trailer).ok);
    dataStart = trailer.dataStart;
  }
  std::fstream program(m_setup, std::ios::binary | std::ios::in | std::ios::out);
  program.seekg(dataStart + 4 * 'D');
  char count = 0;
  program.read(&count, 1);
  ASSERT_EQ(count, 1) << "not the stream's counts";
  program.seekp(dataStart + 4 * 'D');
  program.put(char(count + 1));
  program.close();

  Window dlg = Start();
  GoToDirectoryPage(dlg);
  dlg.SetItemText(IDC_EDIT_DIR, Target());
  EXPECT_TRUE(dlg.Click(IDOK));
  Window box = Running().WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box.Text(), kCaption);
  std::string prefix = Text(IDS_OPEN_FAILED).substr(0, Text(IDS_OPEN_FAILED).find('"'));
  EXPECT_EQ(box.MessageText().substr(0, prefix.size()), prefix) << box.MessageText();
  EXPECT_TRUE(Program::Answer(box, IDOK));
  EXPECT_TRUE(Running().WaitForExit());
  EXPECT_EQ(FilesIn(Target()), std::vector<std::string>{});
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(InstallTest, CancelDuringATreeInstallationLeavesNoFolderOfItsOwn) {
  // Enough data that the cancel is seen while the stream is checked.
  std::vector<e2e::Payload> files = {ProductProgram()};
  files[0].name = "bin\\prog.exe";
  for (int i = 0; i < 4; ++i)
    files.push_back(
        Carried("daten\\teil" + std::to_string(i) + "\\block.bin", PseudoRandomBytes(4 << 20)));
  Build(Installer(), files);
  // Of the target's chain only "Vorhanden" exists already; it stays.
  const std::string existing = m_dir.File("Vorhanden");
  ASSERT_TRUE(CreateDirectoryA(existing.c_str(), nullptr));
  const std::string target = existing + "\\Neu\\Produkt";

  Window dlg = Start();
  GoToDirectoryPage(dlg);
  dlg.SetItemText(IDC_EDIT_DIR, target);
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(dlg.Click(IDCANCEL));
  ExpectBox(kCaption, Text(IDS_CANCEL_SETUP, m_product), IDYES);
  ASSERT_TRUE(Running().WaitForExit(30000));
  EXPECT_EQ(TreeIn(existing), (std::map<std::string, std::string>{}));
  EXPECT_EQ(GetFileAttributesA(existing.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            DWORD(FILE_ATTRIBUTE_DIRECTORY));
  // The stream is checked before the first folder is made.
  std::vector<std::string> log = Running().LogMessages();
  EXPECT_EQ(e2e::FindMessage(log, "Creating Directory [" + target + "\\]"), -1);
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(InstallTest, TargetThatCannotBeCreatedIsReported) {
  std::ofstream(m_dir.File("blockiert.txt")) << "a file, not a folder";
  std::string target = m_dir.File("blockiert.txt\\Produkt");
  Build(Installer(), {ProductProgram()});
  ExpectFailure(target, Text(IDS_DIR_FAILED, target + "\\"));
}

TEST_F(InstallTest, EmptyOrRelativeDirectoryFieldIsRefusedAndThePageStays) {
  // "\\" would be the root of the current drive, "relativ" below the
  // current folder: neither is asked about as an existing folder.
  Build(Installer(), {ProductProgram()});
  Window dlg = Start();
  GoToDirectoryPage(dlg);
  for (const std::string& typed : {std::string(), std::string("relativ")}) {
    SCOPED_TRACE(typed);
    dlg.SetItemText(IDC_EDIT_DIR, typed);
    EXPECT_TRUE(dlg.Click(IDOK));
    ExpectBox(kCaption,
              "Das Verzeichnis \"" + typed +
                  "\" ist kein vollst\xE4ndiger Pfad. Bitte geben Sie ein Verzeichnis mit "
                  "Laufwerk und Ordnernamen an, zum Beispiel \"C:\\Programme\\" +
                  m_product + "\".",
              IDOK);
    EXPECT_TRUE(Shows(dlg, DirectoryPage()));
    EXPECT_EQ(dlg.ItemText(IDC_EDIT_DIR), typed);
  }
  EXPECT_TRUE(dlg.Click(IDCANCEL));
  ExpectBox(kCaption, Text(IDS_CANCEL_SETUP, m_product), IDYES);
  EXPECT_TRUE(Running().WaitForExit());
  std::vector<std::string> log = Running().LogMessages();
  EXPECT_NE(e2e::FindMessage(log, "Target folder refused []"), -1);
  EXPECT_EQ(e2e::FindMessage(log, "Directory already exists."), -1);
  EXPECT_EQ(FilesIn(m_dir.Path()),
            (std::vector<std::string>{"install.log", "setup.exe", "source", "temp"}));
  EXPECT_EQ(GetFileAttributesA((m_dir.Path().substr(0, 2) + "\\prog.exe").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

} // namespace
} // namespace setup_e2e
