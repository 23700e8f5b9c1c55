// The shortcuts the installation offers: the options dialog or a Yes/No
// question, the desktop link, the start-menu folder and its links, read back
// through the shell-link object. The user's shell folders point into the
// test's own folder while a test runs.
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <fstream>
#include <ostream>

#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kShellFoldersW[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// What a link file holds.
struct Link {
  std::string path;
  std::string arguments;
  std::string workingDirectory;
  std::string description;
  std::string icon;
  int iconIndex = 0;
  bool operator==(const Link&) const = default;
};

void PrintTo(const Link& link, std::ostream* os) {
  *os << "{path \"" << link.path << "\", arguments \"" << link.arguments << "\", directory \""
      << link.workingDirectory << "\", description \"" << link.description << "\", icon \""
      << link.icon << "\"," << link.iconIndex << "}";
}

// The link file read back; an empty Link when it cannot be loaded.
Link ReadLink(const std::string& file) {
  Link link;
  HRESULT init = CoInitialize(nullptr);
  IShellLinkA* shellLink = nullptr;
  IPersistFile* persist = nullptr;
  std::wstring widePath(file.begin(), file.end());
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&shellLink))) &&
      SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
      SUCCEEDED(persist->Load(widePath.c_str(), STGM_READ))) {
    char text[1024];
    if (SUCCEEDED(shellLink->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH))) link.path = text;
    if (SUCCEEDED(shellLink->GetArguments(text, sizeof text))) link.arguments = text;
    if (SUCCEEDED(shellLink->GetWorkingDirectory(text, sizeof text))) link.workingDirectory = text;
    if (SUCCEEDED(shellLink->GetDescription(text, sizeof text))) link.description = text;
    if (SUCCEEDED(shellLink->GetIconLocation(text, sizeof text, &link.iconIndex))) link.icon = text;
  }
  if (persist) persist->Release();
  if (shellLink) shellLink->Release();
  if (SUCCEEDED(init)) CoUninitialize();
  return link;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class ShortcutTest : public SetupTest {
protected:
  ShortcutTest() {
    for (const char* name : {"Desktop", "Programs"}) {
      char value[MAX_PATH] = "";
      DWORD size = sizeof value;
      bool present = RegGetValueA(HKEY_CURRENT_USER, kShellFolders, name, RRF_RT_REG_SZ, nullptr,
                                  value, &size) == ERROR_SUCCESS;
      m_saved.push_back({name, present, value});
    }
    CreateDirectoryA(Desktop().c_str(), nullptr);
    CreateDirectoryA(Programs().c_str(), nullptr);
    SetShellFolder("Desktop", Desktop());
    SetShellFolder("Programs", Programs());
  }
  ~ShortcutTest() override {
    for (const Saved& s : m_saved) {
      if (s.present)
        SetShellFolder(s.name, s.value);
      else
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kShellFolders, s.name);
    }
  }
  static void SetShellFolder(const char* name, const std::string& folder) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kShellFolders, name, REG_SZ, folder.c_str(),
                              DWORD(folder.size() + 1)),
              ERROR_SUCCESS);
  }

  std::string Desktop() const { return m_dir.File("Desktop"); }
  std::string Programs() const { return m_dir.File("Programme"); }
  std::string Installed(const std::string& name) const { return Target() + "\\" + name; }

  // The program block, a readme and every start-menu option, in a group of
  // two levels.
  archive::ArchiveTrailer FullInstaller() const {
    archive::ArchiveTrailer t = Installer();
    t.iconFile = "symbol.ico";
    t.hasReadme = 1;
    t.readmeFile = "liesmich.txt";
    t.startMenuGroup = "Tarnivex\\Spiele";
    t.hasShortcutOptions = 1;
    t.useStartMenuGroup = t.uninstallShortcut = t.readmeShortcut = t.programShortcut = 1;
    return t;
  }
  void BuildFull(const archive::ArchiveTrailer& t) {
    Build(t, {ProductProgram(), Source("symbol.ico", "Symbol"), Source("liesmich.txt", "Lies")});
  }

  // Page 2 -> "Weiter" into Target(); the installation then asks.
  Window StartInstallation() {
    Window dlg = Start();
    GoToDirectoryPage(dlg);
    dlg.SetItemText(IDC_EDIT_DIR, Target());
    EXPECT_TRUE(dlg.Click(IDOK));
    return dlg;
  }
  // The options dialog, its boxes set as the user leaves them, then OK.
  void ChooseInOptionsDialog(bool desktop, bool startMenu) {
    Window options = Running().WaitForDialog(Text(IDS_SHORTCUT_CAPTION, m_product));
    ASSERT_TRUE(options) << "no options dialog";
    EXPECT_EQ(options.ItemText(IDC_DESKTOP_CHECK), Text(IDS_DESKTOP));
    EXPECT_EQ(options.ItemText(IDC_STARTMENU_CHECK), Text(IDS_STARTMENU));
    EXPECT_TRUE(options.ItemChecked(IDC_DESKTOP_CHECK));
    EXPECT_TRUE(options.ItemChecked(IDC_STARTMENU_CHECK));
    if (!desktop) {
      EXPECT_TRUE(options.SetCheck(IDC_DESKTOP_CHECK, false));
    }
    if (!startMenu) {
      EXPECT_TRUE(options.SetCheck(IDC_STARTMENU_CHECK, false));
    }
    EXPECT_TRUE(options.Click(IDOK));
  }
  // The readme, when offered, is left closed.
  void FinishAndClose(const Window& dlg, bool readme = false) {
    EXPECT_TRUE(Shows(dlg, FinishPage(readme)));
    if (readme) {
      EXPECT_TRUE(dlg.SetCheck(IDC_README_CHECK, false));
    }
    Close(dlg);
  }

  // The links of the program as the full installer makes them.
  Link ProgramLink() const {
    return {Installed("prog.exe"), "", Target() + "\\", m_product, Installed("symbol.ico"), 0};
  }
  Link UninstallLink() const {
    return {Installed("prog.exe"), "-uninstall",          Target() + "\\",
            "Uninstall",           Installed("prog.exe"), 0};
  }

private:
  struct Saved {
    const char* name;
    bool present;
    std::string value;
  };
  std::vector<Saved> m_saved;
};

TEST_F(ShortcutTest, BothBoxesKeptMakeTheDesktopLinkAndEveryStartMenuLinkInANewNestedFolder) {
  BuildFull(FullInstaller());
  Window dlg = StartInstallation();
  ChooseInOptionsDialog(true, true);
  FinishAndClose(dlg, true);

  EXPECT_EQ(FilesIn(Desktop()), std::vector<std::string>{m_product + ".lnk"});
  EXPECT_EQ(ReadLink(Desktop() + "\\" + m_product + ".lnk"), ProgramLink());

  std::string folder = Programs() + "\\Tarnivex\\Spiele\\" + m_product;
  EXPECT_EQ(FilesIn(folder),
            (std::vector<std::string>{"Readme.lnk", m_product + ".lnk", "Uninstall.lnk"}));
  EXPECT_EQ(ReadLink(folder + "\\" + m_product + ".lnk"), ProgramLink());
  EXPECT_EQ(ReadLink(folder + "\\Readme.lnk"), (Link{Installed("liesmich.txt"), "", Target() + "\\",
                                                     "Readme", Installed("liesmich.txt"), 0}));
  EXPECT_EQ(ReadLink(folder + "\\Uninstall.lnk"), UninstallLink());
  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{}) << "no question besides";
}

TEST_F(ShortcutTest, TreeInstallsWholeWithItsProgramInBinStartedAndLinkedThere) {
  archive::ArchiveTrailer t = FullInstaller();
  t.programFile = "bin\\prog.exe";
  t.iconFile = "bin\\symbol.ico";
  t.readmeFile = "doc\\liesmich.txt";
  std::vector<e2e::Payload> files = {ProductProgram(),
                                     Carried("bin\\symbol.ico", "Symbol"),
                                     Carried("doc\\liesmich.txt", "Lies"),
                                     Carried("daten\\de\\text.txt", "deutsch"),
                                     Carried("daten\\en\\text.txt", "english"),
                                     Carried("leer\\tief\\nichts.dat", ""),
                                     Carried("oben.txt", "oben")};
  files[0].name = "bin\\prog.exe";
  Build(t, files);
  Window dlg = StartInstallation();
  ChooseInOptionsDialog(true, true);
  FinishAndClose(dlg, true);

  std::map<std::string, std::string> expected;
  for (const char* folder : {"bin", "daten", "daten\\de", "daten\\en", "doc", "leer", "leer\\tief"})
    expected[folder] = "<dir>";
  for (const e2e::Payload& f : files) expected[f.name] = e2e::ReadFileBytes(f.sourcePath);
  // Started once, in bin, with its quoted path.
  expected["bin\\started.txt"] = "\"" + Installed("bin\\prog.exe") + "\" -install\r\n";
  std::map<std::string, std::string> installed = TreeIn(Target());
  expected["install.log"] = installed["install.log"];
  EXPECT_EQ(installed, expected);

  char exe[MAX_PATH] = "";
  DWORD size = sizeof exe;
  RegGetValueA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), "Exe",
               RRF_RT_REG_SZ, nullptr, exe, &size);
  EXPECT_STREQ(exe, "bin\\prog.exe");

  // The links start in the folder of what they open.
  const Link program{Installed("bin\\prog.exe"),   "", Installed("bin\\"), m_product,
                     Installed("bin\\symbol.ico"), 0};
  EXPECT_EQ(ReadLink(Desktop() + "\\" + m_product + ".lnk"), program);
  std::string folder = Programs() + "\\Tarnivex\\Spiele\\" + m_product;
  EXPECT_EQ(ReadLink(folder + "\\" + m_product + ".lnk"), program);
  EXPECT_EQ(ReadLink(folder + "\\Uninstall.lnk"),
            (Link{Installed("bin\\prog.exe"), "-uninstall", Installed("bin\\"), "Uninstall",
                  Installed("bin\\prog.exe"), 0}));
  EXPECT_EQ(ReadLink(folder + "\\Readme.lnk"),
            (Link{Installed("doc\\liesmich.txt"), "", Installed("doc\\"), "Readme",
                  Installed("doc\\liesmich.txt"), 0}));
}

class ClearedBoxTest : public ShortcutTest,
                       public ::testing::WithParamInterface<std::pair<bool, bool>> {};

TEST_P(ClearedBoxTest, OnlyTheTickedKindIsMade) {
  auto [desktop, startMenu] = GetParam();
  BuildFull(FullInstaller());
  Window dlg = StartInstallation();
  ChooseInOptionsDialog(desktop, startMenu);
  FinishAndClose(dlg, true);
  EXPECT_EQ(FilesIn(Desktop()).size(), desktop ? 1u : 0u);
  // A start-menu entry that is not wanted does not even leave its folder.
  EXPECT_EQ(FilesIn(Programs()).size(), startMenu ? 1u : 0u);
  if (startMenu) {
    EXPECT_EQ(FilesIn(Programs() + "\\Tarnivex\\Spiele\\" + m_product).size(), 3u);
  }
}

INSTANTIATE_TEST_SUITE_P(Boxes, ClearedBoxTest,
                         ::testing::Values(std::pair{false, true}, std::pair{true, false},
                                           std::pair{false, false}));

TEST_F(ShortcutTest, ProgramBlockAloneAsksForTheDesktopLink) {
  for (int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer == IDYES ? "Yes" : "No");
    Build(Installer(), {ProductProgram()});
    Window dlg = StartInstallation();
    if (answer == IDYES) ExpectBox(kCaption, Text(IDS_DIR_EXISTS, Target()), IDYES);
    ExpectBox(kCaption, Text(IDS_DESKTOP_QUESTION, m_product), answer);
    FinishAndClose(dlg);
    EXPECT_EQ(FilesIn(Desktop()).size(), answer == IDYES ? 1u : 0u);
    EXPECT_EQ(FilesIn(Programs()), std::vector<std::string>{});
  }
  Link desktop = ProgramLink();
  desktop.icon = Installed("prog.exe");
  EXPECT_EQ(ReadLink(Desktop() + "\\" + m_product + ".lnk"), desktop);
}

TEST_F(ShortcutTest, StartMenuBlockAloneAsksForTheEntryWhichGoesDirectlyUnderPrograms) {
  // The group is used only when the archive asks for it; the readme link of
  // an archive without a readme points at the install directory.
  archive::ArchiveTrailer t = Installer();
  t.hasProgram = 0;
  t.iconFile = t.programFile = "";
  t.startMenuGroup = "Tarnivex";
  t.hasShortcutOptions = 1;
  t.readmeShortcut = t.uninstallShortcut = 1;
  Build(t, {ProductProgram()});
  Window dlg = StartInstallation();
  ExpectBox(kCaption, Text(IDS_STARTMENU), IDYES);
  FinishAndClose(dlg);

  EXPECT_EQ(FilesIn(Desktop()), std::vector<std::string>{});
  EXPECT_EQ(FilesIn(Programs()), std::vector<std::string>{m_product});
  std::string folder = Programs() + "\\" + m_product;
  EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"Readme.lnk", "Uninstall.lnk"}));
  Link readme = ReadLink(folder + "\\Readme.lnk");
  EXPECT_EQ(readme.path.substr(0, Target().size()), Target()) << readme.path;
  EXPECT_LE(readme.path.size(), Target().size() + 1) << readme.path;
  EXPECT_EQ(readme.description, "Readme");
}

TEST_F(ShortcutTest, RegFilesTakeTheProgramLinksButNotTheUninstallLink) {
  archive::ArchiveTrailer t = FullInstaller();
  t.hasRegFiles = 1;
  t.regFiles = {"Start.reg", "zwei.reg", "", ""};
  Build(t, {ProductProgram(), Source("symbol.ico", "Symbol"), Source("liesmich.txt", "Lies"),
            Source("start.REG", "REGEDIT4"), Source("zwei.reg", "REGEDIT4")});
  Window dlg = StartInstallation();
  ChooseInOptionsDialog(true, true);
  FinishAndClose(dlg, true);

  Link program = ProgramLink();
  program.path = Installed("Reg\\Start.reg");
  program.workingDirectory = Installed("Reg\\");
  EXPECT_EQ(ReadLink(Desktop() + "\\" + m_product + ".lnk"), program);
  std::string folder = Programs() + "\\Tarnivex\\Spiele\\" + m_product;
  EXPECT_EQ(ReadLink(folder + "\\" + m_product + ".lnk"), program);
  EXPECT_EQ(ReadLink(folder + "\\Uninstall.lnk"), UninstallLink());
}

TEST_F(ShortcutTest, MissingShellFoldersLeaveTheLinksOutInsteadOfWritingToTheDriveRoot) {
  RegDeleteKeyValueA(HKEY_CURRENT_USER, kShellFolders, "Desktop");
  RegDeleteKeyValueA(HKEY_CURRENT_USER, kShellFolders, "Programs");
  BuildFull(FullInstaller());
  Window dlg = StartInstallation();
  ChooseInOptionsDialog(true, true);
  FinishAndClose(dlg, true);
  for (std::string root : {std::string("C:"), m_dir.Path().substr(0, 2)}) {
    EXPECT_FALSE(Exists(root + "\\" + m_product + ".lnk")) << root;
    EXPECT_FALSE(Exists(root + "\\" + m_product)) << root;
    EXPECT_FALSE(Exists(root + "\\Tarnivex")) << root;
  }
}

TEST_F(ShortcutTest, ALevelOfTheStartMenuChainThatCannotBeMadeDoesNotStopTheLevelsBelowIt) {
  // A file in the way of the first level: CreateDirectory fails there, as it
  // does with ERROR_ACCESS_DENIED for some protected folders that exist, and
  // ".." leads back out of it to the levels that can be made.
  std::ofstream(m_dir.File("im Weg"), std::ios::binary) << "Datei";
  SetShellFolder("Programs", m_dir.File("im Weg\\..\\Programme"));
  BuildFull(FullInstaller());
  Window dlg = StartInstallation();
  ChooseInOptionsDialog(false, true);
  FinishAndClose(dlg, true);
  std::string folder = Programs() + "\\Tarnivex\\Spiele\\" + m_product;
  EXPECT_EQ(FilesIn(folder),
            (std::vector<std::string>{"Readme.lnk", m_product + ".lnk", "Uninstall.lnk"}));
}

TEST_F(ShortcutTest, DesktopOutsideTheCodePageGetsItsLink) {
  // "Łukasz Dvořák": the code page has neither Ł nor ř.
  const std::wstring name = L"\u0141ukasz Dvo\u0159\u00E1k";
  std::wstring desktop = std::wstring(m_dir.Path().begin(), m_dir.Path().end()) + L"\\" + name;
  ASSERT_TRUE(CreateDirectoryW(desktop.c_str(), nullptr));
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kShellFoldersW, L"Desktop", REG_SZ, desktop.c_str(),
                            DWORD((desktop.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  BuildFull(FullInstaller());
  Window dlg = StartInstallation();
  ChooseInOptionsDialog(true, false);
  FinishAndClose(dlg, true);
  std::wstring link = desktop + L"\\" + std::wstring(m_product.begin(), m_product.end()) + L".lnk";
  EXPECT_NE(GetFileAttributesW(link.c_str()), INVALID_FILE_ATTRIBUTES);
  // The link is the program's, read back through the folder's short name.
  wchar_t shortName[MAX_PATH];
  ASSERT_GT(GetShortPathNameW(link.c_str(), shortName, MAX_PATH), 0u);
  std::string ansi(shortName, shortName + wcslen(shortName));
  EXPECT_EQ(ReadLink(ansi), ProgramLink());
  EXPECT_EQ(e2e::ReadFileBytes(Installed("install.log")).find("not usable"), std::string::npos);
}

TEST_F(ShortcutTest, LinkPathsLongerThanMaxPathAreWrittenWhole) {
  // A start-menu folder just short enough to be made, whose links then pass
  // 260 characters.
  std::string suffix = "\\Tarnivex\\Spiele\\" + m_product;
  size_t padding = 246 - Programs().size() - suffix.size() - 1;
  ASSERT_LT(padding, 200u);
  std::string deep = Programs() + "\\" + std::string(padding, 'E');
  ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
  SetShellFolder("Programs", deep);
  BuildFull(FullInstaller());
  Window dlg = StartInstallation();
  ChooseInOptionsDialog(false, true);
  FinishAndClose(dlg, true);
  std::string folder = deep + suffix;
  ASSERT_GT(folder.size() + m_product.size() + 5, size_t(MAX_PATH));
  EXPECT_EQ(FilesIn(folder),
            (std::vector<std::string>{"Readme.lnk", m_product + ".lnk", "Uninstall.lnk"}));
  EXPECT_EQ(ReadLink(folder + "\\" + m_product + ".lnk"), ProgramLink());
}

} // namespace
} // namespace setup_e2e
