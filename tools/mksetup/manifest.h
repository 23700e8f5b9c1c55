// The build manifest: a TOML file naming the product's texts, options and
// the files to carry. Texts are converted to code page 1252; every problem is
// reported with the manifest key or the file at fault.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_builder.h"
#include "archive/format/trailer.h"

namespace mksetup {

struct Manifest {
  // Texts and options; the entries and the data start are the build's.
  archive::ArchiveTrailer trailer;
  // The carried files in order: those of `files` under their base names,
  // then those of `folders` under their paths relative to their folder.
  std::vector<archive::PayloadFile> files;
};

struct ManifestResult {
  bool ok = false;
  std::vector<std::string> errors; // "FILE:LINE: key: what is wrong"
  Manifest manifest;
};

// Reads and checks a manifest. Paths in it are relative to its folder.
ManifestResult LoadManifest(const std::string& path);

// Describes the manifest's keys; shown by `mksetup build --help`.
extern const char* const kManifestHelp;

} // namespace mksetup
