// The update journal's reader on any bytes: it must never crash or read out
// of bounds, a refusal names its reason, and what it accepts names only safe
// paths inside the product folder, backups inside the work folder, and
// writes back to a prefix of the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/format/trailer.h"
#include "archive/format/update_journal.h"

using namespace archive;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Journal journal;
  bool began = false;
  std::string error;
  if (!ReadJournal(data, size, journal, began, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (!began) {
    if (!journal.steps.empty() || journal.committed) std::abort();
    return 0;
  }
  std::vector<uint8_t> out;
  AppendJournalHeader(out);
  AppendJournalBegin(out, journal.operation, journal.fromRelease, journal.toRelease);
  for (const JournalStep& step : journal.steps) {
    if (!IsSafeEntryName(step.path)) std::abort();
    if (step.kind == JournalKind::Replace &&
        (!IsSafeEntryName(step.backup) || step.backup.find('\\') == std::string::npos))
      std::abort();
    AppendJournalStep(out, step);
  }
  if (journal.committed) AppendJournalCommit(out);
  if (out.size() > size || std::memcmp(out.data(), data, out.size()) != 0) std::abort();
  return 0;
}
