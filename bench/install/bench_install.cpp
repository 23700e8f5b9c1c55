// Installing a product under Wine, side by side: our installer's engine,
// the route as first designed (optional), a silent NSIS installer of the same
// files, and CopyFileA of the same files (the floor); and a patch of every
// one of the files over the installed tree, through the same engine. Also the
// peak memory of a process that installs a payload of a gigabyte or more.
//
//   bench_install run CORPUS [--nsis EXE] [--repeat N] [--written] [--wizard]
//   bench_install big MEGABYTES
//   bench_install child short|written|patch PROGRAM TARGET RESULT   (used by the two above)
//
// --wizard adds the whole setup program (stub and archive), driven as a user
// would: timed from the click that starts the installation to the finish page.
// Run it through bench/install/run, which builds the NSIS installer.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/install_log.h"
#include "archive/archive_builder.h"
#include "archive/archive_extract.h"
#include "archive/byte_io.h"
#include "archive/huf_decoder.h"
#include "archive/trailer.h"
#include "framework/app.h"
#include "framework/controls.h"
#include "install/payload_installer.h"
#include "install/temp_folder.h"
#include "patch/patch_payload.h"
#include "res/resource.h"
#include "written_route.h"

#ifdef BENCH_WIZARD
#include "driver.h"
#endif

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

std::string ProgramPath() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

struct CorpusFile {
  std::string path;
  std::string name;
  uint64_t size;
};

std::vector<CorpusFile> ListCorpus(std::string folder) {
  if (folder.back() != '\\') folder += '\\';
  std::vector<CorpusFile> files;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    files.push_back({folder + found.cFileName, found.cFileName,
                     (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(files.begin(), files.end(),
            [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });
  return files;
}

// Builds the program file carrying the files (the stub is this program); a
// patch when installer is false.
bool BuildInstaller(const std::vector<CorpusFile>& files, const std::string& out,
                    uint64_t& streamLength, std::string stub = ProgramPath(),
                    bool installer = true) {
  std::vector<archive::PayloadFile> payload;
  for (const auto& f : files) payload.push_back({f.path, f.name});
  archive::ArchiveTrailer trailer;
  trailer.installerFlag = installer ? 1 : 0;
  trailer.version = 2;
  trailer.caption = "Benchmark Setup";
  trailer.productName = "Benchmark";
  archive::BuildResult r = archive::BuildProgramFile(stub, payload, trailer, out);
  if (!r.ok) std::fprintf(stderr, "build failed: %s\n", r.error.c_str());
  streamLength = r.streamLength;
  return r.ok;
}

// Starts a command line in folder and waits; the seconds from start to end.
// peak receives the process's peak working set and commit when it can be read.
double RunProcess(const std::string& commandLine, const std::string& folder, DWORD& exitCode,
                  PROCESS_MEMORY_COUNTERS* peak = nullptr) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = commandLine;
  double start = Now();
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process)) {
    std::fprintf(stderr, "cannot start %s\n", commandLine.c_str());
    exitCode = DWORD(-1);
    return 0;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  double seconds = Now() - start;
  GetExitCodeProcess(process.hProcess, &exitCode);
  if (peak) {
    peak->cb = sizeof *peak;
    if (!GetProcessMemoryInfo(process.hProcess, peak, sizeof *peak)) *peak = {};
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return seconds;
}

struct ChildResult {
  bool ok = false;
  double seconds = 0;                        // measured inside the child: the installation alone
  double processTime = 0;                    // measured outside: start to end of the process
  double peakWorkingSet = 0, peakCommit = 0; // MiB, as the child saw itself
  double outsideWorkingSet = 0, outsideCommit = 0;
};

ChildResult RunChild(const std::string& route, const std::string& program,
                     const std::string& target, const std::string& work) {
  std::string result = work + "child-result.txt";
  DeleteFileA(result.c_str());
  // Without its trailing backslash, which would escape the closing quote.
  std::string folder = target.substr(0, target.size() - 1);
  std::string line = "\"" + ProgramPath() + "\" child " + route + " \"" + program + "\" \"" +
                     folder + "\" \"" + result + "\"";
  std::string logs = work + "logs\\";
  CreateDirectoryA(logs.c_str(), nullptr);
  DeleteFileA((logs + "install.log").c_str());
  DWORD exitCode = 0;
  PROCESS_MEMORY_COUNTERS peak{};
  ChildResult r;
  r.processTime = RunProcess(line, logs, exitCode, &peak);
  r.outsideWorkingSet = peak.PeakWorkingSetSize / 1048576.0;
  r.outsideCommit = peak.PeakPagefileUsage / 1048576.0;
  if (FILE* f = std::fopen(result.c_str(), "r")) {
    int ok = 0;
    if (std::fscanf(f, "%d %lf %lf %lf", &ok, &r.seconds, &r.peakWorkingSet, &r.peakCommit) == 4)
      r.ok = ok == 1 && exitCode == 0;
    std::fclose(f);
  }
  return r;
}

// Decodes the stream without writing it: the cost of the check before the
// files are written.
bool DecodeOnly(const InstallRequest& request) {
  struct Null final : archive::ByteSink {
    bool Write(const void*, size_t) override { return true; }
  } sink;
  archive::StdioFile file(request.programPath);
  archive::FileRangeSource source(file, request.trailer->dataStart, request.streamLength);
  return archive::HufDecodeStream(source, request.streamLength, sink).status ==
         archive::HufDecodeResult::Ok;
}

// Only the log lines an installation writes for its entries.
bool LogOnly(const InstallRequest& request) {
  for (const auto& e : request.trailer->entries) {
    InstallLog("Copying File [%s] [%u]", (request.tempPath + e.name).c_str(), unsigned(e.size));
    InstallLog("Copying File [%s] to [%s]", (request.tempPath + e.name).c_str(),
               (request.installPath + e.name).c_str());
  }
  return true;
}

int Child(const std::string& route, const std::string& program, const std::string& target,
          const std::string& resultPath) {
  CWinApp app("bench_install");
  archive::StdioFile file(program);
  archive::ArchiveTrailer trailer;
  archive::TrailerReadResult read = archive::ReadTrailer(file, trailer);
  if (!read.ok) return 2;
  std::string temp = CreatePrivateTempFolder();
  InstallRequest request{program, &trailer, read.layout.StreamLength(),
                         temp,    target,   "Bench",
                         nullptr, nullptr,  nullptr};
  // "window": the same with a visible window, its status text and progress
  // bar, as the setup program shows them.
  HWND window = nullptr;
  CStatic status;
  CProgressCtrl progress;
  if (route == "window") {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    window = CreateWindowA("STATIC", "Benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400,
                           200, nullptr, nullptr, nullptr, nullptr);
    status.m_hWnd = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 370, 40, window,
                                  nullptr, nullptr, nullptr);
    progress.m_hWnd = CreateWindowA(PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 60, 370, 20,
                                    window, nullptr, nullptr, nullptr);
    UpdateWindow(window);
    request.statusText = &status;
    request.progress = &progress;
  }
  double start = Now();
  bool ok = route == "written"  ? InstallByWrittenRoute(request)
            : route == "decode" ? DecodeOnly(request)
            : route == "log"    ? LogOnly(request)
            : route == "patch"  ? RunPayloadPatch(request).result == InstallResult::Completed
                                : InstallPayload(request) == InstallResult::Completed;
  double seconds = Now() - start;
  if (window) DestroyWindow(window);
  RemovePrivateTempFolder(temp);
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  if (FILE* f = std::fopen(resultPath.c_str(), "w")) {
    std::fprintf(f, "%d %.4f %.2f %.2f\n", ok ? 1 : 0, seconds,
                 counters.PeakWorkingSetSize / 1048576.0, counters.PeakPagefileUsage / 1048576.0);
    std::fclose(f);
  }
  return ok ? 0 : 1;
}

#ifdef BENCH_WIZARD
// The setup program from the click on "Weiter" under the chosen folder to the
// finish page (the cancel button hidden); a negative time when it failed.
double WizardInstall(const std::string& program, const std::string& target,
                     const std::string& work) {
  e2e::Program setup(program, work);
  e2e::Window dlg = setup.WaitForDialog("Benchmark Setup");
  if (!dlg || !dlg.Click(IDOK)) return -1;
  if (!e2e::WaitUntil([&] { return dlg.ItemVisible(IDC_EDIT_DIR); })) return -1;
  dlg.SetItemText(IDC_EDIT_DIR, target);
  double start = Now();
  if (!dlg.Click(IDOK)) return -1;
  double extracting = 0;
  while (dlg && dlg.ItemVisible(IDCANCEL)) {
    if (Now() - start > 600) return -1;
    if (!extracting && dlg.ItemText(IDC_STATIC_TEXT).rfind("Setup extrahiert", 0) == 0)
      extracting = Now() - start;
    Sleep(2);
  }
  if (getenv("BENCH_VERBOSE")) std::fprintf(stderr, "extraction text after %.2f s\n", extracting);
  double seconds = Now() - start;
  return dlg && dlg.ItemText(IDOK) == "Schliessen" ? seconds : -1;
}
#endif

double CopyAll(const std::vector<CorpusFile>& files, const std::string& target) {
  double start = Now();
  CreateDirectoryA(target.c_str(), nullptr);
  for (const auto& f : files) {
    if (!CopyFileA(f.path.c_str(), (target + f.name).c_str(), FALSE)) {
      std::fprintf(stderr, "CopyFileA failed for %s\n", f.name.c_str());
      return 0;
    }
  }
  return Now() - start;
}

bool SameFiles(const std::vector<CorpusFile>& files, const std::string& target) {
  std::vector<char> a(1 << 20), b(1 << 20);
  for (const auto& f : files) {
    FILE* x = std::fopen(f.path.c_str(), "rb");
    FILE* y = std::fopen((target + f.name).c_str(), "rb");
    bool same = x && y;
    while (same) {
      size_t n = std::fread(a.data(), 1, a.size(), x);
      size_t m = std::fread(b.data(), 1, b.size(), y);
      same = n == m && std::equal(a.begin(), a.begin() + n, b.begin());
      if (n == 0) break;
    }
    if (x) std::fclose(x);
    if (y) std::fclose(y);
    if (!same) {
      std::fprintf(stderr, "differs: %s\n", f.name.c_str());
      return false;
    }
  }
  return true;
}

// The files of a new version: every one changed in place (a byte in every
// 997 flipped), same names and sizes, and `added` new files in new folders.
std::vector<CorpusFile> WriteChangedCorpus(const std::vector<CorpusFile>& files,
                                           const std::string& folder, size_t added) {
  std::vector<CorpusFile> changed;
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string bytes;
  for (const auto& f : files) {
    FILE* in = std::fopen(f.path.c_str(), "rb");
    if (!in) return {};
    bytes.resize(size_t(f.size));
    size_t n = std::fread(bytes.data(), 1, bytes.size(), in);
    std::fclose(in);
    if (n != bytes.size()) return {};
    for (size_t i = 0; i < bytes.size(); i += 997) bytes[i] = char(bytes[i] ^ 0x5A);
    std::string path = folder + f.name;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return {};
    std::fclose(out);
    changed.push_back({path, f.name, f.size});
  }
  for (size_t i = 0; i < added && i < files.size(); ++i) {
    // Carried from the changed copy under a name in new folders.
    CorpusFile extra = changed[i];
    extra.name = "neu\\teil" + std::to_string(i % 10) + "\\" + extra.name;
    changed.push_back(extra);
  }
  return changed;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int Run(int argc, char** argv) {
  std::string corpus = argv[2];
  std::string nsis;
  int repeat = 3;
  bool written = false, wizard = false;
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--nsis" && i + 1 < argc)
      nsis = argv[++i];
    else if (a == "--repeat" && i + 1 < argc)
      repeat = std::max(1, std::atoi(argv[++i]));
    else if (a == "--written")
      written = true;
    else if (a == "--wizard")
      wizard = true;
  }
  std::vector<CorpusFile> files = ListCorpus(corpus);
  uint64_t total = 0;
  for (const auto& f : files) total += f.size;
  std::string work = CreatePrivateTempFolder();
  std::string program = work + "setup.exe";
  uint64_t streamLength = 0;
  double buildStart = Now();
  if (files.empty() || !BuildInstaller(files, program, streamLength)) return 1;
  std::printf("corpus: %zu files, %.1f MB; payload stream %.1f MB (built in %.1f s)\n",
              files.size(), total / 1e6, streamLength / 1e6, Now() - buildStart);
  std::string wizardProgram;
#ifdef BENCH_WIZARD
  if (wizard) {
    wizardProgram = work + "wizard-setup.exe";
    uint64_t ignored = 0;
    if (!BuildInstaller(files, wizardProgram, ignored, e2e::StubPath())) return 1;
  }
#else
  if (wizard) std::fprintf(stderr, "--wizard: built without the setup program and its driver\n");
#endif
  std::string nsisCopy;
  if (!nsis.empty()) {
    nsisCopy = work + "nsis-setup.exe";
    CopyFileA(nsis.c_str(), nsisCopy.c_str(), FALSE);
  }

  // The patch: every file changed, over a tree the engine installed.
  std::vector<CorpusFile> changed = WriteChangedCorpus(files, work + "changed\\", 0);
  std::string patchProgram = work + "patch.exe";
  if (changed.empty() || !BuildInstaller(changed, patchProgram, streamLength, ProgramPath(), false))
    return 1;
  // The same again over the patched tree, with 100 new files in new folders.
  std::vector<CorpusFile> grown = WriteChangedCorpus(files, work + "changed\\", 100);
  std::string growProgram = work + "patch-grow.exe";
  if (grown.empty() || !BuildInstaller(grown, growProgram, streamLength, ProgramPath(), false))
    return 1;

  std::vector<double> engine, engineInside, engineWindow, decode, logOnly, wizardTimes, route,
      nsisTimes, copy, patch, patchInside, grow;
  double peakWs = 0, peakCommit = 0;
  for (int round = 0; round < repeat; ++round) {
    std::string n = std::to_string(round);
    std::string target = work + "engine" + n + "\\";
    ChildResult r = RunChild("short", program, target, work);
    if (!r.ok || !SameFiles(files, target)) {
      std::fprintf(stderr, "engine install failed\n");
      return 1;
    }
    engine.push_back(r.processTime);
    engineInside.push_back(r.seconds);
    r = RunChild("patch", patchProgram, target, work);
    if (!r.ok || !SameFiles(changed, target)) {
      std::fprintf(stderr, "patch failed\n");
      return 1;
    }
    patch.push_back(r.processTime);
    patchInside.push_back(r.seconds);
    r = RunChild("patch", growProgram, target, work);
    if (!r.ok || !SameFiles(grown, target)) {
      std::fprintf(stderr, "patch with new files failed\n");
      return 1;
    }
    grow.push_back(r.processTime);
    r = RunChild("window", program, target + "w\\", work);
    engineWindow.push_back(r.seconds);
    RemovePrivateTempFolder(target + "w\\");
    peakWs = std::max(peakWs, r.peakWorkingSet);
    peakCommit = std::max(peakCommit, r.peakCommit);
    RemovePrivateTempFolder(target);

    r = RunChild("decode", program, target, work);
    decode.push_back(r.seconds);
    r = RunChild("log", program, target, work);
    logOnly.push_back(r.seconds);

    if (written) {
      target = work + "written" + n + "\\";
      r = RunChild("written", program, target, work);
      if (!r.ok || !SameFiles(files, target)) {
        std::fprintf(stderr, "written route failed\n");
        return 1;
      }
      route.push_back(r.processTime);
      RemovePrivateTempFolder(target);
    }

#ifdef BENCH_WIZARD
    if (!wizardProgram.empty()) {
      target = work + "wizard" + n;
      std::string logs = work + "wizard-run" + n + "\\";
      CreateDirectoryA(logs.c_str(), nullptr);
      double t = WizardInstall(wizardProgram, target, logs);
      if (t < 0 || !SameFiles(files, target + "\\")) {
        std::fprintf(stderr, "wizard install failed\n");
        return 1;
      }
      wizardTimes.push_back(t);
      RemovePrivateTempFolder(target + "\\");
      RemovePrivateTempFolder(logs);
    }
#endif

    if (!nsisCopy.empty()) {
      target = work + "nsis" + n;
      DWORD exitCode = 0;
      double t = RunProcess("\"" + nsisCopy + "\" /S /D=" + target, work, exitCode);
      if (exitCode != 0 || !SameFiles(files, target + "\\")) {
        std::fprintf(stderr, "NSIS install failed (%lu)\n", exitCode);
        return 1;
      }
      nsisTimes.push_back(t);
      RemovePrivateTempFolder(target + "\\");
    }

    target = work + "copy" + n + "\\";
    copy.push_back(CopyAll(files, target));
    RemovePrivateTempFolder(target);
  }

  auto row = [&](const char* name, const std::vector<double>& v) {
    if (v.empty()) return;
    std::printf("%-34s", name);
    for (double t : v) std::printf(" %6.2f", t);
    std::printf("   median %6.2f s", Median(v));
    if (!nsisTimes.empty()) std::printf("   %.2fx NSIS", Median(v) / Median(nsisTimes));
    std::printf("   %.2fx CopyFileA\n", Median(v) / Median(copy));
  };
  std::printf("seconds per run:\n");
  row("engine (process start to end)", engine);
  row("engine (installation alone)", engineInside);
  row("engine with a visible progress bar", engineWindow);
  row("patch of every file (process)", patch);
  row("patch of every file (patch alone)", patchInside);
  row("the same and 100 new files (process)", grow);
  row("wizard (click to finish page)", wizardTimes);
  row("decoding the stream once, no output", decode);
  row("the two log lines per entry alone", logOnly);
  row("written route (process)", route);
  row("NSIS silent install (process)", nsisTimes);
  row("CopyFileA of the files", copy);
  std::printf("patch against our installation of the same files: %.3fx (process), %.3fx (alone)\n",
              Median(patch) / Median(engine), Median(patchInside) / Median(engineInside));
  std::printf("engine peak memory: working set %.1f MiB, commit %.1f MiB\n", peakWs, peakCommit);
  RemovePrivateTempFolder(work);
  return 0;
}

// Writes a file of size bytes: text-like and random blocks by turns.
bool WriteBigFile(const std::string& path, uint64_t size, unsigned seed) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::vector<uint32_t> block(1 << 18); // 1 MiB
  uint32_t state = seed * 2654435761u + 1;
  for (uint64_t done = 0, k = 0; done < size; ++k) {
    for (auto& w : block) {
      state = state * 1664525u + 1013904223u;
      // Every other MiB uses only 16 byte values: it compresses.
      w = k % 2 ? state : (state & 0x0F0F0F0Fu) | 0x40404040u;
    }
    size_t n = size_t(std::min<uint64_t>(size - done, block.size() * 4));
    if (std::fwrite(block.data(), 1, n, f) != n) {
      std::fclose(f);
      return false;
    }
    done += n;
  }
  return std::fclose(f) == 0;
}

int Big(int argc, char** argv) {
  uint64_t megabytes = std::strtoull(argv[2], nullptr, 10);
  std::string work = CreatePrivateTempFolder();
  std::string source = work + "files\\";
  CreateDirectoryA(source.c_str(), nullptr);
  // One large entry of more than half the payload and a few smaller ones.
  std::vector<uint64_t> sizes = {megabytes * 6 / 10, megabytes / 10, megabytes / 10, megabytes / 10,
                                 megabytes - megabytes * 9 / 10};
  std::vector<CorpusFile> files;
  uint64_t total = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    std::string name = "part" + std::to_string(i) + ".bin";
    uint64_t size = sizes[i] << 20;
    if (!WriteBigFile(source + name, size, unsigned(i))) return 1;
    files.push_back({source + name, name, size});
    total += size;
  }
  std::string program = work + "setup.exe";
  uint64_t streamLength = 0;
  double start = Now();
  if (!BuildInstaller(files, program, streamLength)) return 1;
  std::printf("payload: %zu files, %.0f MiB (largest %.0f MiB); stream %.0f MiB, built in %.1f s\n",
              files.size(), total / 1048576.0, sizes[0] * 1.0, streamLength / 1048576.0,
              Now() - start);
  std::string target = work + "target\\";
  ChildResult r = RunChild("short", program, target, work);
  bool same = r.ok && SameFiles(files, target);
  std::printf("install %s in %.1f s; peak memory of the installing process: working set %.1f "
              "MiB, commit %.1f MiB\n",
              same ? "complete" : "FAILED", r.seconds, r.peakWorkingSet, r.peakCommit);
  // Wine gives no counters of another process; Windows does.
  if (r.outsideWorkingSet > 0)
    std::printf("seen from outside: working set %.1f MiB, commit %.1f MiB\n", r.outsideWorkingSet,
                r.outsideCommit);
  RemovePrivateTempFolder(work);
  return same ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "child" && argc == 6)
    return Child(argv[2], argv[3], argv[4] + std::string("\\"), argv[5]);
  if (mode == "run" && argc >= 3) return Run(argc, argv);
  if (mode == "big" && argc == 3) return Big(argc, argv);
  std::fprintf(stderr, "usage: bench_install run CORPUS [--nsis EXE] [--repeat N] [--written]\n"
                       "       bench_install big MEGABYTES\n");
  return 2;
}
