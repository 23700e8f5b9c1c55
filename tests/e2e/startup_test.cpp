// Start-up of the setup program: the choice of wizard, the log it leaves and
// what happens to programs whose archive is missing or damaged.
#include <gtest/gtest.h>

#include "driver.h"
#include "res/resource.h"

namespace {

using e2e::Program;
using e2e::Window;

// String 1 up to its placeholder, in code page 1252.
const std::string kOpenFailedPrefix = "Die Installer-Datei konnte nicht ge\xF6"
                                      "ffnet werden\nGrund: \"";

archive::ArchiveTrailer Installer(const std::string& caption) {
  archive::ArchiveTrailer t;
  t.installerFlag = 1;
  t.version = 3;
  t.caption = caption;
  // A product of each test's own: runs of one product exclude each other, and
  // the tests run side by side.
  t.productName = std::string("Testprodukt ") +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
  return t;
}

archive::ArchiveTrailer Patch(const std::string& caption) {
  archive::ArchiveTrailer t = Installer(caption);
  t.installerFlag = 0;
  return t;
}

std::vector<uint8_t> LE32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

class StartupTest : public ::testing::Test {
protected:
  std::string Build(const archive::ArchiveTrailer& t, const std::string& name = "setup.exe") {
    std::string path = m_dir.File(name);
    std::string error;
    EXPECT_TRUE(e2e::BuildProgram(path, t, {}, &error)) << error;
    return path;
  }
  std::string BuildRaw(const std::vector<uint8_t>& tail, const std::string& name = "setup.exe") {
    std::string path = m_dir.File(name);
    EXPECT_TRUE(e2e::BuildRawProgram(path, tail));
    return path;
  }

  // "Abbrechen" on the setup wizard, and Yes to its question.
  static void CancelSetup(Program& program, const Window& dlg) {
    EXPECT_TRUE(dlg.Click(IDCANCEL));
    Window box = program.WaitForMessageBox();
    EXPECT_TRUE(box) << "no cancel question";
    EXPECT_TRUE(Program::Answer(box, IDYES));
  }

  // Runs a program that must refuse to start: one message box with string 1,
  // answered with OK, then the end of the process without any wizard.
  std::string ExpectRefusal(Program& program) {
    Window box = program.WaitForMessageBox();
    EXPECT_TRUE(box) << "no message box";
    std::string text = box.MessageText();
    EXPECT_EQ(text.substr(0, kOpenFailedPrefix.size()), kOpenFailedPrefix);
    EXPECT_EQ(box.Text(), "setup") << "caption: the program's name";
    EXPECT_TRUE(Program::Answer(box, IDOK));
    EXPECT_TRUE(program.WaitForExit());
    EXPECT_EQ(program.SeenDialogs(), std::vector<std::string>{}) << "a wizard appeared";
    EXPECT_EQ(program.SeenMessageBoxes(), std::vector<std::string>{"setup"});
    return text;
  }

  e2e::TempDir m_dir;
};

TEST_F(StartupTest, InstallerArchiveRunsSetupDialogAndLogsTheStartInOrder) {
  const std::string caption = "Gr\xF6\xDF"
                              "e Setup"; // code page 1252
  std::string path = Build(Installer(caption));
  Program program(path, m_dir.Path());
  ASSERT_TRUE(program.Started());

  Window dlg = program.WaitForDialog(caption);
  ASSERT_TRUE(dlg) << "no setup dialog";
  EXPECT_TRUE(dlg.Item(IDC_EDIT_DIR)) << "not the setup template";
  EXPECT_EQ(dlg.ItemText(IDCANCEL), "Abbrechen");
  CancelSetup(program, dlg);
  ASSERT_TRUE(program.WaitForExit());

  std::vector<std::string> log = program.LogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "Setup Step 1 Initialized");
  int opening = e2e::FindMessage(log, "Opening Archive [" + path + "]");
  ASSERT_GT(opening, 1) << "the machine report lies between";
  EXPECT_EQ(e2e::FindMessage(log, "Installer Archive"), opening + 1);
  EXPECT_EQ(log.back(), "Installer Archive");
  EXPECT_EQ(e2e::FindMessage(log, "Setup Step 1 Initialized", 1), -1) << "an old log was kept";
}

TEST_F(StartupTest, PatchArchiveRunsPatchDialog) {
  std::string path = Build(Patch("Patch 3"));
  Program program(path, m_dir.Path());
  // The patch dialog first looks for the installed product; there is none.
  Window box = program.WaitForMessageBox();
  ASSERT_TRUE(box) << "no patch dialog";
  EXPECT_EQ(box.MessageText().rfind("Es wurde keine Version von \"Testprodukt "
                                    "PatchArchiveRunsPatchDialog\" gefunden.",
                                    0),
            0u)
      << box.MessageText();
  EXPECT_TRUE(Program::Answer(box, IDOK));
  ASSERT_TRUE(program.WaitForExit());
  std::vector<std::string> log = program.LogMessages();
  int opening = e2e::FindMessage(log, "Opening Archive [" + path + "]");
  ASSERT_GE(opening, 0);
  EXPECT_EQ(e2e::FindMessage(log, "Patch Archive"), opening + 1);
  EXPECT_EQ(e2e::FindMessage(log, "Installer Archive"), -1);
}

TEST_F(StartupTest, AnyNonZeroInstallerFlagSelectsSetup) {
  for (uint32_t flag : {2u, 0x80000000u}) {
    archive::ArchiveTrailer t = Installer("Setup");
    t.installerFlag = flag;
    std::string path = Build(t, "flag" + std::to_string(flag) + ".exe");
    Program program(path, m_dir.Path());
    Window dlg = program.WaitForDialog("Setup");
    ASSERT_TRUE(dlg) << "flag " << flag;
    EXPECT_TRUE(dlg.Item(IDC_EDIT_DIR)) << "flag " << flag;
    CancelSetup(program, dlg);
    ASSERT_TRUE(program.WaitForExit());
    EXPECT_EQ(program.LogMessages().back(), "Installer Archive");
  }
}

TEST_F(StartupTest, LengthWordBeforeStartOfFileIsCaughtAndLogged) {
  std::string path = BuildRaw(LE32(0x7FFFFFF0));
  Program program(path, m_dir.Path());
  ExpectRefusal(program);
  std::vector<std::string> log = program.LogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().rfind("Exception caught [", 0), 0u) << log.back();
}

TEST_F(StartupTest, DamagedTrailerIsRefusedBeforeAnyWizard) {
  // A caption length of 2 GiB inside an otherwise sound installer trailer.
  std::vector<uint8_t> tail = e2e::TrailerBytes(Installer("Setup"));
  const size_t captionLength = 4 + 2 + 4; // flag, version, empty license
  std::vector<uint8_t> absurd = LE32(0x7FFFFFFF);
  std::copy(absurd.begin(), absurd.end(), tail.begin() + captionLength);
  std::string path = BuildRaw(tail);

  Program program(path, m_dir.Path());
  std::string text = ExpectRefusal(program);
  EXPECT_EQ(text, kOpenFailedPrefix + "Das Archiv ist besch\xE4"
                                      "digt\"");
  std::vector<std::string> log = program.LogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().rfind("Damaged Archive [", 0), 0u) << log.back();
  EXPECT_EQ(e2e::FindMessage(log, "Installer Archive"), -1);
}

TEST_F(StartupTest, ProgramWithoutArchiveIsRefused) {
  std::string path = BuildRaw({});
  Program program(path, m_dir.Path());
  ExpectRefusal(program);
  std::vector<std::string> log = program.LogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(log.back().rfind("Damaged Archive [", 0) == 0 ||
              log.back().rfind("Exception caught [", 0) == 0)
      << log.back();
}

} // namespace
