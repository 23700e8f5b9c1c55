#include "patch/patch_payload.h"

#include "app/cancel.h"
#include "app/load_formatted.h"
#include "install/directory_chain.h"
#include "install/journal_recovery.h"
#include "res/resource.h"

#include "install_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace install_testing;
using namespace testing_support;

namespace {

using Tree = std::map<std::string, std::string>;

// Every case for both payload codecs: HUF and zstd.
class PatchPayloadTest : public ::testing::TestWithParam<archive::CodecBlock> {
protected:
  void SetUp() override {
    g_bCancel = 0;
    m_target = m_scratch.Path() + "Produkt\\";
    m_texts.extension.codec = GetParam();
    m_texts.installerFlag = 0;
  }
  void TearDown() override { g_bCancel = 0; }

  // The installed product: these files, their folders made.
  void Install(const Tree& files) {
    for (const auto& [name, bytes] : files) {
      std::string path = m_target + name;
      ASSERT_TRUE(CreateDirectoryChain(path.substr(0, path.rfind('\\'))));
      WriteWholeFile(path, bytes);
    }
  }
  // The release the engine's journal records for this test's product.
  static PatchRelease Release() { return {"Patch engine test", 1, 2, {}}; }
  InstallOutcome Patch(const std::vector<TestEntry>& entries) {
    m_program = BuildTestProgram(m_scratch.Path(), m_texts, entries);
    InstallRequest r{};
    r.programPath = m_program.path;
    r.trailer = &m_program.trailer;
    r.streamLength = m_program.layout.StreamLength();
    r.installPath = m_target;
    r.progress = m_progress.Control();
    return RunPayloadPatch(r, Release());
  }
  // The log lines about putting the old version back, in order.
  static std::vector<std::string> RollBackLines() {
    std::vector<std::string> lines;
    for (const std::string& line : ReadLogMessages())
      if (line.rfind("Removing", 0) == 0 || line.rfind("Restoring", 0) == 0 ||
          line.rfind("Unable", 0) == 0)
        lines.push_back(line);
    return lines;
  }

  CWinApp m_app{"PatchPayloadTest"};
  ScratchDirectory m_scratch;
  std::string m_target;
  archive::ArchiveTrailer m_texts;
  BuiltProgram m_program;
  RecordingProgress m_progress;
};

TEST_P(PatchPayloadTest, ReplacesDeepFilesAddsNewFoldersAndLeavesNoWorkBehind) {
  Install({{"bin\\app.exe", "alt"}, {"daten\\de\\text.txt", "alt de"}, {"bleibt.txt", "b"}});
  std::vector<TestEntry> entries = {{"bin\\app.exe", RandomBytes(120000, 1)},
                                    {"daten\\de\\text.txt", "neu de"},
                                    {"plugins\\neu\\modul.dll", "modul"},
                                    {"plugins\\neu\\leer.dat", ""},
                                    {"oben.txt", "oben"}};
  InstallOutcome outcome = Patch(entries);
  ASSERT_EQ(outcome.result, InstallResult::Completed) << outcome.message;
  Tree expected = {{"bin", "<dir>"},     {"daten", "<dir>"},        {"daten\\de", "<dir>"},
                   {"plugins", "<dir>"}, {"plugins\\neu", "<dir>"}, {"bleibt.txt", "b"}};
  for (const auto& e : entries) expected[e.name] = e.bytes;
  EXPECT_EQ(ListTree(m_target), expected) << "no work folder, no backups left";

  // Two lines per entry, the staging path in a folder of the patch's own.
  std::vector<std::string> log = ReadLogMessages();
  ASSERT_EQ(log.size(), 2 * entries.size());
  std::string staging = log[0].substr(14, log[0].find("\\new\\") + 5 - 14);
  EXPECT_EQ(staging.rfind(m_target + "TVP", 0), 0u) << staging;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& n = entries[i].name;
    EXPECT_EQ(log[2 * i], "Copying File [" + staging + n + "] [" +
                              std::to_string(entries[i].bytes.size()) + "]");
    EXPECT_EQ(log[2 * i + 1], "Copying File [" + staging + n + "] to [" + m_target + n + "]");
  }
}

TEST_P(PatchPayloadTest, FailureOnTheLastEntryPutsTheTreeBackWithoutItsNewFolders) {
  Install({{"bin\\app.exe", "alt"}, {"daten\\de\\text.txt", "alt de"}});
  ASSERT_TRUE(CreateDirectoryChain(m_target + "daten\\zuletzt.txt"));
  const Tree before = ListTree(m_target);
  InstallOutcome outcome = Patch({{"daten\\de\\text.txt", "neu de"},
                                  {"plugins\\neu\\modul.dll", "modul"},
                                  {"bin\\app.exe", "neu"},
                                  {"daten\\zuletzt.txt", "neu"}});
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_EQ(outcome.message, LoadFormatted(IDS_OPEN_FAILED, "daten\\zuletzt.txt"));
  EXPECT_EQ(ListTree(m_target), before);
  // The journal's steps undone newest first: each entry's new folders come
  // before its file.
  EXPECT_EQ(RollBackLines(),
            (std::vector<std::string>{"Restoring File [" + m_target + "bin\\app.exe]",
                                      "Removing File [" + m_target + "plugins\\neu\\modul.dll]",
                                      "Removing Directory [" + m_target + "plugins\\neu]",
                                      "Removing Directory [" + m_target + "plugins]",
                                      "Restoring File [" + m_target + "daten\\de\\text.txt]"}));
}

// The renames into place are taken in the background; one that fails there
// (the file taken by another program after the checks) fails the patch at
// the latest at its commit. The roll-back waits for the queue; what it
// cannot put back while the file is held, the next run's does.
TEST_P(PatchPayloadTest, AReplacementThatFailsInTheBackgroundIsNeverCommitted) {
  Install({{"bin\\app.exe", "alt"}, {"daten\\text.txt", "alt de"}});
  const Tree before = ListTree(m_target);
  HANDLE held = INVALID_HANDLE_VALUE;
  m_progress.onPosition = [&](int position) {
    if (position > 1500 && held == INVALID_HANDLE_VALUE)
      held = CreateFileA((m_target + "daten\\text.txt").c_str(), GENERIC_READ, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  };
  InstallOutcome outcome = Patch({{"bin\\app.exe", RandomBytes(300000, 1)},
                                  {"bin\\neu.dll", RandomBytes(1500000, 2)},
                                  {"daten\\text.txt", "neu de"}});
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_EQ(ReadWholeFile(m_target + "bin\\app.exe"), "alt");
  EXPECT_EQ(GetFileAttributesA((m_target + "bin\\neu.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  CloseHandle(held);
  EXPECT_TRUE(UndoOwnRun(m_target));
  EXPECT_EQ(ListTree(m_target), before) << "the old release, no work folder";
}

TEST_P(PatchPayloadTest, CancelInsideAnEntryOrADamagedStreamLeavesTheOldVersion) {
  Tree old;
  std::vector<TestEntry> entries;
  for (int i = 0; i < 8; ++i) {
    std::string name = (i % 2 ? "neu\\" : "alt\\") + std::to_string(i) + ".bin";
    if (i % 2 == 0) old[name] = "alt " + std::to_string(i);
    entries.push_back({name, RandomBytes(100000, unsigned(i))});
  }
  Install(old);
  const Tree before = ListTree(m_target);
  m_progress.cancelAt = 1000 + 9000 * 11 / 16; // inside the sixth entry
  EXPECT_EQ(Patch(entries).result, InstallResult::Cancelled);
  EXPECT_EQ(ListTree(m_target), before);
  // Six files taken back or away (the sixth was new and open), the new folder gone.
  EXPECT_EQ(RollBackLines().size(), 7u);

  // A stream that does not decode to its entries touches nothing at all.
  g_bCancel = 0;
  m_progress.cancelAt = -1;
  DeleteFileA("install.log");
  m_program = BuildTestProgram(m_scratch.Path(), m_texts, entries);
  m_program.trailer.entries[3].size += 1;
  InstallRequest r{};
  r.programPath = m_program.path;
  r.trailer = &m_program.trailer;
  r.streamLength = m_program.layout.StreamLength();
  r.installPath = m_target;
  InstallOutcome outcome = RunPayloadPatch(r, Release());
  EXPECT_EQ(outcome.result, InstallResult::Failed);
  EXPECT_EQ(outcome.message, LoadFormatted(IDS_OPEN_FAILED, "Das Archiv ist besch\xE4"
                                                            "digt"));
  EXPECT_EQ(ListTree(m_target), before);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Codecs, PatchPayloadTest,
    ::testing::Values(archive::CodecBlock{},
                      archive::CodecBlock{archive::PayloadCodec::Zstd, 19, 25}),
    [](const auto& info) { return std::string(archive::PayloadCodecName(info.param.codec)); });
