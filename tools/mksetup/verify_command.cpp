#include <cinttypes>
#include <cstdio>

#include "archive/archive_extract.h"
#include "commands.h"
#include "compression.h"
#include "entry_tree.h"
#include "progress_bar.h"
#include "signature_text.h"

namespace mksetup {

namespace {

// Structure, names and the fully decoded payload.
archive::CheckResult Verify(archive::RandomAccessFile& file, archive::ArchiveInfo& info) {
  archive::CheckResult r = archive::OpenArchive(file, info);
  if (!r.ok) return r;
  for (const auto& e : info.trailer.entries)
    if (!archive::IsExtractableName(e.name)) {
      r.ok = false;
      r.error = "entry name [" + e.name + "] is unsafe";
      return r;
    }
  // The installer writes the entries into one folder tree.
  std::vector<std::string> names;
  for (const auto& e : info.trailer.entries) names.push_back(e.name);
  if (auto clashes = FindFileFolderClashes(names); !clashes.empty()) {
    r.ok = false;
    r.error = "entry [" + names[clashes[0].first] + "] is also the folder of [" +
              names[clashes[0].second] + "]";
    return r;
  }
  r = archive::CheckReferencedNames(info.trailer);
  if (!r.ok) return r;
  ProgressBar bar("Verifying");
  r = archive::VerifyPayload(file, info,
                             [&](uint64_t done, uint64_t total) { bar.Update(done, total); });
  return r;
}

} // namespace

int RunVerify(const std::string& program) {
  archive::StdioFile file(program);
  if (!file.IsOpen()) {
    ReportError("cannot open " + program);
    return 1;
  }
  archive::ArchiveInfo info;
  if (archive::CheckResult r = Verify(file, info); !r.ok) {
    ReportError(program + ": " + r.error);
    return 1;
  }
  std::printf("%s: sound, %zu entries, %" PRIu64 " bytes\n", program.c_str(),
              info.trailer.entries.size(), info.trailer.TotalSize());
  std::printf("compression: %s\n", DescribeCompression(info.trailer.extension.codec).c_str());
  // The archive is checked; the signature itself is the signing tool's to check.
  std::printf("signed: %s\n", SignatureText(info.layout).c_str());
  return 0;
}

} // namespace mksetup
