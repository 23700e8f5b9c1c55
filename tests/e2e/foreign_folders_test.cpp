// Folders whose names the ANSI code page cannot write: the setup program in
// one, and the temporary folder in one. The program is started through the
// wide API, as the shell starts it; it must install, or say which folder it
// cannot use, and never report a file that is there as not found.
#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

size_t EntriesIn(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  size_t n = 0;
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") ++n;
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return n;
}

class ForeignFolderTest : public SetupTest {
protected:
  ForeignFolderTest() { CreateDirectoryW(Foreign().c_str(), nullptr); }

  // "Łukasz Dvořák": the code page has neither Ł nor ř.
  std::wstring Foreign() const { return Wide(m_dir.Path()) + L"\\\u0141ukasz Dvo\u0159\u00E1k"; }

  void BuildProduct() { Build(Installer(), {ProductProgram(), Source("daten.txt", "Daten")}); }

  // Welcome to finish page into Target(), then closed.
  void InstallThroughTheWizard() {
    Window dlg = Running().WaitForDialog(kCaption);
    ASSERT_TRUE(dlg) << "no wizard";
    GoToDirectoryPage(dlg);
    InstallInto(dlg, Target());
    EXPECT_TRUE(Shows(dlg, FinishPage(false)));
    Close(dlg);
    EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\daten.txt"), "Daten");
  }
  std::vector<std::string> InstalledLog() const {
    return e2e::LogMessagesOf(e2e::ReadFileBytes(Target() + "\\install.log"));
  }
};

TEST_F(ForeignFolderTest, SetupProgramInSuchAFolderInstallsAndLogsAPathThatNamesIt) {
  BuildProduct();
  std::wstring setup = Foreign() + L"\\setup.exe";
  ASSERT_TRUE(CopyFileW(Wide(m_setup).c_str(), setup.c_str(), FALSE));
  LaunchWide(setup, Foreign(), {L"TEMP=" + Wide(TempFolder()), L"TMP=" + Wide(TempFolder())});
  InstallThroughTheWizard();

  std::string logged = Logged(InstalledLog(), "Opening Archive");
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.find('?'), std::string::npos) << logged;
  EXPECT_NE(GetFileAttributesA(logged.c_str()), INVALID_FILE_ATTRIBUTES) << logged;
  EXPECT_EQ(EntriesIn(Wide(TempFolder())), 0u);
}

TEST_F(ForeignFolderTest, TemporaryFolderInSuchAFolderIsUsedAndRemoved) {
  BuildProduct();
  std::wstring temp = Foreign() + L"\\Temp";
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
  LaunchWide(Wide(m_setup), Wide(m_dir.Path()), {L"TEMP=" + temp, L"TMP=" + temp});
  InstallThroughTheWizard();

  std::string copied = Logged(InstalledLog(), "Copying File");
  EXPECT_EQ(copied.find('?'), std::string::npos) << copied;
  EXPECT_EQ(EntriesIn(temp), 0u) << "the private temporary folder is left behind";
}

TEST_F(ForeignFolderTest, TemporaryFolderWithoutAFormTheCodePageCanWriteIsNamedInTheMessage) {
  // A folder that does not exist has no short name either.
  BuildProduct();
  std::wstring temp = Foreign() + L"\\fehlt";
  LaunchWide(Wide(m_setup), Wide(m_dir.Path()), {L"TEMP=" + temp, L"TMP=" + temp});
  Window dlg = Running().WaitForDialog(kCaption);
  ASSERT_TRUE(dlg);
  GoToDirectoryPage(dlg);
  dlg.SetItemText(IDC_EDIT_DIR, Target());
  EXPECT_TRUE(dlg.Click(IDOK));
  std::string shown = Display(temp + L"\\");
  ExpectBox(kCaption, Text(IDS_OPEN_FAILED, shown), IDOK);
  EXPECT_TRUE(Running().WaitForExit());
  EXPECT_EQ(Logged(Running().LogMessages(), "Temporary folder not usable"), shown);
  EXPECT_EQ(FilesIn(Target()), std::vector<std::string>{});
}

} // namespace
} // namespace setup_e2e
