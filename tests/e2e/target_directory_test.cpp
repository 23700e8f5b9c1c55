// Where the product goes: the check for a newer installed version, the
// proposed directory and the question before an existing directory is used.
#include <shlobj.h>

#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

class TargetDirectoryTest : public SetupTest {
protected:
  std::string Key() const { return "Software\\Tarnivex\\" + m_product; }
  void RecordInstalled(const std::string& path) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, Key().c_str(), "Path", REG_SZ, path.c_str(),
                              DWORD(path.size() + 1)),
              ERROR_SUCCESS);
  }
  void RecordVersion(DWORD version) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, Key().c_str(), "Version", REG_DWORD, &version, 4),
              ERROR_SUCCESS);
  }
  std::string NewerQuestion() const {
    return "Eine aktuellere Version von \"" + m_product +
           "\" ist bereits installiert. M\xF6"
           "chten Sie die Installation trotzdem fortfahren?";
  }
  // Starts the program, which asks about the newer version before the wizard.
  void StartExpectingTheQuestion(int answer) {
    Launch();
    ExpectBox(kAppName, NewerQuestion(), answer);
  }
};

TEST_F(TargetDirectoryTest, NewerInstalledVersionAnsweredYesGoesOnWithTheStoredPath) {
  RecordInstalled("C:\\Alt\\Produkt\\");
  RecordVersion(4);
  Build(Installer());
  StartExpectingTheQuestion(IDYES);
  Window dlg = Running().WaitForDialog(kCaption);
  ASSERT_TRUE(dlg);
  EXPECT_TRUE(Shows(dlg, Welcome()));
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(Shows(dlg, DirectoryPage()));
  EXPECT_EQ(dlg.ItemText(IDC_EDIT_DIR), "C:\\Alt\\Produkt");
}

TEST_F(TargetDirectoryTest, NewerInstalledVersionAnsweredNoEndsTheProgram) {
  RecordInstalled("C:\\Alt\\Produkt\\");
  RecordVersion(4);
  Build(Installer());
  StartExpectingTheQuestion(IDNO);
  EXPECT_TRUE(Running().WaitForExit());
  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{kAppName});
  EXPECT_EQ(e2e::FindMessage(Running().LogMessages(), "Installing into [C:\\Alt\\Produkt]"), -1);
}

TEST_F(TargetDirectoryTest, NoQuestionForTheSameOrAnUnknownVersion) {
  RecordInstalled("C:\\Alt\\Produkt\\");
  Build(Installer());
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    if (variant == 0) RecordVersion(3); // the version carried
    if (variant == 1) RegDeleteKeyValueA(HKEY_CURRENT_USER, Key().c_str(), "Version");
    if (variant == 2) RegSetKeyValueA(HKEY_CURRENT_USER, Key().c_str(), "Version", REG_SZ, "9", 2);
    Window dlg = Start();
    EXPECT_EQ(GoToDirectoryPage(dlg), "C:\\Alt\\Produkt");
    EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{});
    EXPECT_TRUE(dlg.Click(IDCANCEL));
    ExpectBox(kCaption, Text(IDS_CANCEL_SETUP, m_product), IDYES);
    EXPECT_TRUE(Running().WaitForExit());
  }
}

// Per machine below the program files folder of the product's view; per user
// below the user's own program folder, where a machine folder typed in is
// refused and the proposal comes back.
TEST_F(TargetDirectoryTest, ProposalLiesBelowProgramFilesWithOrWithoutTheGroup) {
  ASSERT_FALSE(ProgramFilesDir().empty());
  archive::ArchiveTrailer t = Installer();
  for (const Placement& placement : Placements())
    for (std::string group : {"", "Tarnivex Spiele"}) {
      SCOPED_TRACE(placement.name + (" " + group));
      t.startMenuGroup = group;
      t.extension.product = placement.product;
      Build(t);
      Window dlg = Start();
      std::string expected =
          ProductsFolder(placement.product) + (group.empty() ? "" : "\\" + group);
      EXPECT_EQ(GoToDirectoryPage(dlg), expected + "\\" + m_product);
      if (placement.product.scope == archive::InstallScope::User && group.empty()) {
        const std::string machine = ProgramFilesDir() + "\\" + m_product;
        dlg.SetItemText(IDC_EDIT_DIR, machine);
        EXPECT_TRUE(dlg.Click(IDOK));
        ExpectBox(kCaption,
                  "In das Verzeichnis \"" + machine +
                      "\" kann ohne Administratorrechte nicht installiert werden. Bitte w\xE4hlen "
                      "Sie ein Verzeichnis, in das Sie schreiben d\xFCrfen, zum Beispiel in Ihrem "
                      "Benutzerverzeichnis.",
                  IDOK);
        EXPECT_TRUE(e2e::WaitUntil(
            [&] { return dlg.ItemText(IDC_EDIT_DIR) == expected + "\\" + m_product; }));
        EXPECT_EQ(GetFileAttributesA(machine.c_str()), INVALID_FILE_ATTRIBUTES);
      }
      EXPECT_TRUE(dlg.Click(IDCANCEL));
      ExpectBox(kCaption, Text(IDS_CANCEL_SETUP, m_product), IDYES);
      EXPECT_TRUE(Running().WaitForExit());
    }
}

TEST_F(TargetDirectoryTest, ExistingDirectoryAnsweredNoShowsTheProposalAgain) {
  CreateDirectoryA(Target().c_str(), nullptr);
  Build(Installer(), {ProductProgram()});
  Window dlg = Start();
  std::string proposal = GoToDirectoryPage(dlg);
  dlg.SetItemText(IDC_EDIT_DIR, Target());
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kCaption, Text(IDS_DIR_EXISTS, Target()), IDNO);
  EXPECT_TRUE(Shows(dlg, DirectoryPage()));
  EXPECT_EQ(dlg.ItemText(IDC_EDIT_DIR), proposal) << "not the rejected text";
  EXPECT_EQ(FilesIn(Target()), std::vector<std::string>{});

  // The question again, now answered Yes: the installation goes on.
  dlg.SetItemText(IDC_EDIT_DIR, Target());
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kCaption, Text(IDS_DIR_EXISTS, Target()), IDYES);
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(FilesIn(Target()),
            (std::vector<std::string>{"install.log", "prog.exe", "started.txt"}));
  std::vector<std::string> log = e2e::LogMessagesOf(e2e::ReadFileBytes(Target() + "\\install.log"));
  int first = e2e::FindMessage(log, "Installing into [" + Target() + "]");
  ASSERT_GE(first, 0);
  EXPECT_EQ(log[first + 1], "Directory already exists.");
  int second = e2e::FindMessage(log, "Installing into [" + Target() + "]", first + 1);
  ASSERT_GT(second, first);
  EXPECT_EQ(log[second + 1], "Directory already exists.");
  EXPECT_EQ(log[second + 2], "Installationdirectory confirmed");
}

TEST_F(TargetDirectoryTest, BrowsedFolderGetsTheProductNameAndACancelledBrowseChangesNothing) {
  Build(Installer());
  Window dlg = Start();
  GoToDirectoryPage(dlg);
  // The browser opens on the desktop; OK takes it.
  auto browse = [&](int button) {
    EXPECT_TRUE(dlg.Click(IDC_BROWSE));
    Window browser;
    e2e::WaitUntil([&] {
      for (const Window& w : Running().Dialogs())
        if (w.Handle() != dlg.Handle()) browser = w;
      return bool(browser);
    });
    ASSERT_TRUE(browser) << "no folder browser";
    EXPECT_EQ(browser.ItemText(14146), Text(IDS_BROWSE_TITLE, m_product)) << "its title";
    EXPECT_TRUE(browser.Click(button));
    EXPECT_TRUE(e2e::WaitUntil([&] { return !browser; }));
  };
  browse(IDOK);
  char desktop[MAX_PATH] = "";
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
  EXPECT_TRUE(e2e::WaitUntil([&] {
    return dlg.ItemText(IDC_EDIT_DIR) == std::string(desktop) + "\\" + m_product;
  })) << dlg.ItemText(IDC_EDIT_DIR);

  dlg.SetItemText(IDC_EDIT_DIR, "D:\\Eigene Wahl");
  browse(IDCANCEL);
  Sleep(200);
  EXPECT_EQ(dlg.ItemText(IDC_EDIT_DIR), "D:\\Eigene Wahl");
}

} // namespace
} // namespace setup_e2e
