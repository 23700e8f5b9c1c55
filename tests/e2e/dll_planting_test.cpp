// DLLs left beside a downloaded setup program under the names of system
// DLLs must never run inside it. Wine is told to prefer a DLL in the
// program's folder to its own (as Windows' search order would), the planted
// copies are DLLs that leave a marker when loaded, and an installation runs
// from start to finish.
//
// Wine's own gdi32 and user32 load version.dll and uxtheme.dll before any
// program's first instruction, so those two cannot be tested here; the
// import-table check of the stub covers version.dll.
#include <filesystem>

#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

// The system DLLs that components load by name after start-up; each has a
// planted copy built from planted_dll.c.
const char* const kPlanted[] = {PLANTED_DLL_NAMES};

class DllPlantingTest : public SetupTest {
protected:
  // A program name of this test's own: Wine's per-program settings apply to
  // it alone, not to setup programs of tests running beside it.
  DllPlantingTest() {
    std::string name = "planted-" + std::to_string(GetCurrentProcessId()) + ".exe";
    m_setup = m_dir.File(name);
    m_overrides = "Software\\Wine\\AppDefaults\\" + name + "\\DllOverrides";
  }
  ~DllPlantingTest() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, m_overrides.substr(0, m_overrides.rfind('\\')).c_str());
  }

  // Copies every planted DLL beside the program and has Wine prefer a DLL in
  // the program's folder to its own for these names, as Windows' search
  // order would for DLLs that are not known DLLs.
  void Plant() {
    for (const char* name : kPlanted) {
      std::string source = e2e::WindowsPath(std::string(PLANTED_DLL_DIR) + "/" + name + ".dll");
      ASSERT_TRUE(CopyFileA(source.c_str(), m_dir.File(std::string(name) + ".dll").c_str(), FALSE))
          << source;
      const char order[] = "native,builtin";
      ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, m_overrides.c_str(), name, REG_SZ, order,
                                sizeof order),
                ERROR_SUCCESS);
    }
  }
  // The planted DLLs whose code ran.
  std::vector<std::string> Loaded() const {
    std::vector<std::string> loaded;
    for (const char* name : kPlanted)
      if (GetFileAttributesA(m_dir.File(std::string(name) + ".dll.loaded").c_str()) !=
          INVALID_FILE_ATTRIBUTES)
        loaded.push_back(name);
    return loaded;
  }

  std::string m_overrides;
};

TEST_F(DllPlantingTest, NoDllBesideTheProgramRunsDuringAnInstallation) {
  Build(Installer(), {ProductProgram(), Source("daten.txt", "Daten")});
  Plant();
  Window dlg = Start();
  GoToDirectoryPage(dlg);
  InstallInto(dlg, Target());
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\daten.txt"), "Daten");
  EXPECT_EQ(Loaded(), std::vector<std::string>{});
}

TEST_F(DllPlantingTest, NoDllBesideTheProgramRunsWhenTheArchiveIsRefused) {
  // The message box of a damaged archive is the first window of all.
  ASSERT_TRUE(e2e::BuildRawProgram(m_setup, {1, 2, 3}));
  Plant();
  Launch();
  Window box = Running().WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_TRUE(Program::Answer(box, IDOK));
  EXPECT_TRUE(Running().WaitForExit());
  EXPECT_EQ(Loaded(), std::vector<std::string>{});
}

} // namespace
} // namespace setup_e2e
