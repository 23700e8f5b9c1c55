// "Schliessen" on the finish page: the log moves into the target, the
// product starts once with " -install", the readme opens when ticked and the
// product key records the installation.
#include <fstream>

#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

class FinishTest : public SetupTest {
protected:
  std::string Key() const { return "Software\\Tarnivex\\" + m_product; }
  // Installs into `target` and waits on the finish page.
  Window InstallUpToTheFinishPage(const std::string& target, bool readme = false) {
    Window dlg = Start();
    GoToDirectoryPage(dlg);
    InstallInto(dlg, target);
    EXPECT_TRUE(Shows(dlg, FinishPage(readme)));
    return dlg;
  }
  std::string ReadmeInstaller(const std::string& readme) {
    archive::ArchiveTrailer t = Installer();
    t.hasReadme = 1;
    t.readmeFile = readme;
    Build(t, {ProductProgram(), Source(readme, "Bitte lesen.")});
    return readme;
  }
  // Nothing appears in the file for a while.
  static bool StaysAbsent(const std::string& path) {
    return !e2e::WaitUntil(
        [&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }, 2000);
  }
};

TEST_F(FinishTest, LogMovesProductStartsOnceQuotedAndTheKeyIsWritten) {
  // An unquoted "...\Ziel Ordner\prog.exe" would start this program instead.
  ASSERT_TRUE(
      CopyFileA(ProductProgram().sourcePath.c_str(), m_dir.File("Ziel.exe").c_str(), FALSE));
  Build(Installer(), {ProductProgram()});
  Close(InstallUpToTheFinishPage(Target()));

  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\started.txt"),
            "\"" + Target() + "\\prog.exe\" -install\r\n");
  EXPECT_TRUE(StaysAbsent(m_dir.File("started.txt")));

  EXPECT_EQ(GetFileAttributesA(m_dir.File("install.log").c_str()), INVALID_FILE_ATTRIBUTES);
  std::vector<std::string> log = e2e::LogMessagesOf(e2e::ReadFileBytes(Target() + "\\install.log"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "Setup Step 1 Initialized");
  EXPECT_EQ(log.back(), "Setup Step 1 finished");

  char path[MAX_PATH] = "", exe[MAX_PATH] = "";
  DWORD pathSize = sizeof(path), exeSize = sizeof(exe), version = 0, versionSize = 4;
  EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, Key().c_str(), "Path", RRF_RT_REG_SZ, nullptr, path,
                         &pathSize),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(path), Target() + "\\");
  EXPECT_EQ(
      RegGetValueA(HKEY_CURRENT_USER, Key().c_str(), "Exe", RRF_RT_REG_SZ, nullptr, exe, &exeSize),
      ERROR_SUCCESS);
  EXPECT_EQ(std::string(exe), "prog.exe");
  EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, Key().c_str(), "Version", RRF_RT_REG_DWORD, nullptr,
                         &version, &versionSize),
            ERROR_SUCCESS);
  EXPECT_EQ(version, 3u);
}

TEST_F(FinishTest, SecondInstallIntoTheSameFolderKeepsTheOlderLog) {
  Build(Installer(), {ProductProgram()});
  Close(InstallUpToTheFinishPage(Target()));
  std::string first = e2e::ReadFileBytes(Target() + "\\install.log");
  ASSERT_FALSE(first.empty());

  Window dlg = Start();
  EXPECT_EQ(GoToDirectoryPage(dlg), Target()) << "the recorded path is proposed";
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kCaption, Text(IDS_DIR_EXISTS, Target()), IDYES);
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\install.log"), first);
  EXPECT_EQ(Running().LogMessages().back(), "Setup Step 1 finished") << "stays in the work folder";
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\started.txt"), "\"" + Target() +
                                                                "\\prog.exe\" -install\r\n"
                                                                "\"" +
                                                                Target() +
                                                                "\\prog.exe\" -install\r\n");
}

TEST_F(FinishTest, TickedReadmeOpensWithItsRegisteredProgram) {
  std::string readme = ReadmeInstaller("liesmich" + RegisterDocumentType());
  Window dlg = InstallUpToTheFinishPage(Target(), true);
  EXPECT_EQ(dlg.ItemText(IDC_README_CHECK), Text(IDS_README_CHECK, m_product));
  EXPECT_TRUE(dlg.ItemChecked(IDC_README_CHECK));
  Close(dlg);
  ASSERT_TRUE(e2e::WaitUntil([&] { return !e2e::ReadFileBytes(OpenedRecord()).empty(); }));
  std::string command = e2e::ReadFileBytes(OpenedRecord());
  std::string document = "\"" + Target() + "\\" + readme + "\"";
  EXPECT_EQ(command.substr(command.size() - document.size()), document) << command;
  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{});
}

TEST_F(FinishTest, ClearedReadmeBoxOpensNothing) {
  ReadmeInstaller("liesmich" + RegisterDocumentType());
  Window dlg = InstallUpToTheFinishPage(Target(), true);
  EXPECT_TRUE(dlg.SetCheck(IDC_README_CHECK, false));
  Close(dlg);
  EXPECT_TRUE(StaysAbsent(OpenedRecord()));
  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{});
}

TEST_F(FinishTest, ReadmeOfAnUnknownTypeIsReportedAndTheFinishGoesOn) {
  std::string readme =
      ReadmeInstaller("liesmich.unbekannt" + std::to_string(GetCurrentProcessId()));
  Window dlg = InstallUpToTheFinishPage(Target(), true);
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kAppName, Text(IDS_README_FAILED, readme), IDOK);
  EXPECT_TRUE(Running().WaitForExit());
  EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, Key().c_str(), "Path", RRF_RT_REG_SZ, nullptr, nullptr,
                         nullptr),
            ERROR_SUCCESS);
}

} // namespace
} // namespace setup_e2e
