// The program files folder the registry names, where the code page cannot
// write its name. The setting belongs to the whole Wine prefix, so these
// tests run with the shell tests, alone.
#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

const wchar_t kCurrentVersion[] = L"Software\\Microsoft\\Windows\\CurrentVersion";

// The long form of an existing path given in the code page.
std::wstring LongForm(const std::string& path) {
  wchar_t wide[MAX_PATH] = L"", full[MAX_PATH] = L"";
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
  DWORD n = GetLongPathNameW(wide, full, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(full, n) : std::wstring();
}

class ProgramFilesTest : public SetupTest {
protected:
  ProgramFilesTest() {
    wchar_t value[MAX_PATH] = L"";
    DWORD size = sizeof value;
    RegGetValueW(HKEY_LOCAL_MACHINE, kCurrentVersion, L"ProgramFilesDir", RRF_RT_REG_SZ, nullptr,
                 value, &size);
    m_saved = value;
    Build(Installer(), {ProductProgram(), Source("daten.txt", "Daten")});
  }
  ~ProgramFilesTest() override { Set(m_saved); }

  static void Set(const std::wstring& folder) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kCurrentVersion, L"ProgramFilesDir", REG_SZ,
                              folder.c_str(), DWORD((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  // "Programme Łukasz": the code page has no Ł, and best fit makes it L.
  std::wstring Foreign() const { return Wide(m_dir.Path()) + L"\\Programme \u0141ukasz"; }
  std::wstring BestFit() const { return Wide(m_dir.Path()) + L"\\Programme Lukasz"; }

  std::wstring m_saved;
};

TEST_F(ProgramFilesTest, FolderOutsideTheCodePageIsProposedInAFormThatNamesIt) {
  ASSERT_TRUE(CreateDirectoryW(Foreign().c_str(), nullptr));
  Set(Foreign());
  Window dlg = Start();
  std::string proposal = GoToDirectoryPage(dlg);
  EXPECT_EQ(proposal.find('?'), std::string::npos) << proposal;
  std::string suffix = "\\" + m_product;
  ASSERT_GT(proposal.size(), suffix.size());
  EXPECT_EQ(proposal.substr(proposal.size() - suffix.size()), suffix);
  EXPECT_EQ(LongForm(proposal.substr(0, proposal.size() - suffix.size())), Foreign()) << proposal;

  InstallInto(dlg, proposal);
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_NE(GetFileAttributesW((Foreign() + L"\\" + Wide(m_product) + L"\\daten.txt").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(BestFit().c_str()), INVALID_FILE_ATTRIBUTES)
      << "installed into the best-fit name, another folder";
}

TEST_F(ProgramFilesTest, FolderWithoutAFormTheCodePageCanWriteIsNamedAndNothingIsProposed) {
  // A folder that does not exist has no short name either.
  Set(Foreign());
  Window dlg = Start();
  EXPECT_TRUE(Shows(dlg, Welcome()));
  EXPECT_TRUE(dlg.Click(IDOK));
  std::string shown = Display(Foreign());
  ExpectBox(kCaption, Text(IDS_OPEN_FAILED, shown), IDOK);
  EXPECT_TRUE(Shows(dlg, DirectoryPage()));
  EXPECT_EQ(dlg.ItemText(IDC_EDIT_DIR), "");
  EXPECT_EQ(Logged(Running().LogMessages(), "Program files folder not usable"), shown);

  // The user's own choice installs as ever.
  InstallInto(dlg, Target());
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\daten.txt"), "Daten");
  EXPECT_EQ(GetFileAttributesW(BestFit().c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
} // namespace setup_e2e
