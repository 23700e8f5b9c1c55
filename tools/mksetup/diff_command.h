// `mksetup diff`: a patch made from two release folders. Only the files that
// are new in the later release or whose bytes changed are carried; the texts
// and the version come from the command line.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_builder.h"

namespace mksetup {

// What the later release changes, by entry name: the path below the release
// folder, parts separated by '\'.
struct ReleaseDiff {
  std::vector<std::string> errors;
  std::vector<archive::PayloadFile> carried; // new and changed files, sorted by name
  std::vector<std::string> added;            // names, code page 1252
  std::vector<std::string> changed;
  std::vector<std::string> removed; // only in the earlier release (UTF-8): they stay installed
  std::vector<archive::PayloadFile> released; // every file of the later release
  std::vector<archive::PayloadFile> earlier;  // the installed files the changed ones replace
  bool ok() const { return errors.empty(); }
};

// Compares the two folder trees. Names are matched as Windows matches them
// (ignoring letter case), so a file whose name changed only in case is the
// same file. A file that became a folder, or a folder that became a file,
// is an error: the installed one would stay in the way.
ReleaseDiff CompareReleases(const std::string& oldDir, const std::string& newDir);

struct DiffOptions {
  std::string oldDir;
  std::string newDir;
  std::string output;
  std::string stub; // empty: as for build (FindStub)
  std::string caption;
  std::string product;
  int version = -1;
  std::string license;              // a UTF-8 text file; empty: none
  std::string readme;               // a file of the later release, opened after the patch
  std::string compression = "zstd"; // or "huf"
  std::string level;                // zstd: 1..19 or "max"; empty: 19
  bool dryRun = false;              // print what would be carried, build nothing
  bool noDelta = false;             // carry changed files whole
  std::string architecture = "x86"; // or "x64"
  std::string scope = "machine";    // or "user": the patch asks for no elevation
  std::string displayVersion;       // empty: the version in decimal
};

int RunDiff(const DiffOptions& options);

} // namespace mksetup
