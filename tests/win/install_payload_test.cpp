#include "install/payload_installer.h"

#include "install/directory_chain.h"

#include "app/cancel.h"
#include "app/load_formatted.h"
#include "res/resource.h"

#include "install_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace install_testing;
using namespace testing_support;

namespace {

// String 1 for a payload that does not decode to its entries.
std::string Damaged() {
  return LoadFormatted(IDS_OPEN_FAILED, "Das Archiv ist besch\xE4"
                                        "digt");
}

// Every case for both payload codecs: HUF and zstd.
class InstallPayloadTest : public ::testing::TestWithParam<archive::CodecBlock> {
protected:
  void SetUp() override {
    m_texts.extension.codec = GetParam();
    g_bCancel = 0;
    m_temp = m_scratch.Path() + "temp\\";
    m_target = m_scratch.Path() + "Programme\\Tarnivex\\Produkt\\";
    CreateDirectoryA(m_temp.c_str(), nullptr);
  }
  void TearDown() override { g_bCancel = 0; }

  void Build(const std::vector<TestEntry>& entries) {
    m_program = BuildTestProgram(m_scratch.Path(), m_texts, entries);
  }

  InstallRequest Request() {
    InstallRequest r{};
    r.programPath = m_program.path;
    r.trailer = &m_program.trailer;
    r.streamLength = m_program.layout.StreamLength();
    r.tempPath = m_temp;
    r.installPath = m_target;
    r.caption = "Tarnivex Setup";
    r.owner = nullptr;
    r.statusText = m_status.Control();
    r.progress = m_progress.Control();
    return r;
  }

  InstallOutcome Run() { return RunPayloadInstallation(Request()); }

  // Every log message after the machine set-up, in order.
  std::vector<std::string> Log() const { return ReadLogMessages(); }

  std::string Installed(const std::string& name) const { return ReadWholeFile(m_target + name); }

  CWinApp m_app{"InstallPayloadTest"};
  ScratchDirectory m_scratch;
  std::string m_temp, m_target;
  archive::ArchiveTrailer m_texts;
  BuiltProgram m_program;
  RecordingProgress m_progress;
  TextWindow m_status;
};

TEST_P(InstallPayloadTest, WritesEveryEntryWithItsLogLinesInOrder) {
  std::vector<TestEntry> entries = {{"leer-am-anfang.txt", ""},
                                    {"programm.exe", RandomBytes(150000, 1)},
                                    {"Hilfe.txt", TextBytes(400000, 2)},
                                    {"leer.dat", ""},
                                    {"klein", "x"},
                                    {"leer-am-ende", ""}};
  Build(entries);
  InstallOutcome outcome = Run();
  ASSERT_EQ(outcome.result, InstallResult::Completed) << outcome.message;
  EXPECT_TRUE(outcome.message.empty());

  std::vector<std::string> expected = {"Creating Directory [" + m_target + "]"};
  for (const auto& e : entries) {
    EXPECT_TRUE(Installed(e.name) == e.bytes) << e.name;
    expected.push_back("Copying File [" + m_temp + e.name + "] [" + std::to_string(e.bytes.size()) +
                       "]");
    expected.push_back("Copying File [" + m_temp + e.name + "] to [" + m_target + e.name + "]");
  }
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(ListFolder(m_target).size(), entries.size());
  // Nothing left in the temporary folder.
  EXPECT_TRUE(ListFolder(m_temp).empty());

  EXPECT_EQ(m_status.Text(), LoadFormatted(IDS_EXTRACTING, nullptr));
  EXPECT_EQ(m_progress.step, 1);
  EXPECT_EQ(m_progress.upper, 10000);
  EXPECT_TRUE(std::is_sorted(m_progress.positions.begin(), m_progress.positions.end()));
  EXPECT_EQ(m_progress.positions.back(), 10000);
}

TEST_P(InstallPayloadTest, TreeEntriesGoIntoTheirFoldersUnderTheirRelativeNames) {
  std::vector<TestEntry> entries = {{"bin\\app.exe", RandomBytes(90000, 1)},
                                    {"daten\\de\\strings.txt", "de"},
                                    {"daten\\en\\strings.txt", "en"},
                                    {"daten\\leer.txt", ""},
                                    {"Gro\xDF"
                                     "e Ordner\\mit Leerzeichen\\\xE4.txt",
                                     "umlaut"},
                                    {"oben.txt", "oben"},
                                    {"tief\\a\\b\\c\\leer", ""}};
  Build(entries);
  // An existing file is replaced in its folder as well.
  ASSERT_TRUE(CreateDirectoryChain(m_target + "bin"));
  WriteWholeFile(m_target + "bin\\app.exe", "alt");
  InstallOutcome outcome = Run();
  ASSERT_EQ(outcome.result, InstallResult::Completed) << outcome.message;

  std::map<std::string, std::string> expected;
  for (const char* folder : {"bin", "daten", "daten\\de", "daten\\en",
                             "Gro\xDF"
                             "e Ordner",
                             "Gro\xDF"
                             "e Ordner\\mit Leerzeichen",
                             "tief", "tief\\a", "tief\\a\\b", "tief\\a\\b\\c"})
    expected[folder] = "<dir>";
  std::vector<std::string> log = {"Creating Directory [" + m_target + "]"};
  for (const auto& e : entries) {
    expected[e.name] = e.bytes;
    log.push_back("Copying File [" + m_temp + e.name + "] [" + std::to_string(e.bytes.size()) +
                  "]");
    log.push_back("Copying File [" + m_temp + e.name + "] to [" + m_target + e.name + "]");
  }
  EXPECT_EQ(ListTree(m_target), expected);
  EXPECT_EQ(Log(), log);
  // The replaced file was staged in the journal's work folder, which is gone.
  EXPECT_TRUE(ListTree(m_temp).empty());
}

TEST_P(InstallPayloadTest, CancelLeavesTheFolderAsItWas) {
  // Cancelled inside the third entry: the two written go again, an existing
  // file is back, and so are the folders; "alt" was there before.
  ASSERT_TRUE(CreateDirectoryChain(m_target + "alt\\leer"));
  WriteWholeFile(m_target + "alt\\zwei.bin", "vorher");
  Build({{"a\\eins.bin", RandomBytes(200000, 1)},
         {"alt\\zwei.bin", RandomBytes(200000, 2)},
         {"b\\c\\drei.bin", RandomBytes(200000, 3)},
         {"d\\vier.bin", RandomBytes(200000, 4)}});
  const std::map<std::string, std::string> before = ListTree(m_target);
  m_progress.cancelAt = 1000 + 9000 * 5 / 8;
  EXPECT_EQ(Run().result, InstallResult::Cancelled);
  EXPECT_EQ(ListTree(m_target), before);
  std::vector<std::string> log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "Restoring File [" + m_target + "alt\\zwei.bin]"),
            log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Removing Directory [" + m_target + "b\\c]"),
            log.end());

  // Cancelled before anything is written: the whole chain of the target goes,
  // up to the folder that was there.
  ScratchDirectory other;
  m_target = other.Path() + "Programme\\Tarnivex\\Produkt\\";
  g_bCancel = 0;
  m_progress.cancelAt = 200;
  EXPECT_EQ(Run().result, InstallResult::Cancelled);
  EXPECT_EQ(GetFileAttributesA((other.Path() + "Programme").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_P(InstallPayloadTest, FolderThatCannotBeMadeShowsItsPathAndTheEmptyOnesGo) {
  Build({{"a\\eins.txt", "1"}, {"b\\datei\\zwei.txt", "2"}});
  ASSERT_TRUE(CreateDirectoryChain(m_target));
  // A file where the folder of the second entry belongs.
  ASSERT_TRUE(CreateDirectoryChain(m_target + "b"));
  WriteWholeFile(m_target + "b\\datei", "im Weg");
  InstallOutcome outcome = Run();
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_EQ(outcome.message, LoadFormatted(IDS_DIR_FAILED, (m_target + "b\\datei").c_str()));
  EXPECT_EQ(ListTree(m_target),
            (std::map<std::string, std::string>{{"b", "<dir>"}, {"b\\datei", "im Weg"}}));
}

TEST_P(InstallPayloadTest, PlacesRegFilesAndKeepsPluginFilesInTheTemporaryFolder) {
  m_texts.hasPlugin = 1;
  m_texts.pluginControlFile = "Flash.OCX";
  m_texts.pluginInfFile = "flash.inf";
  m_texts.pluginRegistrar = "RegSvr.exe";
  m_texts.hasRegFiles = 1;
  m_texts.regFiles = {"Produkt.REG", "zwei.reg", "", "vier.reg"};
  std::vector<TestEntry> entries = {{"flash.ocx", "control"},    {"produkt.reg", "reg 1"},
                                    {"FLASH.INF", "inf"},        {"Zwei.Reg", ""},
                                    {"regsvr.exe", "registrar"}, {"programm.exe", "prog"}};
  Build(entries);
  InstallOutcome outcome = Run();
  ASSERT_EQ(outcome.result, InstallResult::Completed) << outcome.message;

  EXPECT_EQ(ListFolder(m_target), (std::vector<std::string>{"Reg\\", "programm.exe"}));
  EXPECT_EQ(ListFolder(m_target + "Reg\\"), (std::vector<std::string>{"Zwei.Reg", "produkt.reg"}));
  EXPECT_EQ(Installed("Reg\\produkt.reg"), "reg 1");
  EXPECT_EQ(ListFolder(m_temp), (std::vector<std::string>{"FLASH.INF", "flash.ocx", "regsvr.exe"}));
  EXPECT_EQ(ReadWholeFile(m_temp + "flash.ocx"), "control");
  EXPECT_EQ(ReadWholeFile(m_temp + "regsvr.exe"), "registrar");

  // Plug-in files get no copy line; Reg files are logged under their plain name.
  std::vector<std::string> log = Log();
  std::vector<std::string> expected = {
      "Creating Directory [" + m_target + "]",
      "Copying File [" + m_temp + "flash.ocx] [7]",
      "Copying File [" + m_temp + "produkt.reg] [5]",
      "Copying File [" + m_temp + "produkt.reg] to [" + m_target + "produkt.reg]",
      "Copying File [" + m_temp + "FLASH.INF] [3]",
      "Copying File [" + m_temp + "Zwei.Reg] [0]",
      "Copying File [" + m_temp + "Zwei.Reg] to [" + m_target + "Zwei.Reg]",
      "Copying File [" + m_temp + "regsvr.exe] [9]",
      "Copying File [" + m_temp + "programm.exe] [4]",
      "Copying File [" + m_temp + "programm.exe] to [" + m_target + "programm.exe]"};
  EXPECT_EQ(log, expected);
}

TEST_P(InstallPayloadTest, OverwritesExistingFilesAndAcceptsExistingFolders) {
  Build({{"alt.txt", TextBytes(100000, 3)}, {"neu.txt", "neu"}, {"leer.txt", ""}});
  ASSERT_TRUE(CreateDirectoryA((m_scratch.Path() + "Programme").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((m_scratch.Path() + "Programme\\Tarnivex").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(m_target.c_str(), nullptr));
  WriteWholeFile(m_target + "alt.txt", RandomBytes(300000, 9));
  WriteWholeFile(m_target + "leer.txt", "war nicht leer");
  WriteWholeFile(m_target + "fremd.txt", "bleibt");

  InstallOutcome outcome = Run();
  ASSERT_EQ(outcome.result, InstallResult::Completed) << outcome.message;
  EXPECT_TRUE(Installed("alt.txt") == TextBytes(100000, 3));
  EXPECT_EQ(Installed("neu.txt"), "neu");
  EXPECT_EQ(Installed("leer.txt"), "");
  EXPECT_EQ(Installed("fremd.txt"), "bleibt");
  EXPECT_TRUE(ListFolder(m_temp).empty());
  EXPECT_EQ(Log().size(), 7u);
}

TEST_P(InstallPayloadTest, SmallPayloadWhoseStreamIsLongerThanItsFiles) {
  // The stream (1024 count bytes and more) is far longer than the 3 bytes it holds.
  if (GetParam().codec != archive::PayloadCodec::Huf) GTEST_SKIP() << "a HUF stream's counts";
  Build({{"a.txt", "ab"}, {"b.txt", "c"}});
  ASSERT_GT(m_program.layout.StreamLength(), 1000u);
  ASSERT_EQ(Run().result, InstallResult::Completed);
  EXPECT_EQ(Installed("a.txt"), "ab");
  EXPECT_EQ(Installed("b.txt"), "c");
}

TEST_P(InstallPayloadTest, TargetThatCannotBeCreatedShowsTheDirectoryMessage) {
  Build({{"a.txt", "a"}});
  WriteWholeFile(m_scratch.Path() + "Programme", "a file in the way");
  InstallOutcome outcome = Run();
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_EQ(outcome.message, LoadFormatted(IDS_DIR_FAILED, m_target.c_str()));
  EXPECT_TRUE(Log().empty());
}

TEST_P(InstallPayloadTest, RegFolderThatCannotBeCreatedShowsItsPath) {
  m_texts.hasRegFiles = 1;
  m_texts.regFiles = {"x.reg", "", "", ""};
  Build({{"x.reg", "x"}});
  ASSERT_TRUE(CreateDirectoryChain(m_target));
  WriteWholeFile(m_target + "Reg", "a file in the way");
  InstallOutcome outcome = Run();
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_EQ(outcome.message, LoadFormatted(IDS_DIR_FAILED, (m_target + "\\Reg").c_str()));
  EXPECT_EQ(Log(), std::vector<std::string>{"Creating Directory [" + m_target + "]"});
}

TEST_P(InstallPayloadTest, DamagedPayloadIsAFailureAndWritesNothing) {
  std::vector<TestEntry> entries = {{"a.bin", RandomBytes(200000, 4)},
                                    {"b.txt", TextBytes(300000, 5)}};
  // The directory promises a byte more than the stream holds.
  Build(entries);
  m_program.trailer.entries[1].size += 1;
  InstallOutcome outcome = Run();
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_TRUE(outcome.nothingWritten);
  EXPECT_EQ(outcome.message, Damaged());
  // Found before the first folder of the target's chain is made.
  EXPECT_EQ(GetFileAttributesA((m_scratch.Path() + "Programme").c_str()), INVALID_FILE_ATTRIBUTES);
  std::vector<std::string> log = Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("Damaged Archive [", 0), 0u) << log[0];
  m_program.trailer.entries[1].size -= 1;

  // Code bytes overwritten in the middle of the stream.
  std::string bytes = ReadWholeFile(m_program.path);
  size_t middle = size_t(m_program.layout.dataStart + m_program.layout.StreamLength() / 2);
  bytes.replace(middle, 4096, std::string(4096, '\0'));
  WriteWholeFile(m_program.path, bytes);
  outcome = Run();
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_EQ(outcome.message, Damaged());
  EXPECT_TRUE(ListFolder(m_target).empty());
  EXPECT_TRUE(ListFolder(m_temp).empty());
}

TEST_P(InstallPayloadTest, UnsafeNameIsRefusedBeforeAnythingIsWritten) {
  Build({{"gut.txt", "gut"}, {"boese.txt", "boese"}});
  m_program.trailer.entries[1].name = "..\\boese.txt";
  InstallOutcome outcome = Run();
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_EQ(outcome.message, Damaged());
  EXPECT_EQ(GetFileAttributesA((m_scratch.Path() + "Programme").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_P(InstallPayloadTest, FileThatCannotBeReplacedStopsWithItsNameAndTheRunIsUndone) {
  Build({{"erst.txt", "1"}, {"fest.txt", "neu"}, {"danach.txt", "3"}});
  ASSERT_TRUE(CreateDirectoryChain(m_target));
  WriteWholeFile(m_target + "fest.txt", "alt");
  ASSERT_TRUE(SetFileAttributesA((m_target + "fest.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  InstallOutcome outcome = Run();
  SetFileAttributesA((m_target + "fest.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_EQ(outcome.message, LoadFormatted(IDS_OPEN_FAILED, "fest.txt"));
  EXPECT_EQ(ListTree(m_target), (std::map<std::string, std::string>{{"fest.txt", "alt"}}));
  std::vector<std::string> log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "Copying File [" + m_temp + "fest.txt] to [" + m_target + "fest.txt]"),
            log.end());
  EXPECT_EQ(log.back(), "Removing File [" + m_target + "erst.txt]");
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Codecs, InstallPayloadTest,
    ::testing::Values(archive::CodecBlock{},
                      archive::CodecBlock{archive::PayloadCodec::Zstd, 19, 25}),
    [](const auto& info) { return std::string(archive::PayloadCodecName(info.param.codec)); });
