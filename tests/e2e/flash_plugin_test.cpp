// The Flash control a product needs: the version of the registered control,
// the question, the refusal page, the two installation commands and the
// failure page. The system's rundll32.exe runs the carried setup information,
// which leaves a registry value; a recording program carried in the payload
// stands in for the registrar. Another copy of it waits beside setup.exe as
// rundll32.exe, where the search for a bare program name would look first:
// it must never run.
#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

const char kProgId[] = "ShockwaveFlash.ShockwaveFlash\\CLSID";
const char kClassId[] = "{5E1E4F6B-7A0C-4C39-9D0B-2B6E93A7C5F1}";
const std::string kServerKey = std::string("CLSID\\") + kClassId;

class FlashTest : public SetupTest {
protected:
  FlashTest() { Unregister(); }
  ~FlashTest() override {
    Unregister();
    RegDeleteTreeA(HKEY_CURRENT_USER, InfKey().c_str());
  }

  // Registers `file` as the installed control (HKEY_CLASSES_ROOT directly).
  static void Register(const std::string& file) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, kProgId, nullptr, REG_SZ, kClassId,
                              DWORD(sizeof kClassId)),
              ERROR_SUCCESS);
    std::string key = kServerKey + "\\InprocServer32";
    ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, file.c_str(),
                              DWORD(file.size() + 1)),
              ERROR_SUCCESS);
  }
  static void Unregister() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "ShockwaveFlash.ShockwaveFlash");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kServerKey.c_str());
  }

  // Needs the plug-in; its three files carry blanks in their names.
  archive::ArchiveTrailer PluginInstaller() const {
    archive::ArchiveTrailer t = Installer();
    t.hasPlugin = 1;
    t.pluginControlFile = "flash player.ocx";
    t.pluginInfFile = "flash setup.inf";
    t.pluginRegistrar = "flash reg.exe";
    return t;
  }
  std::vector<e2e::Payload> PluginFiles() {
    return {ProductProgram(),
            Source("flash player.ocx", "Steuerelement"),
            Source("flash setup.inf", SetupInformation()),
            {e2e::WindowsPath(COMMAND_RECORDER_PATH), "flash reg.exe"}};
  }
  // The carried setup information: its default section writes one value.
  std::string InfKey() const { return "Software\\TarnivexTests\\" + m_product; }
  std::string SetupInformation() const {
    return "[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n[DefaultInstall]\r\nAddReg=Control\r\n\r\n"
           "[Control]\r\nHKCU,\"" +
           InfKey() + "\",Flash,0,\"installiert\"\r\n";
  }
  // The value the system's rundll32.exe wrote from it; empty before.
  std::string InfResult() const {
    char value[64] = "";
    DWORD size = sizeof value;
    RegGetValueA(HKEY_CURRENT_USER, InfKey().c_str(), "Flash", RRF_RT_REG_SZ, nullptr, value,
                 &size);
    return value;
  }
  // The planted program: a recorder under the name "rundll32.exe" beside the
  // setup. It would record its command line in commands.txt.
  void PlantRundll32() {
    std::string source = e2e::WindowsPath(COMMAND_RECORDER_PATH);
    ASSERT_TRUE(CopyFileA(source.c_str(), m_dir.File("rundll32.exe").c_str(), FALSE));
  }
  static std::string SystemDirectory() {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    return system;
  }
  // Page 2 -> "Weiter" into Target(); then comes the plug-in question.
  Window StartInstallation() {
    Window dlg = Start();
    GoToDirectoryPage(dlg);
    dlg.SetItemText(IDC_EDIT_DIR, Target());
    EXPECT_TRUE(dlg.Click(IDOK));
    return dlg;
  }
  static std::string Question(const std::string& installed) {
    std::string text = Text(IDS_FLASH_OLD);
    text.replace(text.find("VEROLD"), 6, installed);
    text.replace(text.find("VERNEW"), 6, "7.0.14.0");
    return text;
  }
  static std::string MissingQuestion() {
    std::string text = Text(IDS_FLASH_MISSING);
    text.replace(text.find("VERNEW"), 6, "7.0.14.0");
    return text;
  }
  Page ClosingPage(UINT text) const {
    Page page{Text(text), Text(IDS_CLOSE)};
    page.cancel = false;
    return page;
  }
  // The command lines the stand-ins recorded, in order.
  std::vector<std::string> Commands() const {
    std::string text = e2e::ReadFileBytes(m_dir.File("commands.txt"));
    std::vector<std::string> lines;
    for (size_t from = 0, end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2)
      lines.push_back(text.substr(from, end - from));
    return lines;
  }
  bool KeyWritten() const {
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), &key) !=
        ERROR_SUCCESS)
      return false;
    RegCloseKey(key);
    return true;
  }
  // Declines the plug-in and leaves the refusal page: nothing may be written.
  void RefuseAndExpectNothingInstalled(const Window& dlg) {
    EXPECT_TRUE(Shows(dlg, ClosingPage(IDS_FLASH_REFUSED)));
    Close(dlg);
    EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(KeyWritten());
    EXPECT_EQ(Commands(), std::vector<std::string>{});
    EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
    std::vector<std::string> log = Running().LogMessages();
    EXPECT_EQ(e2e::FindMessage(log, "Installing Shockwave Flash"), -1);
    EXPECT_EQ(e2e::FindMessage(log, "Setup Step 1 finished"), -1);
  }
};

TEST_F(FlashTest, MajorVersionSevenIsAcceptedWithoutAQuestionThoughOlderThanTheCarriedOne) {
  Register(e2e::WindowsPath(CONTROL_7_PATH));
  PlantRundll32();
  Build(PluginInstaller(), PluginFiles());
  Window dlg = StartInstallation();
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{});
  EXPECT_EQ(Commands(), std::vector<std::string>{});
  EXPECT_EQ(FilesIn(Target()),
            (std::vector<std::string>{"install.log", "prog.exe", "started.txt"}));
}

// The installation commands once more in a per-user product: it runs
// without administrator rights and asks Windows for them for this step alone
// (ShellExecuteEx, "runas"). Wine has no consent prompt, so the commands run
// as they do once a user agreed; the log says that they were asked for.
class FlashScopeTest : public FlashTest,
                       public ::testing::WithParamInterface<archive::InstallScope> {
protected:
  archive::ArchiveTrailer PluginInstaller() const {
    archive::ArchiveTrailer t = FlashTest::PluginInstaller();
    t.extension.product.scope = GetParam();
    return t;
  }
  // The log's line between "Installing Shockwave Flash" and the commands.
  int AskedLines() const { return GetParam() == archive::InstallScope::User ? 1 : 0; }
};

INSTANTIATE_TEST_SUITE_P(Scope, FlashScopeTest,
                         ::testing::Values(archive::InstallScope::Machine,
                                           archive::InstallScope::User),
                         [](const auto& info) { return archive::ScopeName(info.param); });

TEST_P(FlashScopeTest, OlderControlIsNamedAndYesRunsBothCommandsWithTheCarriedFiles) {
  Register(e2e::WindowsPath(CONTROL_6_PATH));
  PlantRundll32();
  Build(PluginInstaller(), PluginFiles());
  Window dlg = StartInstallation();
  ExpectBox(kCaption, Question("6.0.79.0"), IDYES);
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);

  // The system's rundll32.exe installed the setup information; the one
  // beside the setup never ran: the registrar is the only recorded command.
  EXPECT_EQ(InfResult(), "installiert");
  std::vector<std::string> commands = Commands();
  ASSERT_EQ(commands.size(), 1u);
  const std::string registrar =
      "flash reg.exe\" \"" + SystemDirectory() + "\\macromed\\flash\\flash player.ocx\" /s";
  ASSERT_GT(commands[0].size(), registrar.size());
  std::string folder = commands[0].substr(1, commands[0].size() - registrar.size() - 1);
  EXPECT_EQ(folder.substr(0, TempFolder().size() + 1), TempFolder() + "\\") << commands[0];
  EXPECT_EQ(commands[0], "\"" + folder + registrar);

  // rundll32.exe by its full path, quoted; the inf path is the rest of
  // InstallHinfSection's line and stays unquoted.
  std::vector<std::string> log = e2e::LogMessagesOf(e2e::ReadFileBytes(Target() + "\\install.log"));
  int at = e2e::FindMessage(log, "Installing Shockwave Flash");
  ASSERT_NE(at, -1);
  EXPECT_EQ(e2e::FindMessage(log, "Asking for administrator rights for the plug-in", at),
            AskedLines() ? at + 1 : -1);
  at += AskedLines();
  EXPECT_EQ(
      e2e::FindMessage(log,
                       "\"" + SystemDirectory() +
                           "\\rundll32.exe\" setupapi,InstallHinfSection DefaultInstall 132 " +
                           folder + "flash setup.inf",
                       at),
      at + 1);
  EXPECT_EQ(e2e::FindMessage(log, commands[0], at), at + 2);

  // The plug-in's files stayed out of the target and are gone afterwards.
  EXPECT_EQ(FilesIn(Target()),
            (std::vector<std::string>{"install.log", "prog.exe", "started.txt"}));
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
  EXPECT_TRUE(KeyWritten());
}

TEST_F(FlashTest, ControlWithoutVersionInformationShowsZerosAndNoRefusesTheInstallation) {
  Register(e2e::WindowsPath(COMMAND_RECORDER_PATH));
  PlantRundll32();
  Build(PluginInstaller(), PluginFiles());
  Window dlg = StartInstallation();
  ExpectBox(kCaption, Question("0.0.0.0"), IDNO);
  RefuseAndExpectNothingInstalled(dlg);
}

TEST_F(FlashTest, UnregisteredOrMissingControlAsksWithTheOtherText) {
  Build(PluginInstaller(), PluginFiles());
  for (bool registered : {false, true}) {
    SCOPED_TRACE(registered ? "registered file missing" : "not registered");
    if (registered) Register(m_dir.File("fehlt\\flash.ocx"));
    Window dlg = StartInstallation();
    ExpectBox(kCaption, MissingQuestion(), IDNO);
    RefuseAndExpectNothingInstalled(dlg);
  }
}

// The system's rundll32.exe moved aside while it lives; the shell tests run
// alone, so nothing else misses it.
class SystemRundll32Aside {
public:
  SystemRundll32Aside() {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    m_path = std::string(system) + "\\rundll32.exe";
    m_aside = m_path + ".aside";
    m_moved = MoveFileA(m_path.c_str(), m_aside.c_str()) != 0;
  }
  ~SystemRundll32Aside() {
    if (m_moved) MoveFileA(m_aside.c_str(), m_path.c_str());
  }
  SystemRundll32Aside(const SystemRundll32Aside&) = delete;
  SystemRundll32Aside& operator=(const SystemRundll32Aside&) = delete;
  bool Moved() const { return m_moved; }

private:
  std::string m_path, m_aside;
  bool m_moved = false;
};

TEST_P(FlashScopeTest, FirstCommandThatCannotStartShowsTheFailurePageAndTheFinishStillRuns) {
  Register(e2e::WindowsPath(CONTROL_6_PATH));
  // No rundll32.exe in the system folder; the one beside the setup is not
  // taken in its place.
  SystemRundll32Aside aside;
  ASSERT_TRUE(aside.Moved());
  PlantRundll32();
  archive::ArchiveTrailer t = PluginInstaller();
  std::string readme = "liesmich" + RegisterDocumentType();
  t.hasReadme = 1;
  t.readmeFile = readme;
  std::vector<e2e::Payload> files = PluginFiles();
  files.push_back(Source(readme, "Lies"));
  Build(t, files);
  Window dlg = StartInstallation();
  ExpectBox(kCaption, Question("6.0.79.0"), IDYES);
  EXPECT_TRUE(Shows(dlg, ClosingPage(IDS_FLASH_FAILED)));
  std::vector<std::string> log = Running().LogMessages();
  EXPECT_NE(e2e::FindMessage(log, Text(IDS_FLASH_FAILED)), -1);
  Close(dlg);

  EXPECT_EQ(Commands(), std::vector<std::string>{}) << "the registrar is not tried";
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\started.txt"),
            "\"" + Target() + "\\prog.exe\" -install\r\n");
  EXPECT_TRUE(KeyWritten());
  EXPECT_FALSE(e2e::WaitUntil([&] { return !e2e::ReadFileBytes(OpenedRecord()).empty(); }, 1500))
      << "the readme box was never offered";
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(FlashTest, RegistrarThatCannotStartShowsTheFailurePageAfterTheFirstCommand) {
  Register(e2e::WindowsPath(CONTROL_6_PATH));
  PlantRundll32();
  std::vector<e2e::Payload> files = PluginFiles();
  files.back() = Source("flash reg.exe", "kein Programm");
  Build(PluginInstaller(), files);
  Window dlg = StartInstallation();
  ExpectBox(kCaption, Question("6.0.79.0"), IDYES);
  EXPECT_TRUE(Shows(dlg, ClosingPage(IDS_FLASH_FAILED)));
  EXPECT_EQ(Commands().size(), 0u) << "the registrar is no program; rundll32.exe ran";
  Close(dlg);
  EXPECT_EQ(InfResult(), "installiert");
  EXPECT_TRUE(KeyWritten());
}

TEST_F(FlashTest, ProductWithoutThePluginChecksNothing) {
  Register(e2e::WindowsPath(CONTROL_6_PATH));
  PlantRundll32();
  Build(Installer(), {ProductProgram()});
  Window dlg = StartInstallation();
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{});
  EXPECT_EQ(Commands(), std::vector<std::string>{});
}

} // namespace
} // namespace setup_e2e
