// The built-in uninstaller and unattended runs, end to end: a silent
// installation registers the uninstaller, a silent patch adds to its list,
// and the uninstaller, silent or clicked through, removes exactly what the
// installation wrote, itself included.
#include <cstdio>
#include <fstream>

#include "archive/byte_io.h"
#include "archive/trailer.h"
#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

// The uninstaller's texts, as the program has them (code page 1252).
const char kQuestion[] = "Soll \"%s\" mit allen seinen Komponenten von Ihrem Computer entfernt "
                         "werden? Klicken Sie auf \"Weiter\" zum Entfernen. Mit \"Abbrechen\" "
                         "k\xF6nnen Sie die Deinstallation beenden.";
const char kDone[] = "\"%s\" wurde erfolgreich von Ihrem Computer entfernt.";
const char kNothing[] =
    "\"%s\" ist nicht mehr auf Ihrem Computer installiert. Es gibt nichts zu entfernen.";
const char kRestart[] = " Einige Dateien werden erst beim n\xE4"
                        "chsten Neustart des Computers entfernt.";

std::string Filled(const char* format, const std::string& argument) {
  std::string text = format;
  text.replace(text.find("%s"), 2, argument);
  return text;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(tolower(static_cast<unsigned char>(c)));
  return s;
}

class UninstallTest : public SetupTest {
protected:
  ~UninstallTest() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kUninstallRoot + m_product).c_str());
    for (const std::string& link : m_links) DeleteFileA(link.c_str());
  }

  // An installer with the uninstaller, a program, a tree and a start-menu
  // entry with the "Uninstall" link.
  archive::ArchiveTrailer WithUninstaller() const {
    archive::ArchiveTrailer t = Installer();
    t.extension.uninstaller = {true, "Bars GmbH"};
    t.hasShortcutOptions = 1;
    t.uninstallShortcut = 1;
    t.programShortcut = 1;
    return t;
  }
  std::vector<e2e::Payload> ProductFiles() {
    return {ProductProgram(), Carried("daten\\a.txt", "A"), Carried("daten\\tief\\b.txt", "B"),
            Source("liesmich.txt", "lies mich")};
  }
  // A patch to version 4: a changed file and one in a new folder.
  void BuildPatch() {
    archive::ArchiveTrailer t;
    t.installerFlag = 0;
    t.version = 4;
    t.caption = kCaption;
    t.productName = m_product;
    Build(t, {Carried("daten\\a.txt", "A2"), Carried("neu\\extra.txt", "neu")});
  }

  // Runs the program to its end, checking that it never shows a window;
  // its exit code.
  void SetString(const char* name, const std::string& text) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), name,
                              REG_SZ, text.c_str(), DWORD(text.size() + 1)),
              ERROR_SUCCESS);
  }

  DWORD InstallSilently(const std::string& target) {
    Build(WithUninstaller(), ProductFiles());
    return RunUnseen(Launch("/S /D=" + target));
  }
  DWORD Uninstall(const std::string& target, const std::string& arguments = "/S") {
    return RunUnseen(LaunchProgram(target + "\\uninstall.exe", arguments));
  }

  // The uninstall entry, in the view the stub wrote it to.
  std::string EntryString(const char* name) const {
    return e2e::RegistryString(e2e::StubBitness(), HKEY_LOCAL_MACHINE, kUninstallRoot + m_product,
                               name);
  }
  DWORD EntryDword(const char* name) const {
    return e2e::RegistryDword(e2e::StubBitness(), HKEY_LOCAL_MACHINE, kUninstallRoot + m_product,
                              name);
  }
  bool KeyExists(HKEY root, const std::string& key) const {
    return e2e::RegistryKeyExists(e2e::StubBitness(), root, key);
  }
  bool ProductKeyExists() const {
    return KeyExists(HKEY_CURRENT_USER, "Software\\Tarnivex\\" + m_product);
  }
  bool EntryExists() const { return KeyExists(HKEY_LOCAL_MACHINE, kUninstallRoot + m_product); }

  std::string ShellFolder(const char* name) const {
    char value[MAX_PATH] = "";
    DWORD size = sizeof(value);
    RegGetValueA(HKEY_CURRENT_USER,
                 "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", name,
                 RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
  }
  std::string DesktopLink() {
    m_links.push_back(ShellFolder("Desktop") + "\\" + m_product + ".lnk");
    return m_links.back();
  }
  std::string StartMenuFolder() const { return ShellFolder("Programs") + "\\" + m_product; }

  // What waits for the next restart (MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT),
  // lower case, without the "\??\" prefix.
  static std::vector<std::string> ScheduledRemovals() {
    std::vector<char> data(1 << 20);
    DWORD size = DWORD(data.size());
    std::vector<std::string> paths;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations",
                     RRF_RT_REG_MULTI_SZ, nullptr, data.data(), &size) != ERROR_SUCCESS)
      return paths;
    // Pairs of source and target; an empty target deletes.
    for (const char* p = data.data(); p < data.data() + size; p += strlen(p) + 1) {
      std::string path = p;
      if (path.empty()) continue;
      if (path.rfind("\\??\\", 0) == 0) path = path.substr(4);
      paths.push_back(Lower(path));
    }
    return paths;
  }
  static bool Scheduled(const std::string& path) {
    for (const std::string& p : ScheduledRemovals())
      if (p == Lower(path)) return true;
    return false;
  }
  // Everything in TEMP is waiting for the restart.
  void ExpectTempOnlyScheduled() {
    for (const auto& [name, bytes] : TreeIn(TempFolder()))
      EXPECT_TRUE(Scheduled(TempFolder() + "\\" + name)) << name << " stays in TEMP";
  }

  std::vector<std::string> m_links;
};

TEST_F(UninstallTest, SilentInstallPatchAndUninstallLeaveOnlyTheUsersFiles) {
  const std::string target = "C:\\Program Files\\Bars Produkt";
  RemoveDirectoryA(target.c_str());
  const std::string link = DesktopLink();
  ASSERT_EQ(InstallSilently(target), 0u);

  EXPECT_EQ(e2e::ReadFileBytes(target + "\\daten\\tief\\b.txt"), "B");
  EXPECT_NE(GetFileAttributesA((target + "\\uninstall.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA((target + "\\install.log").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(link.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA((StartMenuFolder() + "\\Uninstall.lnk").c_str()),
            INVALID_FILE_ATTRIBUTES);
  // The "Uninstall" link starts the uninstaller.
  EXPECT_NE(e2e::ReadFileBytes(StartMenuFolder() + "\\Uninstall.lnk").find("uninstall.exe"),
            std::string::npos);
  char path[MAX_PATH] = "";
  DWORD size = sizeof(path);
  RegGetValueA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), "Path",
               RRF_RT_REG_SZ, nullptr, path, &size);
  EXPECT_EQ(std::string(path), target + "\\");

  // The entry in the list of installed programs.
  EXPECT_EQ(EntryString("DisplayName"), m_product);
  EXPECT_EQ(EntryString("DisplayVersion"), "3");
  EXPECT_EQ(EntryString("Publisher"), "Bars GmbH");
  EXPECT_EQ(EntryString("DisplayIcon"), target + "\\prog.exe");
  EXPECT_EQ(EntryString("InstallLocation"), target);
  EXPECT_EQ(EntryString("UninstallString"), "\"" + target + "\\uninstall.exe\"");
  EXPECT_EQ(EntryString("QuietUninstallString"), "\"" + target + "\\uninstall.exe\" /S");
  EXPECT_GT(EntryDword("EstimatedSize"), 0u);
  SYSTEMTIME now;
  GetLocalTime(&now);
  char today[16];
  std::snprintf(today, sizeof(today), "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  EXPECT_EQ(EntryString("InstallDate"), today);
  EXPECT_EQ(EntryDword("NoModify"), 1u);
  EXPECT_EQ(EntryDword("NoRepair"), 1u);

  // A silent patch raises the version; its new files join the list.
  BuildPatch();
  ASSERT_EQ(RunUnseen(Launch("/S")), 0u);
  DWORD version = 0, vsize = 4;
  RegGetValueA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), "Version",
               RRF_RT_REG_DWORD, nullptr, &version, &vsize);
  EXPECT_EQ(version, 4u);
  EXPECT_EQ(e2e::ReadFileBytes(target + "\\neu\\extra.txt"), "neu");

  // A file of the user's own, in a folder of the installation and in one of
  // its own; the product's record of its runs goes as the product would.
  std::ofstream(target + "\\daten\\notiz.txt") << "meins";
  DeleteFileA((target + "\\started.txt").c_str());
  ASSERT_EQ(Uninstall(target), 0u);

  EXPECT_EQ(TreeIn(target), (std::map<std::string, std::string>{{"daten", "<dir>"},
                                                                {"daten\\notiz.txt", "meins"}}));
  EXPECT_FALSE(ProductKeyExists());
  EXPECT_FALSE(EntryExists());
  EXPECT_EQ(GetFileAttributesA(link.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(StartMenuFolder().c_str()), INVALID_FILE_ATTRIBUTES);
  ExpectTempOnlyScheduled();

  std::remove((target + "\\daten\\notiz.txt").c_str());
  RemoveDirectoryA((target + "\\daten").c_str());
  RemoveDirectoryA(target.c_str());
}

TEST_F(UninstallTest, WizardClickedThroughRemovesAndASecondRunFindsNothing) {
  DesktopLink();
  ASSERT_EQ(InstallSilently(Target()), 0u);
  DeleteFileA((Target() + "\\started.txt").c_str());
  // Kept to start it once more after the uninstall.
  const std::string spare = m_dir.File("uninstall-kopie.exe");
  ASSERT_TRUE(CopyFileA((Target() + "\\uninstall.exe").c_str(), spare.c_str(), FALSE));

  Program& run = LaunchProgram(Target() + "\\uninstall.exe", "");
  Window dlg = run.WaitForDialog(m_product + " entfernen");
  ASSERT_TRUE(dlg);
  EXPECT_EQ(dlg.ItemText(IDC_STATIC_TEXT), Filled(kQuestion, m_product));
  EXPECT_TRUE(dlg.ItemVisible(IDCANCEL));
  EXPECT_FALSE(dlg.ItemVisible(IDC_README_CHECK));
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(e2e::WaitUntil([&] { return dlg.ItemText(IDOK) == "Schliessen"; }));
  EXPECT_EQ(dlg.ItemText(IDC_STATIC_TEXT), Filled(kDone, m_product));
  EXPECT_FALSE(dlg.ItemVisible(IDCANCEL));
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(run.WaitForExit(30000));
  EXPECT_EQ(run.ExitCode(), 0u);
  EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(ProductKeyExists());
  EXPECT_FALSE(EntryExists());
  ExpectTempOnlyScheduled();

  // The same uninstaller again, back in its folder: nothing is left to do.
  ASSERT_TRUE(CreateDirectoryA(Target().c_str(), nullptr));
  ASSERT_TRUE(CopyFileA(spare.c_str(), (Target() + "\\uninstall.exe").c_str(), FALSE));
  Program& again = LaunchProgram(Target() + "\\uninstall.exe", "");
  dlg = again.WaitForDialog(m_product + " entfernen");
  ASSERT_TRUE(dlg);
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(e2e::WaitUntil([&] { return dlg.ItemText(IDOK) == "Schliessen"; }));
  EXPECT_EQ(dlg.ItemText(IDC_STATIC_TEXT), Filled(kNothing, m_product));
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(again.WaitForExit(30000));
  EXPECT_EQ(again.ExitCode(), 0u);
}

TEST_F(UninstallTest, TamperedListDeletesNothingOutside) {
  ASSERT_EQ(InstallSilently(Target()), 0u);
  DeleteFileA((Target() + "\\started.txt").c_str());
  const std::string outside = m_dir.File("fremd.txt");
  std::ofstream(outside) << "nicht anfassen";
  const std::string uninstaller = Target() + "\\uninstall.exe";

  // The list rewritten to name the file outside, as a shortcut and as a
  // start-menu folder: the reader refuses the relative escape, and the
  // absolute names lie in no shortcut folder.
  archive::ArchiveTrailer t;
  uint64_t image = 0;
  {
    archive::StdioFile file(uninstaller);
    archive::TrailerReadResult r = archive::ReadTrailer(file, t);
    ASSERT_TRUE(r.ok) << r.error;
    image = r.layout.dataStart;
  }
  t.extension.uninstallList.Add(archive::UninstallItemKind::Shortcut,
                                outside.substr(0, outside.size() - 4) + ".lnk");
  std::ofstream(outside.substr(0, outside.size() - 4) + ".lnk") << "kein Link";
  t.extension.uninstallList.Add(archive::UninstallItemKind::ShortcutFolder, m_dir.Path());
  std::string bytes = e2e::ReadFileBytes(uninstaller).substr(0, size_t(image));
  std::vector<uint8_t> region = archive::SerializeTrailerRegion(t);
  archive::AppendLE32(region, uint32_t(region.size()));
  bytes.append(region.begin(), region.end());
  std::ofstream(uninstaller, std::ios::binary | std::ios::trunc) << bytes;

  ASSERT_EQ(Uninstall(Target()), 0u);
  EXPECT_EQ(e2e::ReadFileBytes(outside), "nicht anfassen");
  EXPECT_EQ(e2e::ReadFileBytes(outside.substr(0, outside.size() - 4) + ".lnk"), "kein Link");
  EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(UninstallTest, FileInUseIsRetriedSkippedAndScheduled) {
  ASSERT_EQ(InstallSilently(Target()), 0u);
  DeleteFileA((Target() + "\\started.txt").c_str());
  const std::string locked = Target() + "\\daten\\a.txt";
  HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);

  // Clicked through: the question comes, "Wiederholen" asks again, "Abbrechen" skips.
  Program& run = LaunchProgram(Target() + "\\uninstall.exe", "");
  Window dlg = run.WaitForDialog(m_product + " entfernen");
  ASSERT_TRUE(dlg);
  EXPECT_TRUE(dlg.Click(IDOK));
  Window box = run.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_NE(box.MessageText().find(locked), std::string::npos) << box.MessageText();
  EXPECT_TRUE(Program::Answer(box, IDRETRY));
  EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(box.Handle()); }));
  box = run.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_TRUE(Program::Answer(box, IDCANCEL));
  EXPECT_TRUE(e2e::WaitUntil([&] { return dlg.ItemText(IDOK) == "Schliessen"; }));
  EXPECT_NE(dlg.ItemText(IDC_STATIC_TEXT).find(kRestart), std::string::npos)
      << dlg.ItemText(IDC_STATIC_TEXT);
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(run.WaitForExit(30000));
  EXPECT_EQ(run.ExitCode(), 3u);
  EXPECT_TRUE(Scheduled(locked));
  EXPECT_TRUE(Scheduled(Target() + "\\daten"));
  CloseHandle(hold);
}

TEST_F(UninstallTest, SilentUninstallOfAFileInUseEndsWithRestartNeeded) {
  ASSERT_EQ(InstallSilently(Target()), 0u);
  DeleteFileA((Target() + "\\started.txt").c_str());
  const std::string locked = Target() + "\\liesmich.txt";
  HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Uninstall(Target()), 3u);
  EXPECT_TRUE(Scheduled(locked));
  EXPECT_EQ(GetFileAttributesA((Target() + "\\prog.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  CloseHandle(hold);
}

TEST_F(UninstallTest, SilentRunsRefuseANewerVersionAndADamagedArchiveWritingNothing) {
  SetString("Path", Target() + "\\");
  DWORD newer = 9;
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(),
                            "Version", REG_DWORD, &newer, 4),
            ERROR_SUCCESS);
  ASSERT_EQ(InstallSilently(Target()), 1u);
  EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(EntryExists());

  // The trailer region's product name cut short: a damaged archive.
  RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str());
  std::string bytes = e2e::ReadFileBytes(m_setup);
  bytes.resize(bytes.size() - 2);
  std::ofstream(m_setup, std::ios::binary | std::ios::trunc) << bytes;
  EXPECT_EQ(RunUnseen(Launch("/S /D=" + Target())), 1u);
  EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(ProductKeyExists());
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(UninstallTest, UninstallIsRefusedWhileTheProductsSetupRuns) {
  ASSERT_EQ(InstallSilently(Target()), 0u);
  Program setup(m_setup, m_dir.Path(), {"TEMP=" + TempFolder(), "TMP=" + TempFolder()});
  ASSERT_TRUE(setup.WaitForDialog(kCaption));
  EXPECT_EQ(Uninstall(Target()), 1u);
  EXPECT_NE(GetFileAttributesA((Target() + "\\prog.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA((Target() + "\\uninstall.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(EntryExists());
}

TEST_F(UninstallTest, UnknownArgumentsAreNamedOrRefusedSilently) {
  Build(WithUninstaller(), ProductFiles());
  EXPECT_EQ(RunUnseen(Launch("/S /Q")), 1u);
  Launch("/Q");
  Window box = Running().WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_NE(box.MessageText().find("\"/Q\""), std::string::npos) << box.MessageText();
  EXPECT_NE(box.MessageText().find("/D=Verzeichnis"), std::string::npos) << box.MessageText();
  EXPECT_TRUE(Program::Answer(box, IDOK));
  EXPECT_TRUE(Running().WaitForExit());
  EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
} // namespace setup_e2e
