#include <cstdio>
#include <filesystem>
#include <set>

#include "archive/archive_extract.h"
#include "archive/format/file_path.h"
#include "commands.h"
#include "cp1252.h"
#include "progress_bar.h"

namespace fs = std::filesystem;

namespace mksetup {

namespace {

// Where an entry lands below `dir`: each part of its name, converted to
// UTF-8, one folder deeper.
std::string OutputPath(const std::string& dir, const std::string& name) {
  fs::path path = archive::FilePath(dir);
  for (size_t start = 0;;) {
    const size_t end = name.find('\\', start);
    const std::string part = Cp1252ToUtf8(name.substr(start, end - start));
    path /= fs::path(std::u8string(part.begin(), part.end()));
    if (end == std::string::npos) return archive::PathString(path);
    start = end + 1;
  }
}

} // namespace

int RunExtract(const std::string& program, const std::string& dir) {
  archive::StdioFile file(program);
  if (!file.IsOpen()) {
    ReportError("cannot open " + program);
    return 1;
  }
  archive::ArchiveInfo info;
  if (archive::CheckResult r = archive::OpenArchive(file, info); !r.ok) {
    ReportError(program + ": " + r.error);
    return 1;
  }
  std::error_code ec;
  fs::create_directories(archive::FilePath(dir), ec);
  if (ec) {
    ReportError("cannot create " + dir + ": " + ec.message());
    return 1;
  }

  // A delta is no file without its reference: it is kept as the frame it is.
  std::set<std::string> deltas;
  for (const archive::DeltaRecord& d : info.trailer.extension.deltas)
    deltas.insert(info.trailer.entries[d.entry].name);
  ProgressBar bar("Extracting");
  archive::CheckResult r = archive::ExtractPayload(
      file, info,
      [&](const std::string& name) {
        return OutputPath(dir, deltas.count(name) ? name + ".delta" : name);
      },
      [&](uint64_t done, uint64_t total) { bar.Update(done, total); });
  bar.Finish();
  if (!r.ok) {
    ReportError(program + ": " + r.error);
    return 1;
  }
  std::printf("%zu files extracted into %s\n", info.trailer.entries.size(), dir.c_str());
  if (!deltas.empty())
    std::printf("%zu of them are deltas, kept as NAME.delta: zstd frames against the installed "
                "file (zstd -d --long=28 --patch-from=INSTALLED NAME.delta)\n",
                deltas.size());
  return 0;
}

} // namespace mksetup
