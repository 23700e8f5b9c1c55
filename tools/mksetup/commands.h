// The mksetup commands. Each prints its result on stdout and its errors on
// stderr and returns the process's exit status.
#pragma once

#include <cstdint>
#include <string>

namespace mksetup {

struct BuildOptions {
  std::string manifest;
  std::string output; // empty: the manifest's name with ".exe", in the current folder
  std::string stub;   // a path, a stub's name (x86, x64) or empty: see FindStub
};

int RunBuild(const BuildOptions& options);
int RunList(const std::string& program, bool json);
int RunExtract(const std::string& program, const std::string& dir);
int RunVerify(const std::string& program);

// The stub a command uses: `option` is a path, the name of an installed stub
// ("x86", "x64") or empty, which means $MKSETUP_STUB when set (a path or a
// name) and else "x86". Names are looked up in StubFolder(). False, with
// an error naming every place looked at, when there is none.
bool FindStub(const std::string& option, std::string& path);
// Where the named stubs are: ../share/tarnivex-setup beside the folder of
// the mksetup program on Linux, the program's own folder on Windows.
std::string StubFolder();
// The file name of a named stub ("stub-x86.exe"); empty for other texts.
std::string StubFileName(const std::string& name);

// "mksetup: error: what" on stderr.
void ReportError(const std::string& what);
// Stream length as a share of the payload, "43.2%"; "-" for an empty payload.
std::string FormatRatio(uint64_t streamLength, uint64_t payloadSize);

} // namespace mksetup
