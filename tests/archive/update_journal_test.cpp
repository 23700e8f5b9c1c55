// The journal of a change to an installed product: what is written reads
// back, a torn last record is a step that did not happen, and anything
// damaged or naming a place outside the product folder is refused whole.
#include <gtest/gtest.h>

#include "archive/common/byte_io.h"
#include "archive/format/update_journal.h"

namespace archive {
namespace {

const JournalStep kSteps[] = {
    {JournalKind::NewFolder, "plugins", ""},
    {JournalKind::NewFile, "plugins\\modul.dll", ""},
    {JournalKind::Replace, "bin\\app.dll", "TVPJOURN.tmp\\old\\0\\0.old"},
};
// An uninstall moves installed files aside, nothing else.
const JournalStep kRemoved[] = {
    {JournalKind::Replace, "bin\\app.dll", "TVPJOURN.tmp\\old\\0\\0.old"},
    {JournalKind::Replace, "liesmich.txt", "TVPJOURN.tmp\\old\\0\\1.old"},
};

std::vector<uint8_t> Written(bool commit, JournalOperation operation = JournalOperation::Patch,
                             const std::vector<JournalStep>& steps = {std::begin(kSteps),
                                                                      std::end(kSteps)}) {
  std::vector<uint8_t> out;
  AppendJournalHeader(out);
  AppendJournalBegin(out, operation, 1, 2);
  for (const JournalStep& step : steps) AppendJournalStep(out, step);
  if (commit) AppendJournalCommit(out);
  return out;
}

bool Read(const std::vector<uint8_t>& bytes, Journal& journal, bool& began, std::string& error) {
  return ReadJournal(bytes.data(), bytes.size(), journal, began, error);
}

TEST(UpdateJournal, ReadsBackAndEveryCutReadsAsTheStepsBeforeIt) {
  struct Case {
    JournalOperation operation;
    std::vector<JournalStep> steps;
  };
  const std::vector<JournalStep> changes(std::begin(kSteps), std::end(kSteps)),
      removals(std::begin(kRemoved), std::end(kRemoved));
  for (const Case& c : {Case{JournalOperation::Patch, changes},
                        Case{JournalOperation::Install, changes},
                        Case{JournalOperation::Uninstall, removals}}) {
    SCOPED_TRACE(int(c.operation));
    const std::vector<uint8_t> whole = Written(true, c.operation, c.steps);
    Journal journal;
    bool began = false;
    std::string error;
    ASSERT_TRUE(Read(whole, journal, began, error)) << error;
    EXPECT_TRUE(began && journal.committed);
    EXPECT_EQ(journal.operation, c.operation);
    EXPECT_EQ(journal.fromRelease, 1u);
    EXPECT_EQ(journal.toRelease, 2u);
    EXPECT_EQ(journal.steps, c.steps);

    // Cut at every byte, and with zeros where the tail should be: a prefix of
    // the steps, never an error, and committed only when whole.
    size_t lastSteps = 0;
    for (size_t cut = 0; cut < whole.size(); ++cut) {
      for (bool zeros : {false, true}) {
        std::vector<uint8_t> bytes(whole.begin(), whole.begin() + cut);
        if (zeros) bytes.resize(whole.size(), 0);
        ASSERT_TRUE(Read(bytes, journal, began, error)) << cut << ": " << error;
        EXPECT_FALSE(journal.committed) << cut;
        ASSERT_LE(journal.steps.size(), c.steps.size());
        EXPECT_TRUE(std::equal(journal.steps.begin(), journal.steps.end(), c.steps.begin()))
            << cut;
        if (!zeros) {
          EXPECT_GE(journal.steps.size(), lastSteps) << cut;
          lastSteps = journal.steps.size();
        }
      }
    }
    EXPECT_EQ(lastSteps, c.steps.size());
  }
}

TEST(UpdateJournal, DamagedOrUnsafeJournalsAreRefused) {
  struct Case {
    const char* why;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  auto with = [](const JournalStep& step, bool begin = true) {
    std::vector<uint8_t> out;
    AppendJournalHeader(out);
    if (begin) AppendJournalBegin(out, JournalOperation::Patch, 1, 2);
    AppendJournalStep(out, step);
    AppendJournalCommit(out);
    return out;
  };
  const std::string work = "TVPJOURN.tmp\\old\\0.old";
  for (const char* path : {"..\\x.dll", "C:\\Windows\\x.dll", "\\\\server\\share\\x", "a\\..\\..\\b",
                           "con", "a/../../b", "", "TVPJOURN.tmp", "tvpjourn.TMP\\x"}) {
    cases.push_back({path, with({JournalKind::NewFile, path, ""})});
    cases.push_back({path, with({JournalKind::Replace, path, work})});
  }
  for (const char* backup : {"old\\0.old", "TVPJOURN.tmp", "TVPJOURN.tmp\\..\\..\\x",
                             "C:\\TVPJOURN.tmp\\x", "TVPJOURN.tmpx\\0.old"})
    cases.push_back({backup, with({JournalKind::Replace, "a.dll", backup})});
  cases.push_back({"no begin", with(kSteps[1], false)});
  // An uninstall that would remove a file or a folder on its way back.
  for (const JournalStep& step : {kSteps[0], kSteps[1]})
    cases.push_back({"uninstall making something",
                     Written(false, JournalOperation::Uninstall, {kRemoved[0], step})});
  std::vector<uint8_t> bytes = Written(true);
  cases.push_back({"not a journal", bytes});
  cases.back().bytes[0] = 'X';
  // A record in the middle whose check fails, or whose length is damaged.
  cases.push_back({"damaged middle", bytes});
  cases.back().bytes[4 + 12 + 16 + 8 + 6] ^= 1;
  cases.push_back({"damaged length", bytes});
  cases.back().bytes[4 + 28] ^= 1;
  // Records after the commit, a second begin, an unknown kind, trailing fields.
  bytes = Written(true);
  AppendJournalStep(bytes, kSteps[1]);
  cases.push_back({"after commit", bytes});
  bytes = Written(false);
  AppendJournalBegin(bytes, JournalOperation::Patch, 2, 3);
  AppendJournalCommit(bytes);
  cases.push_back({"second begin", bytes});
  cases.push_back({"unknown operation", {}});
  AppendJournalHeader(cases.back().bytes);
  AppendJournalBegin(cases.back().bytes, JournalOperation(7), 2, 3);
  AppendJournalCommit(cases.back().bytes);
  cases.push_back({"operation 0", {}});
  AppendJournalHeader(cases.back().bytes);
  AppendJournalBegin(cases.back().bytes, JournalOperation(0), 2, 3);
  for (const JournalKind kind : {JournalKind(0), JournalKind(9)}) {
    cases.push_back({"unknown kind", with({kind, "a", ""})});
  }
  for (const Case& c : cases) {
    Journal journal;
    bool began = false;
    std::string error;
    EXPECT_FALSE(ReadJournal(c.bytes.data(), c.bytes.size(), journal, began, error)) << c.why;
    EXPECT_FALSE(error.empty()) << c.why;
  }
}

} // namespace
} // namespace archive
