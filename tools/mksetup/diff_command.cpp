#include "diff_command.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "archive/file_path.h"
#include "commands.h"
#include "cp1252.h"
#include "file_names.h"
#include "progress_bar.h"
#include "trailer_text.h"

namespace fs = std::filesystem;

namespace mksetup {

namespace {

struct FolderItem {
  std::string name; // as on disk (UTF-8)
  fs::path path;
  bool folder = false;
};

// Files and folders of one folder, by name; anything else is left out.
std::vector<FolderItem> ListFolder(const fs::path& dir, std::error_code& ec) {
  std::vector<FolderItem> items;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    bool folder = it->is_directory(kind);
    if (folder || it->is_regular_file(kind))
      items.push_back({it->path().filename().string(), it->path(), folder});
  }
  std::sort(items.begin(), items.end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  return items;
}

// The name Windows would compare: code page 1252, letter case folded. Names
// that code page cannot hold keep their UTF-8 bytes, behind a mark no real
// name starts with.
std::string MatchKey(const std::string& utf8) {
  std::string name, bad;
  if (!Utf8ToCp1252(utf8, name, bad)) return "\x01" + utf8;
  return archive::EntryNameKey(name);
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

class ReleaseComparer {
public:
  explicit ReleaseComparer(ReleaseDiff& diff) : m_diff(diff) {}

  void CompareTop(const fs::path& oldDir, const fs::path& newDir) {
    std::map<std::string, FolderItem> old;
    if (!List(oldDir, old)) return;
    std::vector<FolderItem> items;
    std::error_code ec;
    items = ListFolder(newDir, ec);
    if (ec) return Error(newDir.string() + ": cannot read the folder (" + ec.message() + ")");

    std::set<std::string> seen;
    for (const FolderItem& item : items) {
      const std::string key = MatchKey(item.name);
      if (!seen.insert(key).second) {
        Error(item.path.string() + ": another name of this folder differs only in letter case");
        continue;
      }
      std::optional<FolderItem> before;
      if (auto match = old.find(key); match != old.end()) {
        before = std::move(match->second);
        old.erase(match);
      }
      if (item.folder) {
        CompareSubFolder(before && before->folder ? &before->path : nullptr, item.path,
                         item.name + "/");
        continue;
      }
      std::string name, bad;
      if (!Utf8ToCp1252(item.name, name, bad)) {
        Error(item.path.string() + ": " + bad + " cannot be written in code page 1252");
        continue;
      }
      if (std::string why = CheckWindowsFileName(name); !why.empty()) {
        Error(item.path.string() + ": " + why);
        continue;
      }
      m_diff.released.push_back({item.path.string(), name});
      if (before && !before->folder && SameBytes(before->path, item.path)) continue;
      (before && !before->folder ? m_diff.changed : m_diff.added).push_back(name);
      m_diff.carried.push_back({item.path.string(), name});
    }
    for (const auto& [key, item] : old)
      if (!item.folder) m_diff.removed.push_back(item.name);
  }

private:
  void Error(const std::string& what) { m_diff.errors.push_back(what); }

  bool List(const fs::path& dir, std::map<std::string, FolderItem>& out) {
    std::error_code ec;
    for (FolderItem& item : ListFolder(dir, ec)) out.emplace(MatchKey(item.name), std::move(item));
    if (ec) Error(dir.string() + ": cannot read the folder (" + ec.message() + ")");
    return !ec;
  }

  // A patch writes into the product's folder only: whatever is new or
  // changed below it cannot be carried.
  void CompareSubFolder(const fs::path* oldDir, const fs::path& newDir, const std::string& rel) {
    std::map<std::string, FolderItem> old;
    if (oldDir && !List(*oldDir, old)) return;
    std::error_code ec;
    for (const FolderItem& item : ListFolder(newDir, ec)) {
      auto match = old.find(MatchKey(item.name));
      const fs::path* before = nullptr;
      if (match != old.end() && match->second.folder == item.folder) before = &match->second.path;
      if (item.folder)
        CompareSubFolder(before, item.path, rel + item.name + "/");
      else if (!before || !SameBytes(*before, item.path))
        Error(rel + item.name + ": " + (before ? "changed" : "new") +
              " in a sub-folder; a patch carries files of the product's folder only");
    }
    if (ec) Error(newDir.string() + ": cannot read the folder (" + ec.message() + ")");
  }

  ReleaseDiff& m_diff;
};

const archive::PayloadFile* FindFile(const std::vector<archive::PayloadFile>& files,
                                     const std::string& name) {
  for (const auto& file : files)
    if (archive::SameEntryName(file.name, name)) return &file;
  return nullptr;
}

void PrintNames(const char* label, const std::vector<std::string>& names) {
  for (const std::string& name : names) std::printf("%s %s\n", label, Cp1252ToUtf8(name).c_str());
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
  if (!options.readme.empty()) {
    text(options.readme, false, "--readme", t.readmeFile);
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
  std::printf("readme   %s\n", Cp1252ToUtf8(file.name).c_str());
  diff.carried.push_back(file);
  std::sort(diff.carried.begin(), diff.carried.end(),
            [](const archive::PayloadFile& a, const archive::PayloadFile& b) {
              return a.sourcePath < b.sourcePath;
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
    ReleaseComparer(diff).CompareTop(archive::FilePath(oldDir), archive::FilePath(newDir));
  return diff;
}

int RunDiff(const DiffOptions& options) {
  ReleaseDiff diff = CompareReleases(options.oldDir, options.newDir);
  for (const std::string& error : diff.errors) ReportError(error);
  if (!diff.ok()) return 1;
  archive::ArchiveTrailer trailer;
  if (!PatchTrailer(options, diff, trailer)) return 1;
  if (diff.carried.empty()) {
    ReportError("the releases hold the same files: nothing to patch");
    return 1;
  }
  for (const std::string& name : diff.removed)
    std::fprintf(stderr,
                 "mksetup: warning: %s is not in %s; a patch cannot remove it, it stays "
                 "installed\n",
                 name.c_str(), options.newDir.c_str());
  PrintNames("new     ", diff.added);
  PrintNames("changed ", diff.changed);
  if (trailer.hasReadme) CarryReadme(trailer.readmeFile, diff);
  if (options.dryRun) return 0;

  std::string stub;
  if (!FindStub(options.stub, stub)) return 1;
  ProgressBar bar("Building");
  archive::BuildResult r =
      archive::BuildProgramFile(stub, diff.carried, trailer, options.output,
                                [&](uint64_t done, uint64_t total) { bar.Update(done, total); });
  bar.Finish();
  if (!r.ok) {
    ReportError(r.error);
    return 1;
  }
  std::printf("%s: patch to version %d, %zu files (%zu new, %zu changed), %" PRIu64
              " bytes, stream %" PRIu64 " bytes (%s), %" PRIu64 " bytes in all\n",
              options.output.c_str(), options.version, diff.carried.size(), diff.added.size(),
              diff.changed.size(), r.payloadSize, r.streamLength,
              FormatRatio(r.streamLength, r.payloadSize).c_str(), r.fileSize);
  return 0;
}

} // namespace mksetup
