// The patch program driven end to end: it finds the installation through the
// product key or the uninstall entry, refuses what it must, writes its files
// over the installed ones, and puts the old version back when it fails or is
// cancelled half-way. The "installation" is made directly: files in a folder
// and the product key's values.
#include <cstdio>
#include <map>
#include <optional>

#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

using Files = std::map<std::string, std::string>;

// Bytes that do not compress, so that a payload takes a moment to expand.
std::string Noise(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = char(seed >> 23);
  }
  return bytes;
}

class PatchTest : public SetupTest {
protected:
  ~PatchTest() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kUninstallRoot + m_product).c_str());
  }

  std::string Key() const { return "Software\\Tarnivex\\" + m_product; }
  std::string Title() const { return m_product + " - Version 3"; }
  std::string Installed(const std::string& name) const { return Target() + "\\" + name; }
  // The patch tests run for either codec.
  void DiffPatchApplies(const std::string& compression);
  void FailingTreePatchRollsBack(const archive::CodecBlock& codec);

  // A patch to version 3 of this test's product.
  archive::ArchiveTrailer Patch() const {
    archive::ArchiveTrailer t;
    t.installerFlag = 0;
    t.version = 3;
    t.caption = kCaption;
    t.productName = m_product;
    return t;
  }
  // Builds setup.exe carrying these files in this order.
  void BuildPatch(const archive::ArchiveTrailer& t,
                  const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<e2e::Payload> payload;
    for (const auto& [name, bytes] : files) payload.push_back(Source(name, bytes));
    Build(t, payload);
  }

  // A folder with these files, in folders of their own where their names say so.
  static void WriteTree(const std::string& folder, const Files& files) {
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const auto& [name, bytes] : files) {
      for (size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1))
        CreateDirectoryA((folder + "\\" + name.substr(0, at)).c_str(), nullptr);
      WriteFile(folder + "\\" + name, bytes);
    }
  }
  // The product's folder with these files (in folders of their own where
  // their names say so) and its program "prog.exe".
  void InstallFiles(const Files& files) {
    WriteTree(Target(), files);
    ASSERT_TRUE(
        CopyFileA(ProductProgram().sourcePath.c_str(), Installed("prog.exe").c_str(), FALSE));
  }
  // The product key as the installer leaves it; no version when missing.
  void RecordInstallation(std::optional<DWORD> version) {
    SetString(HKEY_CURRENT_USER, Key(), "Path", Target() + "\\");
    SetString(HKEY_CURRENT_USER, Key(), "Exe", "prog.exe");
    if (version) SetDword(Key(), "Version", *version);
  }

  static void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  static void SetString(HKEY root, const std::string& key, const char* name,
                        const std::string& text) {
    ASSERT_EQ(
        RegSetKeyValueA(root, key.c_str(), name, REG_SZ, text.c_str(), DWORD(text.size() + 1)),
        ERROR_SUCCESS);
  }
  static void SetDword(const std::string& key, const char* name, DWORD value) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), name, REG_DWORD, &value, 4),
              ERROR_SUCCESS);
  }
  std::optional<DWORD> Version() const {
    DWORD value = 0, size = 4;
    if (RegGetValueA(HKEY_CURRENT_USER, Key().c_str(), "Version", RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
      return std::nullopt;
    return value;
  }
  std::string String(const char* name) const {
    char value[MAX_PATH] = "";
    DWORD size = sizeof(value);
    RegGetValueA(HKEY_CURRENT_USER, Key().c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
  }

  // Everything in the product's folder with its bytes (folders as "<dir>").
  Files Contents() const { return TreeIn(Target()); }

  Page WelcomePage() const { return {Text(IDS_PATCH_WELCOME, Title()), "Weiter"}; }
  // After the patch: the success text and the ticked readme box; the next
  // button keeps its caption.
  Page DonePage() const {
    Page page{Text(IDS_FINISHED, Title()), "Weiter"};
    page.cancel = false;
    page.readme = true;
    return page;
  }

  // Welcome page -> "Weiter" -> the page after the patch.
  void ApplyFrom(const Window& dlg) {
    ASSERT_TRUE(Shows(dlg, WelcomePage()));
    ASSERT_TRUE(dlg.Click(IDOK));
    ASSERT_TRUE(Shows(dlg, DonePage()));
    EXPECT_TRUE(dlg.ItemChecked(IDC_README_CHECK));
    EXPECT_EQ(dlg.ItemText(IDC_README_CHECK), Text(IDS_README_CHECK, Title()));
  }
  // Welcome page -> the patch -> "Weiter" on its last page; the product
  // folder afterwards.
  Files PatchToTheEnd() {
    Window dlg = Start();
    ApplyFrom(dlg);
    EXPECT_EQ(Version(), 3u);
    EXPECT_TRUE(dlg.Click(IDOK));
    EXPECT_TRUE(Running().WaitForExit(30000));
    return Contents();
  }
  // What the tree patches change: the deep file, and a file in new folders;
  // the run's log and the product's start record come with it.
  void AddTreePatchTo(Files& expected, const Files& now) const {
    expected["daten\\de\\text.txt"] = "neu de";
    expected["plugins"] = expected["plugins\\neu"] = "<dir>";
    expected["plugins\\neu\\modul.dll"] = "modul";
    expected["install.log"] = now.count("install.log") ? now.at("install.log") : "";
    expected["started.txt"] = StartedLine();
  }
  // The cancel question, answered.
  void ExpectCancelQuestion(int answer) {
    Window box = Running().WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box.Item(IDYES) && box.Item(IDNO));
    EXPECT_TRUE(GetWindowLongA(box.Item(IDNO).Handle(), GWL_STYLE) & BS_DEFPUSHBUTTON)
        << "No is the default";
    ExpectBox(kCaption, Text(IDS_CANCEL_PATCH, m_product), answer);
  }
  // A refusal before the first page: OK only, then the program ends.
  void ExpectRefusal(const std::string& text) {
    Window box = Running().WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box.Item(IDOK));
    EXPECT_FALSE(box.Item(IDCANCEL) || box.Item(IDYES) || box.Item(IDNO));
    ExpectBox(kAppName, text, IDOK);
    EXPECT_TRUE(Running().WaitForExit());
  }
  // The folder in which the patch staged its entries, read from its log: a
  // folder of its own inside the product's folder, "TVPxxxxx.tmp\new\".
  std::string StagingFolder(const std::vector<std::string>& log) const {
    const std::string head = "Copying File [" + Target() + "\\TVP";
    for (const std::string& line : log)
      if (line.rfind(head, 0) == 0) {
        size_t end = line.find("\\new\\");
        return line.substr(14, end + 5 - 14);
      }
    return {};
  }
  // The two lines each entry writes, in directory order.
  std::vector<std::string>
  EntryLines(const std::string& staging,
             const std::vector<std::pair<std::string, std::string>>& entries) const {
    std::vector<std::string> lines;
    for (const auto& [name, bytes] : entries) {
      lines.push_back("Copying File [" + staging + name + "] [" + std::to_string(bytes.size()) +
                      "]");
      lines.push_back("Copying File [" + staging + name + "] to [" + Installed(name) + "]");
    }
    return lines;
  }
  static std::vector<std::string> LinesStartingWith(const std::vector<std::string>& log,
                                                    const std::vector<std::string>& heads) {
    std::vector<std::string> lines;
    for (const std::string& line : log)
      for (const std::string& head : heads)
        if (line.rfind(head, 0) == 0) {
          lines.push_back(line);
          break;
        }
    return lines;
  }
  std::string Started() const { return e2e::ReadFileBytes(Installed("started.txt")); }
  std::string StartedLine() const { return "\"" + Installed("prog.exe") + "\" -install\r\n"; }
};

TEST_F(PatchTest, ReplacesChangedFilesCreatesNewOnesRaisesTheVersionAndStartsTheProduct) {
  InstallFiles({{"a.txt", "alt a"}, {"b.dat", "alt b"}, {"c.txt", "bleibt"}});
  RecordInstallation(2);
  // An unquoted "...\Ziel Ordner\prog.exe" would start this program instead.
  ASSERT_TRUE(
      CopyFileA(ProductProgram().sourcePath.c_str(), m_dir.File("Ziel.exe").c_str(), FALSE));
  // Small entries: their stream is longer than the data it expands to.
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"a.txt", "neu a"}, {"leer.txt", ""}, {"b.dat", Noise(300000, 7)}, {"neu.txt", "ganz neu"}};
  BuildPatch(Patch(), entries);

  Window dlg = Start();
  EXPECT_FALSE(dlg.ItemVisible(IDC_PROGRESS));
  ApplyFrom(dlg);
  EXPECT_EQ(Version(), 3u);
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(Running().WaitForExit(30000));

  Files expected = {
      {"a.txt", "neu a"},      {"b.dat", entries[2].second},
      {"c.txt", "bleibt"},     {"leer.txt", ""},
      {"neu.txt", "ganz neu"}, {"prog.exe", e2e::ReadFileBytes(ProductProgram().sourcePath)}};
  Files now = Contents();
  expected["install.log"] = now["install.log"];
  expected["started.txt"] = StartedLine();
  EXPECT_EQ(now, expected);
  EXPECT_EQ(e2e::ReadFileBytes(m_dir.File("started.txt")), "");
  EXPECT_EQ(Version(), 3u);
  EXPECT_EQ(String("Path"), Target() + "\\");
  EXPECT_EQ(String("Exe"), "prog.exe");

  // The log went into the product's folder, one pair of lines per entry.
  EXPECT_EQ(GetFileAttributesA(m_dir.File("install.log").c_str()), INVALID_FILE_ATTRIBUTES);
  std::vector<std::string> log = e2e::LogMessagesOf(now["install.log"]);
  std::string staging = StagingFolder(log);
  EXPECT_FALSE(staging.empty());
  EXPECT_EQ(LinesStartingWith(log, {"Copying File", "Unable"}), EntryLines(staging, entries));
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{}) << "temporary files left";
}

TEST_F(PatchTest, InstalledVersionAsNewAsThePatchIsRefused) {
  InstallFiles({{"a.txt", "alt"}});
  BuildPatch(Patch(), {{"a.txt", "neu"}});
  for (DWORD installed : {3u, 4u}) {
    RecordInstallation(installed);
    Launch();
    ExpectRefusal("Eine aktuelle Version von \"" + m_product +
                  "\" ist bereits installiert. Die Installation kann nicht fortfahren.");
    EXPECT_EQ(e2e::ReadFileBytes(Installed("a.txt")), "alt");
    EXPECT_EQ(Version(), installed);
  }
}

TEST_F(PatchTest, OlderMissingOrUnreadableVersionProceedsAndCancelAsksOnEveryPage) {
  InstallFiles({{"a.txt", "alt"}});
  BuildPatch(Patch(), {{"a.txt", "neu"}});
  for (int variant = 0; variant < 3; ++variant) {
    RegDeleteTreeA(HKEY_CURRENT_USER, Key().c_str());
    RecordInstallation(variant == 0 ? std::optional<DWORD>(2) : std::nullopt);
    if (variant == 2) SetString(HKEY_CURRENT_USER, Key(), "Version", "9"); // not a DWORD
    Window dlg = Start();
    ASSERT_TRUE(Shows(dlg, WelcomePage())) << "variant " << variant;
    EXPECT_TRUE(Running().SeenMessageBoxes().empty());

    // No keeps the page; Yes (by Escape the second time) ends the program.
    EXPECT_TRUE(dlg.Click(IDCANCEL));
    ExpectCancelQuestion(IDNO);
    EXPECT_TRUE(Shows(dlg, WelcomePage()));
    EXPECT_TRUE(dlg.PressKey(VK_ESCAPE));
    ExpectCancelQuestion(IDYES);
    EXPECT_TRUE(Running().WaitForExit());
    EXPECT_EQ(e2e::ReadFileBytes(Installed("a.txt")), "alt");
    EXPECT_EQ(Started(), "");
  }
}

TEST_F(PatchTest, UninstallEntryStandsInForAnIncompleteProductKey) {
  // The entry's form: folder, program, " -uninstall". Only "Exe" and a high
  // version are recorded: the entry wins and no version is compared.
  const std::string folder = "C:\\Prog\\" + m_product + "\\";
  SetString(HKEY_LOCAL_MACHINE, kUninstallRoot + m_product, "UninstallString",
            folder + "foo.exe -uninstall");
  SetString(HKEY_CURRENT_USER, Key(), "Exe", "alt.exe");
  SetDword(Key(), "Version", 9);
  BuildPatch(Patch(), {{"a.txt", "neu"}});
  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, WelcomePage()));
  EXPECT_TRUE(dlg.Click(IDCANCEL));
  ExpectCancelQuestion(IDYES);
  ASSERT_TRUE(Running().WaitForExit());
  // A patch that did not go on wrote nothing.
  EXPECT_EQ(String("Path"), "");
  EXPECT_EQ(String("Exe"), "alt.exe");
  EXPECT_EQ(Version(), 9u);

  // Through such an entry the patch goes all the way.
  RegDeleteTreeA(HKEY_CURRENT_USER, Key().c_str());
  InstallFiles({{"a.txt", "alt"}});
  SetString(HKEY_LOCAL_MACHINE, kUninstallRoot + m_product, "UninstallString",
            Installed("prog.exe") + " -uninstall");
  dlg = Start();
  ApplyFrom(dlg);
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(Running().WaitForExit(30000));
  EXPECT_EQ(e2e::ReadFileBytes(Installed("a.txt")), "neu");
  EXPECT_EQ(String("Path"), Target() + "\\");
  EXPECT_EQ(String("Exe"), "prog.exe");
  EXPECT_EQ(Version(), 3u);
  EXPECT_EQ(Started(), StartedLine());
}

TEST_F(PatchTest, NoInstallationFoundIsRefused) {
  BuildPatch(Patch(), {{"a.txt", "neu"}});
  const std::string refusal = "Es wurde keine Version von \"" + m_product +
                              "\" gefunden. Die Installation kann nicht fortfahren.";
  Launch();
  ExpectRefusal(refusal);
  HKEY key;
  EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, Key().c_str(), &key), ERROR_SUCCESS);

  // An uninstall command without a folder does not say where the product is.
  SetString(HKEY_LOCAL_MACHINE, kUninstallRoot + m_product, "UninstallString",
            "prog.exe -uninstall");
  Launch();
  ExpectRefusal(refusal);
  EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, Key().c_str(), &key), ERROR_SUCCESS);
}

TEST_F(PatchTest, LicenseDeclinedChangesNothingAndAcceptedLetsThePatchRun) {
  InstallFiles({{"a.txt", "alt"}});
  RecordInstallation(1);
  archive::ArchiveTrailer t = Patch();
  t.licenseText = "Lizenz des Patches";
  BuildPatch(t, {{"a.txt", "neu"}});
  for (bool accept : {false, true}) {
    Window dlg = Start();
    ASSERT_TRUE(Shows(dlg, WelcomePage()));
    EXPECT_TRUE(dlg.Click(IDOK));
    Window license = Running().WaitForDialog("Lizenz");
    ASSERT_TRUE(license);
    EXPECT_EQ(license.ItemText(IDC_LICENSE_TEXT), "Lizenz des Patches");
    if (accept) {
      EXPECT_TRUE(license.Click(IDOK));
      ASSERT_TRUE(Shows(dlg, DonePage()));
      EXPECT_TRUE(dlg.Click(IDOK));
      ASSERT_TRUE(Running().WaitForExit(30000));
      EXPECT_EQ(e2e::ReadFileBytes(Installed("a.txt")), "neu");
      EXPECT_EQ(Version(), 3u);
    } else {
      EXPECT_TRUE(license.Click(IDCANCEL));
      ExpectBox(kAppName,
                "Wenn Sie die Lizenzbedingungen nicht akzeptieren, kann das Produkt nicht "
                "installiert werden. Soll das Setup jetzt beendet werden?",
                IDYES);
      ASSERT_TRUE(Running().WaitForExit());
      EXPECT_EQ(e2e::ReadFileBytes(Installed("a.txt")), "alt");
      EXPECT_EQ(Version(), 1u);
      EXPECT_EQ(Started(), "");
    }
  }
}

TEST_F(PatchTest, FailureOnTheThirdOfFiveEntriesPutsTheOldVersionBack) {
  // e2.txt is new; a folder stands where e3.txt must go.
  InstallFiles({{"e1.txt", "alt 1"}, {"e4.txt", "alt 4"}, {"e5.txt", "alt 5"}});
  ASSERT_TRUE(CreateDirectoryA(Installed("e3.txt").c_str(), nullptr));
  RecordInstallation(2);
  const Files before = Contents();
  BuildPatch(Patch(), {{"e1.txt", "neu 1"},
                       {"e2.txt", "neu 2"},
                       {"e3.txt", "neu 3"},
                       {"e4.txt", "neu 4"},
                       {"e5.txt", "neu 5"}});

  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, WelcomePage()));
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kCaption, Text(IDS_OPEN_FAILED, "e3.txt"), IDOK);
  ASSERT_TRUE(Running().WaitForExit());

  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(Version(), 2u);
  EXPECT_EQ(Started(), "");
  std::vector<std::string> log = Running().LogMessages();
  std::string staging = StagingFolder(log);
  std::vector<std::string> expected =
      EntryLines(staging, {{"e1.txt", "neu 1"}, {"e2.txt", "neu 2"}, {"e3.txt", "neu 3"}});
  expected.push_back("Removing File [" + Installed("e2.txt") + "]");
  expected.push_back("Restoring File [" + Installed("e1.txt") + "]");
  EXPECT_EQ(LinesStartingWith(log, {"Copying File", "Removing File", "Restoring File"}), expected);
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{}) << "temporary files left";
}

TEST_F(PatchTest, TreeGetsItsDeepFileChangedAndANewFileInNewFolders) {
  InstallFiles(
      {{"bin\\app.dll", "alt"}, {"daten\\de\\text.txt", "alt de"}, {"daten\\en\\text.txt", "en"}});
  RecordInstallation(2);
  Files expected = Contents();
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"daten\\de\\text.txt", "neu de"}, {"plugins\\neu\\modul.dll", "modul"}};
  std::vector<e2e::Payload> payload;
  for (const auto& [name, bytes] : entries) payload.push_back(Carried(name, bytes));
  Build(Patch(), payload);

  Files now = PatchToTheEnd();
  AddTreePatchTo(expected, now);
  EXPECT_EQ(now, expected) << "nothing else, no work folder left";
  std::vector<std::string> log = e2e::LogMessagesOf(now["install.log"]);
  EXPECT_EQ(LinesStartingWith(log, {"Copying File", "Unable"}),
            EntryLines(StagingFolder(log), entries));
}

// Runs mksetup.exe with these arguments (each quoted); its exit code.
DWORD RunMksetup(const std::vector<std::string>& args) {
  std::string command = "\"" + e2e::WindowsPath(MKSETUP_PROGRAM_PATH) + "\"";
  for (const std::string& arg : args) command += " \"" + arg + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return DWORD(-1);
  DWORD code = DWORD(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

// A patch that mksetup.exe diff made, with the codec given.
void PatchTest::DiffPatchApplies(const std::string& compression) {
  const Files release2 = {
      {"bin\\app.dll", "alt"}, {"daten\\de\\text.txt", "alt de"}, {"daten\\en\\text.txt", "en"}};
  InstallFiles(release2);
  RecordInstallation(2);
  Files expected = Contents();
  // Release 3: a deep file changed, one in new folders, one removed.
  Files release3 = release2;
  release3["daten\\de\\text.txt"] = "neu de";
  release3["plugins\\neu\\modul.dll"] = "modul";
  release3.erase("daten\\en\\text.txt");
  WriteTree(m_dir.File("release-2"), release2);
  WriteTree(m_dir.File("release-3"), release3);
  ASSERT_EQ(RunMksetup({"diff", m_dir.File("release-2"), m_dir.File("release-3"), "-o", m_setup,
                        "--caption", kCaption, "--product", m_product, "--version", "3", "--stub",
                        e2e::WindowsPath(e2e::StubPath()), "--compression", compression}),
            0u);

  Files now = PatchToTheEnd();
  // The removed file stays installed.
  AddTreePatchTo(expected, now);
  EXPECT_EQ(now, expected);
}

TEST_F(PatchTest, PatchThatMksetupDiffMadeOfTwoReleaseTreesApplies) { DiffPatchApplies("zstd"); }

TEST_F(PatchTest, HufPatchThatMksetupDiffMadeApplies) { DiffPatchApplies("huf"); }

TEST_F(PatchTest, TreePatchFailingOnItsLastEntryLeavesThePreviousTreeExactly) {
  FailingTreePatchRollsBack(archive::CodecBlock{});
}

TEST_F(PatchTest, ZstdTreePatchFailingOnItsLastEntryLeavesThePreviousTreeExactly) {
  FailingTreePatchRollsBack(archive::CodecBlock{archive::PayloadCodec::Zstd, 19, 25});
}

void PatchTest::FailingTreePatchRollsBack(const archive::CodecBlock& codec) {
  // A folder stands where the last entry's file must go.
  InstallFiles({{"bin\\app.dll", "alt"}, {"daten\\de\\text.txt", "alt de"}});
  ASSERT_TRUE(CreateDirectoryA(Installed("daten\\zuletzt.txt").c_str(), nullptr));
  RecordInstallation(2);
  const Files before = Contents();
  archive::ArchiveTrailer patch = Patch();
  patch.extension.codec = codec;
  Build(patch,
        {Carried("daten\\de\\text.txt", "neu de"), Carried("plugins\\neu\\modul.dll", "modul"),
         Carried("bin\\app.dll", "neu"), Carried("daten\\zuletzt.txt", "neu")});

  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, WelcomePage()));
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kCaption, Text(IDS_OPEN_FAILED, "daten\\zuletzt.txt"), IDOK);
  ASSERT_TRUE(Running().WaitForExit());
  EXPECT_EQ(Contents(), before) << "new folders and the work folder gone";
  EXPECT_EQ(Version(), 2u);
  EXPECT_EQ(Started(), "");
  EXPECT_EQ(
      LinesStartingWith(Running().LogMessages(), {"Removing", "Restoring"}),
      (std::vector<std::string>{"Restoring File [" + Installed("bin\\app.dll") + "]",
                                "Removing File [" + Installed("plugins\\neu\\modul.dll") + "]",
                                "Removing Directory [" + Installed("plugins\\neu") + "]",
                                "Removing Directory [" + Installed("plugins") + "]",
                                "Restoring File [" + Installed("daten\\de\\text.txt") + "]"}));
}

TEST_F(PatchTest, CancelRightAtTheStartOfThePatchChangesNothingAndSaysNothingMore) {
  InstallFiles({{"a.txt", "alt a"}, {"b.bin", "alt b"}});
  RecordInstallation(2);
  const Files before = Contents();
  // Several MiB to copy and expand: the cancel is seen before any entry.
  BuildPatch(Patch(), {{"a.txt", "neu a"}, {"b.bin", Noise(8 << 20, 1)}});

  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, WelcomePage()));
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(dlg.Click(IDCANCEL));
  ExpectCancelQuestion(IDYES);
  ASSERT_TRUE(Running().WaitForExit(30000));

  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{kCaption});
  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(Version(), 2u);
  EXPECT_EQ(LinesStartingWith(Running().LogMessages(), {"Copying File"}),
            std::vector<std::string>{});
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{}) << "temporary files left";
}

TEST_F(PatchTest, CancelWhileFilesAreReplacedPutsTheOldVersionBack) {
  // Many entries, so that the loop is still running when the cancel comes.
  const int count = 600;
  Files installed;
  std::vector<std::pair<std::string, std::string>> entries;
  for (int i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%04d.txt", i);
    if (i % 5 != 4) installed[name] = "alt " + std::to_string(i);
    entries.push_back({name, Noise(4096, uint32_t(i))});
  }
  InstallFiles(installed);
  RecordInstallation(2);
  const Files before = Contents();
  BuildPatch(Patch(), entries);

  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, WelcomePage()));
  EXPECT_TRUE(dlg.Click(IDOK));
  // The third entry has its new size: the loop is under way (the file is not
  // opened, so the patch is not disturbed).
  ASSERT_TRUE(e2e::WaitUntil([&] {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(Installed("f0002.txt").c_str(), GetFileExInfoStandard, &data) &&
           data.nFileSizeLow == 4096;
  }));
  EXPECT_TRUE(dlg.Click(IDCANCEL));
  ExpectCancelQuestion(IDYES);
  ASSERT_TRUE(Running().WaitForExit(30000));

  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{kCaption});
  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(Version(), 2u);
  std::vector<std::string> log = Running().LogMessages();
  size_t replaced = LinesStartingWith(log, {"Copying File"}).size() / 2;
  EXPECT_GE(replaced, 3u);
  EXPECT_LT(replaced, size_t(count)) << "the cancel came too late to test anything";
  EXPECT_EQ(LinesStartingWith(log, {"Removing File", "Restoring File"}).size(), replaced);
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{}) << "temporary files left";
}

TEST_F(PatchTest, EscapeOnTheLastPageAsksAndYesEndsWithoutStartingTheProduct) {
  InstallFiles({{"a.txt", "alt"}});
  RecordInstallation(2);
  BuildPatch(Patch(), {{"a.txt", "neu"}});
  Window dlg = Start();
  ApplyFrom(dlg);
  EXPECT_TRUE(dlg.PressKey(VK_ESCAPE));
  ExpectCancelQuestion(IDNO);
  EXPECT_TRUE(Shows(dlg, DonePage()));
  EXPECT_TRUE(dlg.PressKey(VK_ESCAPE));
  ExpectCancelQuestion(IDYES);
  ASSERT_TRUE(Running().WaitForExit());
  EXPECT_EQ(Started(), "");
  // The patch itself was complete.
  EXPECT_EQ(e2e::ReadFileBytes(Installed("a.txt")), "neu");
  EXPECT_EQ(Version(), 3u);
}

TEST_F(PatchTest, ReadmeOpensWithItsRegisteredProgramBeforeTheProductStarts) {
  InstallFiles({{"a.txt", "alt"}});
  RecordInstallation(2);
  const std::string readme = "liesmich" + RegisterDocumentType();
  archive::ArchiveTrailer t = Patch();
  t.hasReadme = 1;
  t.readmeFile = readme;
  BuildPatch(t, {{readme, "Neu in Version 3"}});
  Window dlg = Start();
  ApplyFrom(dlg);
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(Running().WaitForExit(30000));
  ASSERT_TRUE(e2e::WaitUntil([&] { return !e2e::ReadFileBytes(OpenedRecord()).empty(); }));
  std::string opened = e2e::ReadFileBytes(OpenedRecord());
  EXPECT_NE(opened.find("\"" + Installed(readme) + "\""), std::string::npos) << opened;
  EXPECT_EQ(Started(), StartedLine());
}

TEST_F(PatchTest, ReadmeOfAnUnknownTypeIsReportedAndTheFinishGoesOn) {
  InstallFiles({{"a.txt", "alt"}});
  RecordInstallation(2);
  archive::ArchiveTrailer t = Patch();
  t.hasReadme = 1;
  t.readmeFile = "liesmich.unbekannt-typ";
  BuildPatch(t, {{"liesmich.unbekannt-typ", "?"}});
  Window dlg = Start();
  ApplyFrom(dlg);
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kAppName, Text(IDS_README_FAILED, "liesmich.unbekannt-typ"), IDOK);
  ASSERT_TRUE(Running().WaitForExit(30000));
  EXPECT_EQ(Started(), StartedLine());
  EXPECT_NE(GetFileAttributesA(Installed("install.log").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(PatchTest, LogInTheProductFolderIsNeverOverwritten) {
  InstallFiles({{"a.txt", "alt"}, {"install.log", "altes Protokoll"}});
  RecordInstallation(2);
  BuildPatch(Patch(), {{"a.txt", "neu"}});
  Window dlg = Start();
  ApplyFrom(dlg);
  EXPECT_TRUE(dlg.Click(IDOK));
  ASSERT_TRUE(Running().WaitForExit(30000));
  EXPECT_EQ(e2e::ReadFileBytes(Installed("install.log")), "altes Protokoll");
  std::vector<std::string> log = Running().LogMessages();
  EXPECT_EQ(LinesStartingWith(log, {"Copying File"}).size(), 2u) << "the local log stays";
  EXPECT_EQ(Started(), StartedLine());
}

// Two releases of a product whose programs change a little: mksetup.exe
// carries them as deltas against release 1.
class DeltaPatchTest : public PatchTest {
protected:
  void SetUp() override {
    PatchTest::SetUp();
    const std::string program = e2e::ReadFileBytes(e2e::StubPath());
    ASSERT_GT(program.size(), 100000u);
    m_release1 = {{"bin\\app.dll", program},
                  {"bin\\b.dll", program.substr(0, program.size() / 2)},
                  {"liesmich.txt", "Version 1"}};
    m_release2 = m_release1;
    for (size_t i = 0; i < 40; ++i) m_release2["bin\\app.dll"][program.size() / 3 + i] ^= 0x5A;
    m_release2["bin\\b.dll"].insert(1000, Noise(2000, 5)); // everything behind it moves
    m_release2["liesmich.txt"] = "Version 2";
    m_release2["neu.txt"] = "neu";
  }
  // setup.exe: the patch from release 1 to `release2`, to version 3.
  void MakePatch(const Files& release2) {
    WriteTree(m_dir.File("release-1"), m_release1);
    WriteTree(m_dir.File("release-2"), release2);
    ASSERT_EQ(RunMksetup({"diff", m_dir.File("release-1"), m_dir.File("release-2"), "-o", m_setup,
                          "--caption", kCaption, "--product", m_product, "--version", "3", "--stub",
                          e2e::WindowsPath(e2e::StubPath())}),
              0u);
    archive::StdioFile file(m_setup);
    archive::ArchiveTrailer t;
    archive::TrailerReadResult r = archive::ReadTrailer(file, t);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(t.extension.deltas.size(), 2u) << "both programs travel as deltas";
    EXPECT_LT(r.layout.StreamLength(), m_release2.at("bin\\app.dll").size() / 20);
  }
  void ExpectRefusedFor(const std::string& name) {
    ExpectRefusal("Die Datei \"" + name +
                  "\" entspricht nicht der Version, f\xFCr die dieser Patch erstellt wurde. Die "
                  "Installation kann nicht fortfahren.");
  }

  Files m_release1, m_release2;
};

TEST_F(DeltaPatchTest, TurnsRelease1IntoRelease2AndIsRefusedWhenAppliedAgain) {
  InstallFiles(m_release1);
  RecordInstallation(1);
  MakePatch(m_release2);
  Files expected = Contents();
  for (const auto& [name, bytes] : m_release2) expected[name] = bytes;

  Files now = PatchToTheEnd();
  expected["install.log"] = now["install.log"];
  expected["started.txt"] = StartedLine();
  EXPECT_EQ(now, expected) << "release 2 byte for byte, no work folder left";
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});

  // Once more, with the version record lost: the installed files are no
  // longer the ones the deltas were made against.
  SetDword(Key(), "Version", 1);
  DeleteFileA(m_dir.File("install.log").c_str());
  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, WelcomePage()));
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectRefusedFor("bin\\app.dll");
  EXPECT_EQ(Contents(), now);
  EXPECT_EQ(Version(), 1u);
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(DeltaPatchTest, AnInstalledFileEditedSinceItsReleaseIsNamedAndNothingChanges) {
  Files edited = m_release1;
  edited["bin\\b.dll"][7] ^= 1;
  InstallFiles(edited);
  RecordInstallation(1);
  MakePatch(m_release2);
  const Files before = Contents();

  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, WelcomePage()));
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectRefusedFor("bin\\b.dll");
  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(Version(), 1u);
  EXPECT_EQ(Started(), "");
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{}) << "temporary files left";
  const std::vector<std::string> log = Running().LogMessages();
  EXPECT_EQ(LinesStartingWith(log, {"Patch refused"}),
            std::vector<std::string>{"Patch refused [" + Installed("bin\\b.dll") +
                                     " is not the file the patch was made for: its SHA-256 "
                                     "differs]"});
  EXPECT_EQ(LinesStartingWith(log, {"Copying File"}), std::vector<std::string>{});
}

TEST_F(DeltaPatchTest, SilentPatchOfAnEditedFileEndsRefusedWithoutAWindow) {
  Files edited = m_release1;
  edited["bin\\app.dll"][9] ^= 1;
  InstallFiles(edited);
  RecordInstallation(1);
  MakePatch(m_release2);
  const Files before = Contents();

  EXPECT_EQ(RunUnseen(Launch("/S")), 1u);
  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(Version(), 1u);
  EXPECT_EQ(Started(), "");
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(DeltaPatchTest, FailureAfterHalfTheEntriesPutsRelease1BackExactly) {
  // A folder stands where the last entry, a new file, must go: the two
  // deltas and the changed text are in place by then.
  InstallFiles(m_release1);
  ASSERT_TRUE(CreateDirectoryA(Installed("zuletzt.txt").c_str(), nullptr));
  RecordInstallation(1);
  Files release2 = m_release2;
  release2["zuletzt.txt"] = "neu";
  MakePatch(release2);
  const Files before = Contents();

  Window dlg = Start();
  ASSERT_TRUE(Shows(dlg, WelcomePage()));
  EXPECT_TRUE(dlg.Click(IDOK));
  ExpectBox(kCaption, Text(IDS_OPEN_FAILED, "zuletzt.txt"), IDOK);
  ASSERT_TRUE(Running().WaitForExit());
  EXPECT_EQ(Contents(), before);
  EXPECT_EQ(Version(), 1u);
  EXPECT_EQ(LinesStartingWith(Running().LogMessages(), {"Restoring File"}).size(), 3u);
}

} // namespace
} // namespace setup_e2e
