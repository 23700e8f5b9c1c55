#include "diff_command.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "archive/format/file_path.h"
#include "commands.h"
#include "compression.h"
#include "cp1252.h"
#include "entry_tree.h"
#include "folder_walk.h"
#include "patch_entries.h"
#include "product_options.h"
#include "progress_bar.h"
#include "trailer_text.h"

namespace fs = std::filesystem;

namespace mksetup {

namespace {

// The name Windows would compare: code page 1252, letter case folded. Files
// whose names cannot be entries keep their path, behind a mark no entry
// name starts with.
std::string MatchKey(const WalkedFile& file) {
  return file.name.empty() ? "\x01" + file.relative : archive::EntryNameKey(file.name);
}

// The file as the messages name it: its entry name, or its path.
std::string Shown(const WalkedFile& file) {
  return file.name.empty() ? file.relative : Cp1252ToUtf8(file.name);
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::error_code ec1, ec2;
  if (fs::file_size(a, ec1) != fs::file_size(b, ec2) || ec1 || ec2) return false;
  std::ifstream in1(a, std::ios::binary), in2(b, std::ios::binary);
  std::vector<char> block1(1 << 16), block2(1 << 16);
  while (in1 && in2) {
    in1.read(block1.data(), std::streamsize(block1.size()));
    in2.read(block2.data(), std::streamsize(block2.size()));
    if (in1.gcount() != in2.gcount() ||
        !std::equal(block1.begin(), block1.begin() + in1.gcount(), block2.begin()))
      return false;
  }
  return !in1.bad() && !in2.bad() && in1.eof() && in2.eof();
}

// Every folder of the entry names, folded, each with the first name inside it.
std::map<std::string, std::string> FoldersOf(const std::vector<WalkedFile>& files) {
  std::map<std::string, std::string> folders;
  for (const WalkedFile& file : files)
    for (size_t at = file.name.find('\\'); at != std::string::npos;
         at = file.name.find('\\', at + 1))
      folders.emplace(archive::EntryNameKey(file.name.substr(0, at)), Shown(file));
  return folders;
}

class ReleaseComparer {
public:
  explicit ReleaseComparer(ReleaseDiff& diff) : m_diff(diff) {}

  void Compare(const fs::path& oldDir, const fs::path& newDir) {
    FolderWalk before = WalkFolder(oldDir);
    FolderWalk after = WalkFolder(newDir);
    for (const std::string& error : before.errors) Error(error);
    for (const std::string& error : after.errors) Error(error);

    std::map<std::string, const WalkedFile*> old;
    for (const WalkedFile& file : before.files) old.emplace(MatchKey(file), &file);
    const auto oldFolders = FoldersOf(before.files);
    const auto newFolders = FoldersOf(after.files);

    std::set<std::string> seen;
    for (const WalkedFile& file : after.files) {
      if (!file.problem.empty()) {
        Error(DisplayPath(file.source) + ": " + file.problem);
        continue;
      }
      const std::string key = MatchKey(file);
      if (!seen.insert(key).second) {
        Error(DisplayPath(file.source) + ": another name differs only in letter case");
        continue;
      }
      m_diff.released.push_back({archive::PathString(file.source), file.name});
      const WalkedFile* earlier = nullptr;
      if (auto match = old.find(key); match != old.end()) {
        earlier = match->second;
        old.erase(match);
      }
      if (auto folder = oldFolders.find(key); folder != oldFolders.end())
        Error(Shown(file) + ": a folder in " + DisplayPath(oldDir) + " (holding " + folder->second +
              "), a file here; a patch cannot replace a folder by a file");
      if (earlier && SameBytes(earlier->source, file.source)) continue;
      (earlier ? m_diff.changed : m_diff.added).push_back(file.name);
      if (earlier) m_diff.earlier.push_back({archive::PathString(earlier->source), file.name});
      m_diff.carried.push_back({archive::PathString(file.source), file.name});
    }
    for (const auto& [key, file] : old) {
      m_diff.removed.push_back(Shown(*file));
      if (auto folder = newFolders.find(key); folder != newFolders.end())
        Error(Shown(*file) + ": a file in " + DisplayPath(oldDir) + ", a folder in " +
              DisplayPath(newDir) + " (holding " + folder->second +
              "); the installed file would stay in its way");
    }
  }

private:
  void Error(const std::string& what) { m_diff.errors.push_back(what); }

  ReleaseDiff& m_diff;
};

const archive::PayloadFile* FindFile(const std::vector<archive::PayloadFile>& files,
                                     const std::string& name) {
  for (const auto& file : files)
    if (archive::SameEntryName(file.name, name)) return &file;
  return nullptr;
}

// The patch's texts from the options; false (reported) when one is unusable.
bool PatchTrailer(const DiffOptions& options, const ReleaseDiff& diff, archive::ArchiveTrailer& t) {
  bool ok = true;
  auto text = [&](const std::string& utf8, bool multiLine, const char* option, std::string& out) {
    if (std::string why = ToTrailerText(utf8, multiLine, out); !why.empty()) {
      ReportError(std::string(option) + ": " + why);
      ok = false;
    }
  };
  t.installerFlag = 0;
  t.version = uint16_t(options.version);
  text(options.caption, false, "--caption", t.caption);
  text(options.product, false, "--product", t.productName);
  if (options.product.empty()) {
    ReportError("--product: must not be empty");
    ok = false;
  }
  if (!options.license.empty()) {
    std::string utf8;
    if (!ReadLicenseFile(options.license, utf8)) {
      ReportError("--license: cannot read " + options.license);
      ok = false;
    } else {
      text(utf8, true, ("--license (" + options.license + ")").c_str(), t.licenseText);
    }
  }
  auto product = [&](const char* option, auto set, const std::string& value) {
    if (std::string why = set(value, t.extension.product); !why.empty()) {
      ReportError(std::string(option) + ": " + why);
      ok = false;
    }
  };
  product("--architecture", SetArchitecture, options.architecture);
  product("--scope", SetScope, options.scope);
  product("--display-version", SetDisplayVersion, options.displayVersion);
  if (!options.readme.empty()) {
    text(WithBackslashes(options.readme), false, "--readme", t.readmeFile);
    t.hasReadme = 1;
    if (ok && !FindFile(diff.released, t.readmeFile)) {
      ReportError("--readme: " + options.readme + " is not a file of " + options.newDir);
      ok = false;
    }
  }
  return ok;
}

// The readme is carried even when unchanged, like every file a trailer
// names: the patch then brings it whatever the installation lacks.
void CarryReadme(const std::string& readme, ReleaseDiff& diff) {
  if (FindFile(diff.carried, readme)) return;
  const archive::PayloadFile& file = *FindFile(diff.released, readme);
  diff.carried.push_back(file);
  std::sort(diff.carried.begin(), diff.carried.end(),
            [](const archive::PayloadFile& a, const archive::PayloadFile& b) {
              return EntryNameLess(a.name, b.name);
            });
}

} // namespace

ReleaseDiff CompareReleases(const std::string& oldDir, const std::string& newDir) {
  ReleaseDiff diff;
  std::error_code ec;
  for (const std::string& dir : {oldDir, newDir})
    if (!fs::is_directory(archive::FilePath(dir), ec))
      diff.errors.push_back(dir + ": not a folder");
  if (diff.ok())
    ReleaseComparer(diff).Compare(archive::FilePath(oldDir), archive::FilePath(newDir));
  return diff;
}

int RunDiff(const DiffOptions& options) {
  ReleaseDiff diff = CompareReleases(options.oldDir, options.newDir);
  for (const std::string& error : diff.errors) ReportError(error);
  if (!diff.ok()) return 1;
  archive::ArchiveTrailer trailer;
  if (!PatchTrailer(options, diff, trailer)) return 1;
  archive::CodecBlock& codec = trailer.extension.codec;
  if (!ParseCodecName(options.compression, codec)) {
    ReportError("diff: --compression must be zstd or huf");
    return 1;
  }
  if (std::string error;
      !options.level.empty() && !ParseCompressionLevel(options.level, codec, error)) {
    ReportError("diff: --level: " + error);
    return 1;
  }
  if (diff.carried.empty()) {
    ReportError("the releases hold the same files: nothing to patch");
    return 1;
  }
  for (const std::string& name : diff.removed)
    std::fprintf(stderr,
                 "mksetup: warning: %s is not in %s; a patch cannot remove it, it stays "
                 "installed\n",
                 name.c_str(), options.newDir.c_str());
  if (trailer.hasReadme) CarryReadme(trailer.readmeFile, diff);

  // Changed files travel as deltas against the installed ones where that is
  // smaller; their frames wait in a folder of their own until the build.
  PatchEntries entries;
  if (!PlanEntries(diff, !options.noDelta, entries)) return 1;
  PrintEntries(entries);
  if (options.dryRun) return 0;
  trailer.extension.deltas = entries.deltas;

  std::string stub;
  if (!FindStub(options.stub, stub)) return 1;
  ProgressBar bar("Building");
  archive::BuildResult r =
      archive::BuildProgramFile(stub, entries.files, trailer, options.output,
                                [&](uint64_t done, uint64_t total) { bar.Update(done, total); });
  bar.Finish();
  if (!r.ok) {
    ReportError(r.error);
    return 1;
  }
  std::printf("%s: patch to version %d, %zu files (%zu new, %zu changed, %zu as deltas), %" PRIu64
              " bytes, stream %" PRIu64 " bytes (%s), %" PRIu64 " bytes in all\n",
              options.output.c_str(), options.version, diff.carried.size(), diff.added.size(),
              diff.changed.size(), entries.deltas.size(), r.payloadSize, r.streamLength,
              FormatRatio(r.streamLength, r.payloadSize).c_str(), r.fileSize);
  return 0;
}

} // namespace mksetup
