// The mksetup commands. Each prints its result on stdout and its errors on
// stderr and returns the process's exit status.
#pragma once

#include <cstdint>
#include <string>

namespace mksetup {

struct BuildOptions {
  std::string manifest;
  std::string output; // empty: the manifest's name with ".exe", in the current folder
  std::string stub;   // empty: DefaultStub()
};

int RunBuild(const BuildOptions& options);
int RunList(const std::string& program, bool json);
int RunExtract(const std::string& program, const std::string& dir);
int RunVerify(const std::string& program);

// The stub chosen at configure time.
std::string ConfiguredStub();
// $MKSETUP_STUB when set, else the configured stub.
std::string DefaultStub();

// "mksetup: error: what" on stderr.
void ReportError(const std::string& what);
// Stream length as a share of the payload, "43.2%"; "-" for an empty payload.
std::string FormatRatio(uint64_t streamLength, uint64_t payloadSize);

} // namespace mksetup
