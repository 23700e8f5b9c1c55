// The built-in uninstaller and unattended runs, end to end: a silent
// installation registers the uninstaller, a silent patch adds to its list,
// and the uninstaller, silent or clicked through, removes exactly what the
// installation wrote, itself included.
#include <cstdio>
#include <fstream>

#include "archive/common/byte_io.h"
#include "archive/format/trailer.h"
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
const char kKept[] =
    " Folgende Verzeichnisse enthalten noch eigene Dateien und wurden nicht entfernt: %s";

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
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
      for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
        RegDeleteKeyExA(root, (kUninstallRoot + m_product).c_str(), view, 0);
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
  void BuildPatch(const archive::ProductBlock& product = {}) {
    archive::ArchiveTrailer t;
    t.extension.product = product;
    t.installerFlag = 0;
    t.version = 4;
    t.caption = kCaption;
    t.productName = m_product;
    t.extension.product.displayVersion = "1.1.0";
    Build(t, {Carried("daten\\a.txt", "A2"), Carried("neu\\extra.txt", std::string(5000, 'n'))});
  }

  // Runs the program to its end, checking that it never shows a window;
  // its exit code.
  void SetString(const char* name, const std::string& text) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), name,
                              REG_SZ, text.c_str(), DWORD(text.size() + 1)),
              ERROR_SUCCESS);
  }

  // Without a target the product goes where the installer proposes.
  DWORD InstallSilently(const std::string& target, const archive::ProductBlock& product = {}) {
    archive::ArchiveTrailer t = WithUninstaller();
    t.extension.product = product;
    Build(t, ProductFiles());
    return RunUnseen(Launch(target.empty() ? "/S" : "/S /D=" + target));
  }
  DWORD Uninstall(const std::string& target, const std::string& arguments = "/S") {
    return RunUnseen(LaunchProgram(target + "\\uninstall.exe", arguments));
  }

  // The uninstall entry, in the view the stub wrote it to.
  std::string EntryString(const char* name) const {
    return ReadString(m_entry, kUninstallRoot + m_product, name);
  }
  DWORD EntryDword(const char* name) const {
    DWORD value = 0xFFFFFFFF, size = 4;
    HKEY key;
    if (RegOpenKeyExA(m_entry.root, (kUninstallRoot + m_product).c_str(), 0,
                      KEY_QUERY_VALUE | m_entry.view, &key) == ERROR_SUCCESS) {
      RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
      RegCloseKey(key);
    }
    return value;
  }
  bool ProductKeyExists() const {
    return KeyExists({HKEY_CURRENT_USER, 0}, "Software\\Tarnivex\\" + m_product);
  }
  bool EntryExists() const { return KeyExists(m_entry, kUninstallRoot + m_product); }
  // Lines of the system's list of installed programs that name the product.
  size_t Listed() const {
    size_t n = 0;
    for (const std::string& line : e2e::ListedPrograms()) n += line.find(m_product) != line.npos;
    return n;
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

  // Neither folder, file, link nor key of the product is left.
  void ExpectNothingLeft(const std::string& target) {
    EXPECT_EQ(GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES)
        << ::testing::PrintToString(TreeIn(target));
    EXPECT_FALSE(ProductKeyExists());
    EXPECT_FALSE(EntryExists());
    EXPECT_EQ(GetFileAttributesA(StartMenuFolder().c_str()), INVALID_FILE_ATTRIBUTES);
    for (const std::string& link : m_links)
      EXPECT_EQ(GetFileAttributesA(link.c_str()), INVALID_FILE_ATTRIBUTES) << link;
  }
  std::string ProductPath() const {
    char path[MAX_PATH] = "";
    DWORD size = sizeof(path);
    RegGetValueA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), "Path",
                 RRF_RT_REG_SZ, nullptr, path, &size);
    return path;
  }
  // The uninstaller's wizard clicked through with `workDir` as its current
  // folder; its exit code.
  DWORD UninstallClicked(const std::string& target, const std::string& workDir,
                         std::string* finishText = nullptr) {
    Program run(target + "\\uninstall.exe", workDir,
                {"TEMP=" + TempFolder(), "TMP=" + TempFolder()});
    Window dlg = run.WaitForDialog(m_product + " entfernen");
    EXPECT_TRUE(dlg);
    EXPECT_TRUE(dlg.Click(IDOK));
    EXPECT_TRUE(e2e::WaitUntil([&] { return dlg.ItemText(IDOK) == "Schliessen"; }));
    if (finishText) *finishText = dlg.ItemText(IDC_STATIC_TEXT);
    EXPECT_TRUE(dlg.Click(IDOK));
    EXPECT_TRUE(run.WaitForExit(30000));
    return run.ExitCode();
  }

  std::vector<std::string> m_links;
  RegistryPlace m_entry{HKEY_LOCAL_MACHINE, 0}; // where the uninstall entry must be
};

// Whether anything below HKLM\Software (both views) changed while it lived.
class MachineSoftwareWatch {
public:
  MachineSoftwareWatch() {
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_NOTIFY | KEY_WOW64_64KEY, &m_key);
    RegNotifyChangeKeyValue(m_key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                            m_event, TRUE);
  }
  ~MachineSoftwareWatch() {
    RegCloseKey(m_key);
    CloseHandle(m_event);
  }
  bool Changed() const { return WaitForSingleObject(m_event, 0) == WAIT_OBJECT_0; }

private:
  HKEY m_key = nullptr;
  HANDLE m_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

// The scenario once for each placement of the product.
class PlacedUninstallTest : public UninstallTest,
                            public ::testing::WithParamInterface<Placement> {};

TEST_P(PlacedUninstallTest, SilentInstallPatchAndUninstallLeaveOnlyTheUsersFiles) {
  const archive::ProductBlock& product = GetParam().product;
  const bool perUser = product.scope == archive::InstallScope::User;
  m_entry = EntryPlace(product);
  // As ever into a folder /D= names; the other placements where they propose.
  const std::string target = product.Empty() ? "C:\\Program Files\\Bars Produkt"
                                             : ProductsFolder(product) + "\\" + m_product;
  RemoveDirectoryA(target.c_str());
  const std::string link = DesktopLink();
  MachineSoftwareWatch machine;
  if (perUser) {
    // A folder the user cannot write without administrator rights.
    const std::string machineFolder = ProgramFilesDir() + "\\" + m_product;
    EXPECT_EQ(InstallSilently(machineFolder, product), 1u);
    EXPECT_EQ(GetFileAttributesA(machineFolder.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  ASSERT_EQ(InstallSilently(product.Empty() ? target : "", product), 0u);

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
  const DWORD estimated = EntryDword("EstimatedSize");
  EXPECT_GT(estimated, 0u);
  SYSTEMTIME now;
  GetLocalTime(&now);
  char today[16];
  std::snprintf(today, sizeof(today), "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  EXPECT_EQ(EntryString("InstallDate"), today);
  EXPECT_EQ(EntryDword("NoModify"), 1u);
  EXPECT_EQ(EntryDword("NoRepair"), 1u);

  // A silent patch raises the version; its new files join the list.
  BuildPatch(product);
  ASSERT_EQ(RunUnseen(Launch("/S")), 0u);
  DWORD version = 0, vsize = 4;
  RegGetValueA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), "Version",
               RRF_RT_REG_DWORD, nullptr, &version, &vsize);
  EXPECT_EQ(version, 4u);
  EXPECT_EQ(e2e::ReadFileBytes(target + "\\neu\\extra.txt"), std::string(5000, 'n'));
  // Programs and Features shows the new release and its size.
  EXPECT_EQ(EntryString("DisplayVersion"), "1.1.0");
  EXPECT_GT(EntryDword("EstimatedSize"), estimated) << "the patch's 5000 bytes";

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
  // A per-user product leaves the machine's software settings alone.
  if (perUser) {
    EXPECT_FALSE(machine.Changed());
  }

  std::remove((target + "\\daten\\notiz.txt").c_str());
  RemoveDirectoryA((target + "\\daten").c_str());
  RemoveDirectoryA(target.c_str());
}

INSTANTIATE_TEST_SUITE_P(Placements, PlacedUninstallTest, ::testing::ValuesIn(Placements()),
                         [](const auto& info) { return std::string(info.param.name); });

// An installation by one stub, a patch by the other, and the uninstaller:
// each finds the others' records, and the list of installed programs shows
// one entry, in the view the installation wrote it to.
TEST_F(UninstallTest, EitherStubPatchesTheOthersInstallationAndOneEntryIsListed) {
  const std::string x86 = e2e::StubPathFor("x86"), x64 = e2e::StubPathFor("x64");
  if (x86.empty() || !IsSixtyFourBitWindows() || !e2e::CanStart(x86) || !e2e::CanStart(x64))
    GTEST_SKIP() << "needs both stubs and a 64-bit Windows that runs them";
  for (const auto& [installer, patcher] : {std::pair{x86, x64}, std::pair{x64, x86}}) {
    SCOPED_TRACE(installer);
    m_stub = installer;
    ASSERT_EQ(InstallSilently(Target()), 0u);
    m_entry = {HKEY_LOCAL_MACHINE, REGSAM(installer == x86 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY)};
    EXPECT_EQ(EntryString("InstallLocation"), Target());
    if (installer == x64) {
      // No product key: the patch finds the installation by its entry.
      RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str());
    }
    m_stub = patcher;
    BuildPatch();
    ASSERT_EQ(RunUnseen(Launch("/S")), 0u);
    EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\neu\\extra.txt"), "neu");
    EXPECT_EQ(Listed(), 1u);
    EXPECT_TRUE(EntryExists());

    ASSERT_EQ(Uninstall(Target()), 0u);
    EXPECT_EQ(Listed(), 0u);
    EXPECT_FALSE(EntryExists());
    EXPECT_FALSE(ProductKeyExists());
    EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

// A 64-bit product on a 32-bit Windows: neither its installer nor its patch
// starts, and nothing is written. On 64-bit Windows it installs (above).
TEST_F(UninstallTest, X64ProductRefusedOnThirtyTwoBitWindows) {
  if (IsSixtyFourBitWindows()) GTEST_SKIP() << "64-bit Windows: PlacedUninstallTest installs it";
  archive::ProductBlock x64;
  x64.architecture = archive::ProductArchitecture::X64;
  EXPECT_EQ(InstallSilently(Target(), x64), 1u);
  EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(ProductKeyExists());
  EXPECT_FALSE(EntryExists());

  Launch();
  Window box = Running().WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box.MessageText(), "\"" + m_product +
                                   "\" ist ein 64-Bit-Programm und kann auf dieser 32-Bit-Version "
                                   "von Windows nicht installiert werden. Die Installation kann "
                                   "nicht fortfahren.");
  EXPECT_TRUE(Program::Answer(box, IDOK));
  EXPECT_TRUE(Running().WaitForExit());
  EXPECT_TRUE(Running().SeenDialogs().empty());

  // Its patch, with a product key that would lead it to an installation.
  SetString("Path", Target() + "\\");
  SetString("Exe", "prog.exe");
  BuildPatch(x64);
  EXPECT_EQ(RunUnseen(Launch("/S")), 1u);
  EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
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

  // Damaged, it says so and ends refused.
  std::string bytes = e2e::ReadFileBytes(spare);
  bytes.resize(bytes.size() - 2);
  CreateDirectoryA(Target().c_str(), nullptr);
  std::ofstream(Target() + "\\uninstall.exe", std::ios::binary | std::ios::trunc) << bytes;
  Program& broken = LaunchProgram(Target() + "\\uninstall.exe", "");
  Window box = broken.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_TRUE(Program::Answer(box, IDOK));
  ASSERT_TRUE(broken.WaitForExit(30000));
  EXPECT_EQ(broken.ExitCode(), 1u);
  DeleteFileA((Target() + "\\uninstall.exe").c_str());
  RemoveDirectoryA(Target().c_str());
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

TEST_F(UninstallTest, FileInUseIsNamedBeforeAnythingIsRemoved) {
  DesktopLink();
  ASSERT_EQ(InstallSilently(Target()), 0u);
  DeleteFileA((Target() + "\\started.txt").c_str());
  const std::string locked = Target() + "\\daten\\a.txt";
  HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  // The held file cannot be read meanwhile.
  auto tree = [&] {
    auto files = TreeIn(Target());
    files.erase("daten\\a.txt");
    files.erase("install.log");
    return files;
  };
  const auto installed = tree();

  // Silent: a few seconds of trying, then refused with everything in place.
  EXPECT_EQ(Uninstall(Target()), 1u);
  EXPECT_EQ(tree(), installed);
  EXPECT_NE(GetFileAttributesA(locked.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(ProductKeyExists());
  EXPECT_TRUE(EntryExists());
  for (const std::string& link : m_links)
    EXPECT_NE(GetFileAttributesA(link.c_str()), INVALID_FILE_ATTRIBUTES) << link;

  // Clicked through: the file is named, "Wiederholen" asks again while it is
  // held, and goes on once it is free.
  Program& run = LaunchProgram(Target() + "\\uninstall.exe", "");
  Window dlg = run.WaitForDialog(m_product + " entfernen");
  ASSERT_TRUE(dlg);
  EXPECT_TRUE(dlg.Click(IDOK));
  Window box = run.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box.MessageText(),
            "Die Datei \"" + locked +
                "\" wird von einem anderen Programm verwendet. Bitte beenden Sie dieses Programm "
                "und klicken Sie auf \"Wiederholen\". Mit \"Abbrechen\" k\xF6nnen Sie das Setup "
                "beenden.");
  EXPECT_TRUE(Program::Answer(box, IDRETRY));
  EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindow(box.Handle()); }));
  box = run.WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(tree(), installed);
  CloseHandle(hold);
  EXPECT_TRUE(Program::Answer(box, IDRETRY));
  EXPECT_TRUE(e2e::WaitUntil([&] { return dlg.ItemText(IDOK) == "Schliessen"; }));
  EXPECT_EQ(dlg.ItemText(IDC_STATIC_TEXT), Filled(kDone, m_product));
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(run.WaitForExit(30000));
  EXPECT_EQ(run.ExitCode(), 0u);
  ExpectNothingLeft(Target());
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

  // A payload that does not decode (the zstd frame's last byte, its
  // checksum): refused before the first folder is made.
  archive::ArchiveTrailer zstd = WithUninstaller();
  zstd.extension.codec = {archive::PayloadCodec::Zstd, 3, 0};
  Build(zstd, ProductFiles());
  bytes = e2e::ReadFileBytes(m_setup);
  uint32_t dataStart = 0;
  uint64_t streamEnd = 0;
  {
    archive::StdioFile file(m_setup);
    archive::ArchiveTrailer t;
    archive::TrailerReadResult r = archive::ReadTrailer(file, t);
    ASSERT_TRUE(r.ok) << r.error;
    dataStart = t.dataStart;
    streamEnd = dataStart + r.layout.StreamLength();
  }
  ASSERT_GT(streamEnd, dataStart);
  bytes[size_t(streamEnd - 1)] ^= 0x5A;
  std::ofstream(m_setup, std::ios::binary | std::ios::trunc) << bytes;
  EXPECT_EQ(RunUnseen(Launch("/S /D=" + Target())), 1u);
  EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(ProductKeyExists());
  EXPECT_FALSE(EntryExists());
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(UninstallTest, OneRunOfAProductAtATime) {
  ASSERT_EQ(InstallSilently(Target()), 0u);
  DeleteFileA((Target() + "\\started.txt").c_str());
  {
    Program setup(m_setup, m_dir.Path(), {"TEMP=" + TempFolder(), "TMP=" + TempFolder()});
    ASSERT_TRUE(setup.WaitForDialog(kCaption));
    EXPECT_EQ(Uninstall(Target()), 1u);
    EXPECT_NE(GetFileAttributesA((Target() + "\\prog.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((Target() + "\\uninstall.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(EntryExists());
  }

  // While an uninstall asks its question, a second uninstall and a setup
  // are refused, unseen and with code 1; the first then goes on.
  Program first(Target() + "\\uninstall.exe", m_dir.Path(),
                {"TEMP=" + TempFolder(), "TMP=" + TempFolder()});
  Window dlg = first.WaitForDialog(m_product + " entfernen");
  ASSERT_TRUE(dlg);
  EXPECT_EQ(Uninstall(Target()), 1u);
  EXPECT_EQ(RunUnseen(Launch("/S /D=" + Target())), 1u);
  EXPECT_NE(GetFileAttributesA((Target() + "\\uninstall.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(e2e::WaitUntil([&] { return dlg.ItemText(IDOK) == "Schliessen"; }));
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(first.WaitForExit(30000));
  EXPECT_EQ(first.ExitCode(), 0u);
  ExpectNothingLeft(Target());
}

TEST_F(UninstallTest, ReinstallByTheWizardThenUninstallFromTheFolderLeavesNothing) {
  DesktopLink();
  ASSERT_EQ(InstallSilently(Target()), 0u);
  // The same installer again, clicked through into the folder it proposes.
  Window dlg = Start();
  EXPECT_EQ(GoToDirectoryPage(dlg), Target());
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kCaption, Text(IDS_DIR_EXISTS, Target()), IDYES);
  Window options = Running().WaitForDialog(Text(IDS_SHORTCUT_CAPTION, m_product));
  ASSERT_TRUE(options);
  EXPECT_TRUE(options.Click(IDOK));
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  DeleteFileA((Target() + "\\started.txt").c_str());

  // As the start menu's link starts it: in the installation folder.
  EXPECT_EQ(UninstallClicked(Target(), Target()), 0u);
  ExpectNothingLeft(Target());
}

TEST_F(UninstallTest, UpgradeOverAnEarlierReleaseIsUninstalledWhole) {
  archive::ArchiveTrailer t = WithUninstaller();
  Build(t, {ProductProgram(), Carried("alt\\nur-v1.txt", "v1"), Source("gemeinsam.txt", "1")});
  ASSERT_EQ(RunUnseen(Launch("/S /D=" + Target())), 0u);
  EXPECT_EQ(EntryString("DisplayVersion"), "3");

  t.version = 4;
  t.extension.product.displayVersion = "2.0.1";
  Build(t, {ProductProgram(), Carried("neu\\nur-v2.txt", "v2"), Source("gemeinsam.txt", "2")});
  ASSERT_EQ(RunUnseen(Launch("/S /D=" + Target())), 0u);
  EXPECT_EQ(EntryString("DisplayVersion"), "2.0.1");
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\alt\\nur-v1.txt"), "v1");
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\gemeinsam.txt"), "2");

  DeleteFileA((Target() + "\\started.txt").c_str());
  EXPECT_EQ(Uninstall(Target()), 0u);
  ExpectNothingLeft(Target());
}

TEST_F(UninstallTest, TargetFoldersAreMadeWholeOrRefusedWithNothingWritten) {
  Build(WithUninstaller(), ProductFiles());
  // Each form names Target(): the key and the entry hold it as it is.
  for (const std::string& form :
       {Target() + "\\", "\"" + Target() + "\"", Target() + "\\alt\\..\\"}) {
    SCOPED_TRACE(form);
    ASSERT_EQ(RunUnseen(Launch("/S /D=" + form)), 0u);
    EXPECT_EQ(ProductPath(), Target() + "\\");
    EXPECT_EQ(EntryString("InstallLocation"), Target());
    EXPECT_EQ(EntryString("UninstallString"), "\"" + Target() + "\\uninstall.exe\"");
    DeleteFileA((Target() + "\\started.txt").c_str());
    EXPECT_EQ(Uninstall(Target()), 0u);
    ExpectNothingLeft(Target());
  }
  for (const std::string& form :
       {std::string("relativ\\ordner"), std::string(), "C:\\" + std::string(250, 'l')}) {
    SCOPED_TRACE(form);
    EXPECT_EQ(RunUnseen(Launch("/S /D=" + form)), 1u);
    EXPECT_EQ(FilesIn(m_dir.Path()),
              (std::vector<std::string>{"install.log", "setup.exe", "source", "temp"}));
    EXPECT_FALSE(ProductKeyExists());
    EXPECT_FALSE(EntryExists());
  }
}

TEST_F(UninstallTest, NothingBehindALinkInTheFolderIsRemoved) {
  // "Produkt\\daten" leads to "Fremd", as a junction would.
  const std::string root = e2e::WindowsPath(LINKED_FOLDER);
  const std::string target = root + "\\Produkt", other = root + "\\Fremd";
  auto clearOther = [&] {
    DeleteFileA((other + "\\a.txt").c_str());
    DeleteFileA((other + "\\tief\\b.txt").c_str());
    RemoveDirectoryA((other + "\\tief").c_str());
  };
  clearOther();
  ASSERT_NE(GetFileAttributesA((target + "\\daten").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  ASSERT_EQ(InstallSilently(target), 0u);
  ASSERT_EQ(e2e::ReadFileBytes(other + "\\a.txt"), "A");
  DeleteFileA((target + "\\started.txt").c_str());

  std::string finish;
  EXPECT_EQ(UninstallClicked(target, m_dir.Path(), &finish), 0u);
  EXPECT_EQ(finish, Filled(kDone, m_product) + Filled(kKept, target + "\\daten"));
  EXPECT_EQ(TreeIn(other), (std::map<std::string, std::string>{
                               {"a.txt", "A"}, {"tief", "<dir>"}, {"tief\\b.txt", "B"}}));
  EXPECT_EQ(FilesIn(target), std::vector<std::string>{"daten"});
  EXPECT_FALSE(ProductKeyExists());
  EXPECT_FALSE(EntryExists());
  clearOther();
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
