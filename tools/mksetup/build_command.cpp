#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "archive/archive_builder.h"
#include "archive/format/file_path.h"
#include "commands.h"
#include "manifest.h"
#include "progress_bar.h"

namespace mksetup {

int RunBuild(const BuildOptions& options) {
  ManifestResult manifest = LoadManifest(options.manifest);
  if (!manifest.ok) {
    for (const auto& error : manifest.errors) ReportError(error);
    return 1;
  }
  std::string stub;
  if (!FindStub(options.stub, stub)) return 1;
  const std::string output =
      options.output.empty()
          ? archive::PathString(archive::FilePath(options.manifest).stem()) + ".exe"
          : options.output;

  ProgressBar bar("Building");
  archive::BuildResult r =
      archive::BuildProgramFile(stub, manifest.manifest.files, manifest.manifest.trailer, output,
                                [&](uint64_t done, uint64_t total) { bar.Update(done, total); });
  bar.Finish();
  if (!r.ok) {
    ReportError(r.error);
    return 1;
  }
  std::printf("%s: %zu files, %" PRIu64 " bytes, stream %" PRIu64 " bytes (%s), %" PRIu64
              " bytes in all\n",
              output.c_str(), manifest.manifest.files.size(), r.payloadSize, r.streamLength,
              FormatRatio(r.streamLength, r.payloadSize).c_str(), r.fileSize);
  return 0;
}

} // namespace mksetup
