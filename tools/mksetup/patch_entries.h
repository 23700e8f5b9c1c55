// How each file of a patch travels: new files whole; a changed file as a
// delta against the installed one when that is smaller, else whole. The
// deltas are staged as files in a folder of their own for the builder,
// which reads every entry from a file; the folder goes with the plan.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_builder.h"
#include "archive/format/delta_block.h"
#include "diff_command.h"

namespace mksetup {

struct PlannedEntry {
  const char* label;     // "new", "changed", "readme"
  std::string name;      // code page 1252
  uint64_t fileSize = 0; // the file of the later release
  bool delta = false;
  uint64_t carriedSize = 0;    // the delta's length, or fileSize
  archive::DeltaRecord record; // for a delta: reference and result
};

class PatchEntries {
public:
  PatchEntries() = default;
  ~PatchEntries();
  PatchEntries(const PatchEntries&) = delete;
  PatchEntries& operator=(const PatchEntries&) = delete;

  std::vector<archive::PayloadFile> files;  // in directory order: the file or its delta
  std::vector<archive::DeltaRecord> deltas; // by entry index
  std::vector<PlannedEntry> plan;           // the same order, for the listing

private:
  friend bool PlanEntries(const ReleaseDiff&, bool, PatchEntries&);
  std::filesystem::path m_staging;
};

// Fills `out` for diff.carried (in its order). useDeltas false: every file
// whole. False (reported) when a file cannot be read or a delta be made.
bool PlanEntries(const ReleaseDiff& diff, bool useDeltas, PatchEntries& out);

// One line per entry: "changed  bin\app.exe  delta 61234 of 9601024 bytes,
// reference 9600512 bytes sha256 ...", "new      x.dll  whole 123 bytes".
void PrintEntries(const PatchEntries& entries);

} // namespace mksetup
