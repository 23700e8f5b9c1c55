// A patch, an installation or an uninstall cut off anywhere (the process
// ended as Task Manager or a power loss would) is undone or finished by the
// next start, which then does its own job: run again, the patch and the
// installer give exactly their release, and the uninstaller leaves nothing.
// The tests' stub ends
// itself at the point SETUP_TEST_CUT names (cut_point_hooks.cpp).
#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

using Files = std::map<std::string, std::string>;

class JournalTest : public SetupTest {
protected:
  ~JournalTest() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kUninstallRoot + m_product).c_str());
    DeleteFileA(DesktopLink().c_str());
    RemoveFolderTree(StartMenuFolder());
  }
  std::string DesktopLink() const { return ShellFolder("Desktop") + "\\" + m_product + ".lnk"; }
  std::string StartMenuFolder() const { return ShellFolder("Programs") + "\\" + m_product; }
  static void RemoveFolderTree(const std::string& folder) {
    for (const auto& [name, bytes] : TreeIn(folder))
      if (bytes != "<dir>") DeleteFileA((folder + "\\" + name).c_str());
    RemoveDirectoryA(folder.c_str());
  }

  // Release 3 (or 4: two files changed, one new in a new folder) with the
  // built-in uninstaller and its links, installed silently, cut off where
  // `cut` says.
  DWORD Install(const std::string& cut = "", uint16_t release = 3) {
    archive::ArchiveTrailer t = Installer();
    t.version = release;
    t.extension.uninstaller = {true, "Bars GmbH"};
    t.hasShortcutOptions = 1;
    t.uninstallShortcut = 1;
    t.programShortcut = 1;
    if (release == 3)
      Build(t, {ProductProgram(), Carried("daten\\a.txt", "A"), Carried("daten\\tief\\b.txt", "B"),
                Source("liesmich.txt", "lies mich")});
    else
      Build(t, {ProductProgram(), Carried("daten\\a.txt", "A2"), Carried("daten\\tief\\b.txt", "B"),
                Carried("neu\\c.txt", "C"), Source("liesmich.txt", "lies mich 2")});
    return RunCut(cut, "/S /D=" + Target());
  }
  // setup.exe, silent; the tests' stub ends itself at `cut`.
  DWORD RunCut(const std::string& cut, const std::string& arguments) {
    m_environment.clear();
    if (!cut.empty()) m_environment.push_back("SETUP_TEST_CUT=" + cut);
    const DWORD code = RunUnseen(Launch(arguments));
    m_environment.clear();
    return code;
  }
  // The patch to release 4: three files changed, two new ones in new folders.
  void BuildPatch() {
    archive::ArchiveTrailer t;
    t.installerFlag = 0;
    t.version = 4;
    t.caption = kCaption;
    t.productName = m_product;
    Build(t, {Carried("daten\\a.txt", "A2"), Carried("daten\\tief\\b.txt", "B2"),
              Carried("liesmich.txt", "lies mich 2"), Carried("neu\\extra.txt", "neu"),
              Carried("neu\\zwei\\c.txt", "C")});
  }
  DWORD Patch(const std::string& cut = "") {
    BuildPatch();
    return RunCut(cut, "/S");
  }
  // The product's record of its start goes as the product would.
  DWORD Uninstall(const std::string& cut = "") {
    DeleteFileA((Target() + "\\started.txt").c_str());
    m_environment.clear();
    if (!cut.empty()) m_environment.push_back("SETUP_TEST_CUT=" + cut);
    const DWORD code = RunUnseen(LaunchProgram(Target() + "\\uninstall.exe", "/S"));
    m_environment.clear();
    return code;
  }
  // Neither file, folder, product key, uninstall entry nor link is left.
  void ExpectNothingLeft() {
    EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES)
        << ::testing::PrintToString(TreeIn(Target()));
    EXPECT_FALSE(KeyExists({HKEY_CURRENT_USER, 0}, "Software\\Tarnivex\\" + m_product));
    EXPECT_FALSE(KeyExists(EntryPlace({}), kUninstallRoot + m_product));
    EXPECT_EQ(GetFileAttributesA(DesktopLink().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA(StartMenuFolder().c_str()), INVALID_FILE_ATTRIBUTES);
  }
  DWORD Version() const {
    DWORD value = 0, size = 4;
    RegGetValueA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), "Version",
                 RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
  }
  // Every value of the product key and of the uninstall entry, by name
  // (type and bytes); left out are the day of the installation and the size,
  // which counts a log an earlier run left in the folder.
  Files Registration() const {
    Files values;
    auto add = [&](HKEY root, const std::string& key, const std::string& prefix) {
      HKEY handle;
      if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
      char name[256];
      BYTE data[2048];
      for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof(name), size = sizeof(data), type = 0;
        if (RegEnumValueA(handle, i, name, &nameSize, nullptr, &type, data, &size) !=
            ERROR_SUCCESS)
          break;
        if (std::string(name) != "InstallDate" && std::string(name) != "EstimatedSize")
          values[prefix + name] = std::to_string(type) + ":" + std::string((char*)data, size);
      }
      RegCloseKey(handle);
    };
    add(HKEY_CURRENT_USER, "Software\\Tarnivex\\" + m_product, "key\\");
    add(HKEY_LOCAL_MACHINE, kUninstallRoot + m_product, "entry\\");
    return values;
  }
  // The files without the uninstaller, whose list may name the same things
  // in another order after a run that took over an earlier list.
  static Files Unregistered(Files files) {
    EXPECT_EQ(files.erase("uninstall.exe"), 1u);
    return files;
  }
  // The product folder without what each run's process writes besides the
  // release: the log and the product's record of its start.
  Files Release() const {
    Files files = TreeIn(Target());
    files.erase("install.log");
    files.erase("started.txt");
    return files;
  }
};

TEST_F(JournalTest, PatchCutOffAnywhereIsUndoneAndTheNextRunGivesExactlyTheNewRelease) {
  ASSERT_EQ(Install(), 0u);
  const Files release3 = Release();
  ASSERT_EQ(Patch(), 0u);
  const Files release4 = Release();
  ASSERT_EQ(release4.at("neu\\zwei\\c.txt"), "C");
  ASSERT_EQ(Uninstall(), 0u);
  ASSERT_EQ(TreeIn(Target()), Files{});

  // During the checks, after the first file, in the middle (and between a
  // file's second name and its replacement), after the last entry, after
  // the commit before the release is recorded.
  for (const char* cut : {"check", "entry:1", "link:2", "entry:3", "entry:5", "files", "commit"}) {
    SCOPED_TRACE(cut);
    ASSERT_EQ(Install(), 0u);
    ASSERT_TRUE(Release() == release3);
    ASSERT_EQ(Patch(cut), 99u) << "the cut point was not reached";
    EXPECT_EQ(Version(), 3u);

    // Already recorded after a cut behind the commit: refused as current.
    EXPECT_EQ(Patch(), std::string(cut) == "commit" ? 1u : 0u);
    EXPECT_TRUE(Release() == release4) << "release 4 byte for byte, no work folder or backup left";
    EXPECT_EQ(Version(), 4u);
    const std::vector<std::string> log = Running().LogMessages();
    EXPECT_EQ(Logged(log, "Interrupted update undone").empty(),
              std::string(cut) == "check" || std::string(cut) == "commit");

    // The uninstaller knows the new files: nothing stays.
    EXPECT_EQ(Uninstall(), 0u);
    EXPECT_EQ(TreeIn(Target()), Files{});
    RemoveDirectoryA(Target().c_str());
  }

  // An uninstall cut off anywhere: after its plan, after the first file, in
  // the middle, after the last, after its commit, after the links and keys.
  // Cut off, the uninstaller is still there, and run again it leaves
  // nothing. The first run also undoes a patch that was cut off first.
  for (const char* cut : {"plan", "remove:1", "remove:3", "moved", "commit", "outside"}) {
    SCOPED_TRACE(cut);
    ASSERT_EQ(Install(), 0u);
    if (std::string(cut) == "plan") {
      ASSERT_EQ(Patch("entry:5"), 99u);
    }
    // The copy in TEMP is cut off; the program the entry starts reports
    // that as a failure.
    ASSERT_EQ(Uninstall(cut), 2u) << "the cut point was not reached";
    if (std::string(cut) == "remove:3") {
      // Another start first puts the product back whole: the patch, cut off
      // before it writes, finds release 3.
      EXPECT_EQ(Patch("check"), 99u);
      EXPECT_FALSE(Logged(Running().LogMessages(), "Interrupted update undone").empty());
      EXPECT_TRUE(Release() == release3);
      EXPECT_EQ(Version(), 3u);
      EXPECT_NE(GetFileAttributesA(StartMenuFolder().c_str()), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_EQ(Uninstall(), 0u);
    ExpectNothingLeft();
  }
}

TEST_F(JournalTest, InstallationCutOffAnywhereIsUndoneAndTheRerunGivesExactlyTheRelease) {
  ASSERT_EQ(Install(), 0u);
  const Files release3 = Release();
  const Files registered = Registration();
  ASSERT_EQ(registered.count("key\\Version"), 1u);
  ASSERT_EQ(Install("", 4), 0u);
  const Files release4 = Release();
  ASSERT_EQ(Uninstall(), 0u);
  ASSERT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);

  // A first installation: after the checks, after the first file, in the
  // middle, after the last, after the commit, before and after the product
  // is registered.
  for (const char* cut :
       {"check", "entry:1", "entry:2", "entry:4", "files", "commit", "register", "registered"}) {
    SCOPED_TRACE(cut);
    ASSERT_EQ(Install(cut), 99u) << "the cut point was not reached";
    EXPECT_EQ(Install(), 0u);
    EXPECT_TRUE(Unregistered(Release()) == Unregistered(release3))
        << "release 3 byte for byte, no work folder left";
    EXPECT_EQ(Registration(), registered);
    EXPECT_EQ(Uninstall(), 0u);
    ASSERT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
  }

  // Any start undoes a cut first installation whole: the patch, which then
  // finds nothing to patch, leaves neither folder nor key.
  ASSERT_EQ(Install("entry:3"), 99u);
  EXPECT_EQ(Patch(), 1u);
  EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Registration(), Files{});

  // Over an installed release: cut between a file's second name and its
  // replacement, the rerun gives the new release.
  ASSERT_EQ(Install(), 0u);
  ASSERT_EQ(Install("link:2", 4), 99u);
  EXPECT_EQ(Install("", 4), 0u);
  EXPECT_TRUE(Unregistered(Release()) == Unregistered(release4));
  EXPECT_EQ(Version(), 4u);
  EXPECT_EQ(Uninstall(), 0u);
  EXPECT_EQ(TreeIn(Target()), Files{});
}

TEST_F(JournalTest, FileHeldByAnotherProgramIsNamedBeforeAByteIsWritten) {
  ASSERT_EQ(Install(), 0u);
  const Files release3 = Release();
  const std::string held = Target() + "\\daten\\tief\\b.txt";
  HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);

  // Silent, an installation over it or the patch: a few seconds of trying,
  // then refused with nothing written (the held file cannot be read
  // meanwhile).
  auto unchanged = [&] {
    Files now = Release(), then = release3;
    now.erase("daten\\tief\\b.txt");
    then.erase("daten\\tief\\b.txt");
    return now == then;
  };
  EXPECT_EQ(Install("", 4), 1u);
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(Patch(), 1u);
  EXPECT_TRUE(unchanged());
  EXPECT_EQ(Version(), 3u);

  // The wizard names the file; once it is free, "Wiederholen" goes on.
  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, {Text(IDS_PATCH_WELCOME, m_product + " - Version 4"), "Weiter"}));
  ASSERT_TRUE(dlg.Click(IDOK));
  Window box = Running().WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box.MessageText(),
            "Die Datei \"" + held +
                "\" wird von einem anderen Programm verwendet. Bitte beenden Sie dieses Programm "
                "und klicken Sie auf \"Wiederholen\". Mit \"Abbrechen\" k\xF6nnen Sie das Setup "
                "beenden.");
  EXPECT_TRUE(unchanged());
  CloseHandle(file);
  EXPECT_TRUE(e2e::Program::Answer(box, IDRETRY));
  Page done{Text(IDS_FINISHED, m_product + " - Version 4"), "Weiter"};
  done.cancel = false;
  done.readme = true;
  ASSERT_TRUE(Shows(dlg, done));
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(Running().WaitForExit(30000));
  EXPECT_EQ(Version(), 4u);
  EXPECT_EQ(e2e::ReadFileBytes(held), "B2");
}

} // namespace
} // namespace setup_e2e
