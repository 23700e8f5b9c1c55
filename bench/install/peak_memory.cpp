// Peak memory of an installation of a zstd payload, by window: builds a
// program of MEGABYTES of generated files whose frame has the window 2^LOG,
// installs it through the engine in a child process (the stub's own code
// path, without its windows) and prints the child's peak working set and
// commit as GetProcessMemoryInfo reports them.
//   peak_memory MEGABYTES LOG [huf]
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_builder.h"
#include "framework/app.h"
#include "install/payload_installer.h"
#include "install/temp_folder.h"

namespace {

std::string ProgramPath() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// Text-like bytes with noise, 8 MiB a file.
void WriteFiles(const std::string& folder, unsigned megabytes,
                std::vector<archive::PayloadFile>& files) {
  const char* words[] = {"Fenster ", "Datei ", "\r\n", "Einstellungen ", "0123 ", "Hilfe "};
  uint32_t seed = 7;
  std::string block;
  for (unsigned done = 0; done < megabytes; done += 8) {
    block.clear();
    const size_t size = size_t(std::min(8u, megabytes - done)) << 20;
    while (block.size() < size) {
      seed = seed * 1664525u + 1013904223u;
      if (seed >> 28 == 0)
        block.push_back(char(seed >> 11));
      else
        block += words[(seed >> 16) % 6];
    }
    block.resize(size);
    std::string path = folder + "teil" + std::to_string(done / 8) + ".bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
    files.push_back({path, "teil" + std::to_string(done / 8) + ".bin"});
  }
}

int Child(const std::string& program, const std::string& target) {
  CWinApp app("peak_memory");
  archive::StdioFile file(program);
  archive::ArchiveTrailer trailer;
  archive::TrailerReadResult read = archive::ReadTrailer(file, trailer);
  if (!read.ok) return 2;
  std::string temp = CreatePrivateTempFolder();
  InstallRequest request{program, &trailer, read.layout.StreamLength(),
                         temp,    target,   "Bench",
                         nullptr, nullptr,  nullptr};
  bool ok = InstallPayload(request) == InstallResult::Completed;
  RemovePrivateTempFolder(temp);
  // Its own counters, for the parent (Wine gives none of another process).
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  if (FILE* f = std::fopen("peak.txt", "w")) {
    std::fprintf(f, "%llu %llu\n", (unsigned long long)counters.PeakWorkingSetSize,
                 (unsigned long long)counters.PeakPagefileUsage);
    std::fclose(f);
  }
  return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "child") return Child(argv[2], argv[3]);
  if (argc < 3) {
    std::fprintf(stderr, "usage: peak_memory MEGABYTES LOG [huf]\n");
    return 2;
  }
  const unsigned megabytes = unsigned(std::atoi(argv[1]));
  const unsigned log = unsigned(std::atoi(argv[2]));
  const bool huf = argc > 3 && std::string(argv[3]) == "huf";
  char tempPath[MAX_PATH];
  GetTempPathA(MAX_PATH, tempPath);
  const std::string work =
      std::string(tempPath) + "peak-memory-" + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(work.c_str(), nullptr);
  std::vector<archive::PayloadFile> files;
  WriteFiles(work, megabytes, files);
  const std::string stub = work + "stub.bin";
  if (FILE* f = std::fopen(stub.c_str(), "wb")) {
    std::fputs("MZ stub", f);
    std::fclose(f);
  }
  archive::ArchiveTrailer trailer;
  trailer.caption = "Peak";
  trailer.productName = "Peak";
  // Level 1: the window decides the decoder's memory, not the level.
  if (!huf) trailer.extension.codec = {archive::PayloadCodec::Zstd, 1, log};
  const std::string program = work + "setup.exe";
  archive::BuildResult built = archive::BuildProgramFile(stub, files, trailer, program);
  if (!built.ok) {
    std::fprintf(stderr, "build failed: %s\n", built.error.c_str());
    return 1;
  }
  archive::StdioFile file(program);
  archive::ArchiveTrailer read;
  archive::ReadTrailer(file, read);

  // The target ends in a backslash, doubled before the closing quote (a
  // single one would escape it).
  std::string line =
      "\"" + ProgramPath() + "\" child \"" + program + "\" \"" + work + "ziel\\\\\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, work.c_str(),
                      &startup, &process))
    return 1;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // The child's counters as it saw them itself (it runs in `work`).
  unsigned long long peakSet = 0, peakCommit = 0;
  if (FILE* f = std::fopen((work + "peak.txt").c_str(), "r")) {
    if (std::fscanf(f, "%llu %llu", &peakSet, &peakCommit) != 2) peakSet = peakCommit = 0;
    std::fclose(f);
  }
  std::printf("%s, %u MB payload, window 2^%u (codec block: %u): installed %s; peak working set "
              "%.1f MiB, peak commit %.1f MiB\n",
              huf ? "huf" : "zstd", megabytes, read.extension.codec.windowLog,
              read.extension.codec.windowLog, code == 0 ? "ok" : "FAILED",
              peakSet / 1048576.0, peakCommit / 1048576.0);
  std::string remove = "cmd /c rmdir /s /q \"" + work.substr(0, work.size() - 1) + "\"";
  STARTUPINFOA s2{};
  s2.cb = sizeof s2;
  if (CreateProcessA(nullptr, &remove[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &s2,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return code == 0 ? 0 : 1;
}
