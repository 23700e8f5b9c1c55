// The journal of a change to an installed product (a patch, an
// installation, an uninstall): what the run is about to do, appended record
// by record, each on disk before the step it names. A later start reads it
// to undo a run that was cut off, or to finish one that had committed.
//
// The journal lies in the work folder, kJournalFolder, inside the product's
// folder: the product key leads to it. Every path it holds is relative to
// the product folder and is checked as an entry name; backups lie in the
// work folder. So a damaged or tampered journal can name nothing outside the
// product folder, and the reader refuses it whole.
//
// File: "TVJ1", then records. A record: uint32 length, uint32 its complement,
// the body (uint32 kind, then the kind's fields), uint32 the first four bytes
// of the body's SHA-256 (little-endian). Kinds:
//   1 Begin      uint32 operation (1 patch, 2 installation, 3 uninstall),
//                uint32 release it starts from, uint32 the release it goes
//                to; first and once
//   2 NewFolder  counted path: a folder about to be made
//   3 NewFile    counted path: a file about to be made where none was
//   4 Replace    counted path, counted backup: the installed file is about
//                to get a second name (the backup) and be replaced
//   5 Commit     everything is in place; last
// An uninstall only moves installed files into the work folder: its
// journal holds Replace steps and nothing else.
// Only the last record may be torn (its length runs past the end, its check
// fails at the very end, or the file ends in zeros): that step did not happen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace archive {

// The work folder's name inside the product folder, and the journal's in it.
inline constexpr char kJournalFolder[] = "TVPJOURN.tmp";
inline constexpr char kJournalFile[] = "journal";

enum class JournalOperation : uint32_t { Patch = 1, Install = 2, Uninstall = 3 };
enum class JournalKind : uint32_t { Begin = 1, NewFolder = 2, NewFile = 3, Replace = 4, Commit = 5 };

struct JournalStep {
  JournalKind kind = JournalKind::NewFile;
  std::string path;
  std::string backup; // Replace only: inside kJournalFolder
  bool operator==(const JournalStep&) const = default;
};

struct Journal {
  JournalOperation operation = JournalOperation::Patch;
  uint32_t fromRelease = 0;
  uint32_t toRelease = 0;
  std::vector<JournalStep> steps; // NewFolder, NewFile and Replace, in order
  bool committed = false;
};

// The file's first bytes, then one record each.
void AppendJournalHeader(std::vector<uint8_t>& out);
void AppendJournalBegin(std::vector<uint8_t>& out, JournalOperation operation,
                        uint32_t fromRelease, uint32_t toRelease);
void AppendJournalStep(std::vector<uint8_t>& out, const JournalStep& step);
void AppendJournalCommit(std::vector<uint8_t>& out);

// Reads a whole journal. False with an English reason when it is damaged or
// names anything unsafe; a journal cut before its Begin record is complete
// reads as empty (`began` false): nothing had been changed.
bool ReadJournal(const uint8_t* data, size_t size, Journal& journal, bool& began,
                 std::string& error);

} // namespace archive
