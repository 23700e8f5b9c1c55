#include "archive/format/update_journal.h"

#include "archive/common/byte_io.h"
#include "archive/common/sha256.h"
#include "archive/format/trailer.h"

namespace archive {

namespace {

constexpr uint8_t kMagic[4] = {'T', 'V', 'J', '1'};
// Kind, two counted paths: well above any sound record.
constexpr uint32_t kMaxBody = 4 + 2 * (4 + kMaxNameLength);

uint32_t CheckOf(const uint8_t* body, size_t n) {
  return LoadLE32(Sha256::Of(body, n).data());
}

void AppendRecord(std::vector<uint8_t>& out, const std::vector<uint8_t>& body) {
  AppendLE32(out, uint32_t(body.size()));
  AppendLE32(out, ~uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  AppendLE32(out, CheckOf(body.data(), body.size()));
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

// Is the work folder or lies inside it (names compared without regard to
// ASCII case).
bool InWorkFolder(const std::string& path) {
  const size_t n = sizeof(kJournalFolder) - 1;
  if (path.size() < n || (path.size() > n && path[n] != '\\')) return false;
  for (size_t i = 0; i < n; ++i)
    if (Upper(path[i]) != Upper(kJournalFolder[i])) return false;
  return true;
}

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

// One record's body, checked. Sets error and returns false when unsafe.
bool ReadBody(const uint8_t* body, uint32_t length, Journal& journal, bool& began,
              std::string& error) {
  if (length < 4) {
    error = "journal record without a kind";
    return false;
  }
  const JournalKind kind = JournalKind(LoadLE32(body));
  if (journal.committed) {
    error = "journal record after the commit";
    return false;
  }
  if (began == (kind == JournalKind::Begin)) {
    error = began ? "journal begins twice" : "journal does not begin with its release";
    return false;
  }
  uint32_t pos = 4;
  switch (kind) {
  case JournalKind::Begin: {
    if (length != 16) {
      error = "journal begin record is " + std::to_string(length) + " bytes long";
      return false;
    }
    const uint32_t operation = LoadLE32(body + 4);
    if (operation < uint32_t(JournalOperation::Patch) ||
        operation > uint32_t(JournalOperation::Uninstall)) {
      error = "unknown journal operation " + std::to_string(operation);
      return false;
    }
    journal.operation = JournalOperation(operation);
    journal.fromRelease = LoadLE32(body + 8);
    journal.toRelease = LoadLE32(body + 12);
    began = true;
    return true;
  }
  case JournalKind::Commit:
    if (length != 4) {
      error = "journal commit record holds more than its kind";
      return false;
    }
    journal.committed = true;
    return true;
  case JournalKind::NewFolder:
  case JournalKind::NewFile:
  case JournalKind::Replace: {
    // An uninstall makes nothing: a step that would remove a file or a
    // folder on the way back is no step of it.
    if (journal.operation == JournalOperation::Uninstall && kind != JournalKind::Replace) {
      error = "journal of an uninstall names a new file or folder";
      return false;
    }
    JournalStep step;
    step.kind = kind;
    if (!ReadCountedText(body, length, pos, kMaxNameLength, step.path, "journal path", error))
      return false;
    if (!IsSafeEntryName(step.path) || InWorkFolder(step.path)) {
      error = "unsafe journal path [" + step.path + "]";
      return false;
    }
    if (kind == JournalKind::Replace) {
      if (!ReadCountedText(body, length, pos, kMaxNameLength, step.backup, "journal backup",
                           error))
        return false;
      if (!IsSafeEntryName(step.backup) || !InWorkFolder(step.backup) ||
          step.backup.find('\\') == std::string::npos) {
        error = "unsafe journal backup [" + step.backup + "]";
        return false;
      }
    }
    if (pos != length) {
      error = "journal record holds more than its fields";
      return false;
    }
    journal.steps.push_back(std::move(step));
    return true;
  }
  }
  error = "unknown journal record " + std::to_string(uint32_t(kind));
  return false;
}

} // namespace

void AppendJournalHeader(std::vector<uint8_t>& out) { out.insert(out.end(), kMagic, kMagic + 4); }

void AppendJournalBegin(std::vector<uint8_t>& out, JournalOperation operation,
                        uint32_t fromRelease, uint32_t toRelease) {
  std::vector<uint8_t> body;
  AppendLE32(body, uint32_t(JournalKind::Begin));
  AppendLE32(body, uint32_t(operation));
  AppendLE32(body, fromRelease);
  AppendLE32(body, toRelease);
  AppendRecord(out, body);
}

void AppendJournalStep(std::vector<uint8_t>& out, const JournalStep& step) {
  std::vector<uint8_t> body;
  AppendLE32(body, uint32_t(step.kind));
  AppendCountedText(body, step.path);
  if (step.kind == JournalKind::Replace) AppendCountedText(body, step.backup);
  AppendRecord(out, body);
}

void AppendJournalCommit(std::vector<uint8_t>& out) {
  std::vector<uint8_t> body;
  AppendLE32(body, uint32_t(JournalKind::Commit));
  AppendRecord(out, body);
}

bool ReadJournal(const uint8_t* data, size_t size, Journal& journal, bool& began,
                 std::string& error) {
  journal = Journal{};
  began = false;
  // Cut while its first bytes were written (the rest zeros, or nothing):
  // nothing had begun.
  size_t magic = 0;
  while (magic < sizeof(kMagic) && magic < size && data[magic] == kMagic[magic]) ++magic;
  if (magic < sizeof(kMagic) && AllZero(data + magic, size - magic)) return true;
  if (magic < sizeof(kMagic)) {
    error = "not a journal";
    return false;
  }
  size_t pos = sizeof(kMagic);
  while (pos < size) {
    const size_t left = size - pos;
    // The torn tail: zeros where the system had extended the file but not
    // yet written it, or a header cut short.
    if (AllZero(data + pos, left)) break;
    if (left < 8 || AllZero(data + pos + 8, left - 8)) {
      if (left < 8 || LoadLE32(data + pos + 4) != ~LoadLE32(data + pos)) break;
    }
    const uint32_t length = LoadLE32(data + pos);
    if (LoadLE32(data + pos + 4) != ~length || length > kMaxBody) {
      error = "journal record at " + std::to_string(pos) + " has a damaged length";
      return false;
    }
    const size_t end = 12 + size_t(length);
    if (left < end) break; // cut before its end
    const uint8_t* body = data + pos + 8;
    if (LoadLE32(body + length) != CheckOf(body, length)) {
      // The last record, torn (zeros may follow it).
      if (AllZero(data + pos + end, left - end)) break;
      error = "journal record at " + std::to_string(pos) + " is damaged";
      return false;
    }
    if (!ReadBody(body, length, journal, began, error)) return false;
    pos += end;
  }
  return true;
}

} // namespace archive
