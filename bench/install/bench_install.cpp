// Installing a product under Wine, side by side: our installers (one per
// codec, built by mksetup), silent NSIS installers of the same tree, and
// CopyFileA of the same files (the floor); a patch of every one of the files
// over the installed tree, through the same engine; optionally the route as
// first designed and the whole setup program. Also the peak memory of a
// process that installs a payload of a gigabyte or more.
//
//   bench_install run CORPUS [--ours KEY=EXE]... [--stub ARCH:KEY=EXE]... [--nsis KEY=EXE]...
//                            [--repeat N] [--written] [--wizard]
//   bench_install big MEGABYTES
//   bench_install child short|window|decode|log|written|patch PROGRAM TARGET RESULT
//                                                                   (used by the two above)
//
// CORPUS is a folder tree; every file below it is installed under its
// relative path. --ours names our installers by codec (huf, zstd, zstd-max),
// installed through the engine in a child of this program; --stub the same
// installers with the i686 (x86) or x86_64 (x64) stub, each run as a process
// with /S /D=, as NSIS's are; --nsis the peers by compressor (zlib, lzma, and
// zlib-x86, lzma-x86 for NSIS's 32-bit stub); without --ours a HUF installer
// is built here. --wizard adds the whole setup program (stub and archive),
// driven as a user would: timed from the click that starts the installation
// to the finish page. Run it through bench/install/run, which builds the
// installers.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/install_log.h"
#include "archive/archive_builder.h"
#include "archive/format/trailer.h"
#include "framework/app.h"
#include "framework/controls.h"
#include "install/directory_chain.h"
#include "install/payload_installer.h"
#include "install/product_key.h"
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

// Every file below folder, named by its path relative to it ("bin\\app.exe"),
// in the byte order of the names.
void ListTree(const std::string& folder, const std::string& prefix,
              std::vector<CorpusFile>& files) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name != "." && name != "..") ListTree(folder + name + "\\", prefix + name + "\\", files);
      continue;
    }
    files.push_back(
        {folder + name, prefix + name, (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::vector<CorpusFile> ListCorpus(std::string folder) {
  if (folder.back() != '\\') folder += '\\';
  std::vector<CorpusFile> files;
  ListTree(folder, "", files);
  std::sort(files.begin(), files.end(),
            [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });
  return files;
}

// The folders of a file below root (ending in a backslash) that do not exist yet.
bool CreateParents(const std::string& root, const std::string& name) {
  size_t slash = name.rfind('\\');
  return slash == std::string::npos || CreateDirectoryChain(root + name.substr(0, slash));
}

size_t CountFolders(const std::vector<CorpusFile>& files) {
  std::set<std::string> folders;
  for (const auto& f : files)
    for (size_t at = f.name.find('\\'); at != std::string::npos; at = f.name.find('\\', at + 1))
      folders.insert(f.name.substr(0, at));
  return folders.size();
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

// The same program built without the journal's flushes, beside this one.
std::string UnjournaledProgramPath() {
  std::string path = ProgramPath();
  return path.substr(0, path.rfind('.')) + "_unjournaled.exe";
}

// child: the program that runs the child, this one by default.
ChildResult RunChild(const std::string& route, const std::string& program,
                     const std::string& target, const std::string& work,
                     const std::string& child = ProgramPath()) {
  std::string result = work + "child-result.txt";
  DeleteFileA(result.c_str());
  // Without its trailing backslash, which would escape the closing quote.
  std::string folder = target.substr(0, target.size() - 1);
  std::string line = "\"" + child + "\" child " + route + " \"" + program + "\" \"" +
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

// Only the log lines an installation writes for its entries.
bool WriteLogLines(const InstallRequest& request) {
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
            : route == "decode" ? CheckPayload(request).result == InstallResult::Completed
            : route == "log"    ? WriteLogLines(request)
            : route == "patch"  ? RunPayloadPatch(request, {"Benchmark", 1, 2, {}}).result ==
                                     InstallResult::Completed
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
    if (!CreateParents(target, f.name) ||
        !CopyFileA(f.path.c_str(), (target + f.name).c_str(), FALSE)) {
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
    if (!CreateParents(folder, f.name)) return {};
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

// A program to install, given as KEY=PATH: our installers by codec (huf,
// zstd, zstd-max), NSIS installers by compressor (zlib, lzma).
struct Program {
  std::string key, label, path;
};

Program ParseProgram(const std::string& arg) {
  static const std::vector<std::pair<std::string, std::string>> labels = {
      {"huf", "HUF"},
      {"zstd", "zstd 19"},
      {"zstd-max", "zstd max"},
      {"zlib", "NSIS zlib"},
      {"lzma", "NSIS solid lzma"},
      {"zlib-x86", "NSIS zlib x86"},
      {"lzma-x86", "NSIS solid lzma x86"},
  };
  size_t eq = arg.find('=');
  Program p{arg.substr(0, eq), "", eq == std::string::npos ? "" : arg.substr(eq + 1)};
  // Our stubs: ARCH:CODEC.
  size_t colon = p.key.find(':');
  std::string codec = colon == std::string::npos ? p.key : p.key.substr(colon + 1);
  p.label = codec;
  for (const auto& [key, label] : labels)
    if (key == codec) p.label = label;
  if (colon != std::string::npos) p.label += ", " + p.key.substr(0, colon) + " stub";
  return p;
}

// One row of the table: the seconds of each round.
struct Row {
  std::string key, label;
  std::vector<double> seconds;
};

// The run: each row is measured by one function, once a round; the table
// and the ratios come from the medians.
class Bench {
public:
  std::vector<CorpusFile> files;
  std::vector<Program> ours, stubs, nsis;
  std::string work;
  bool written = false, wizard = false;
  double peakWs = 0, peakCommit = 0;

  bool Prepare();
  bool Round(int round);
  void Report() const;

private:
  void Add(const std::string& key, const std::string& label, double seconds);
  double MedianOf(const std::string& key) const;
  void Ratio(const std::string& what, const std::string& over, const std::string& under,
             double target = 0) const;

  bool InstallOurs(const Program& p, const std::string& target);
  bool PatchOver(const std::string& target);
  bool Unjournaled(const Program& p, const std::string& target);
  bool WithWindow(const Program& p, const std::string& target);
  bool DecodeOnly(const Program& p);
  bool LogOnly();
  bool WrittenRoute(const Program& p, const std::string& target);
  bool Wizard(const std::string& target, int round);
  bool InstallSilent(const Program& p, const std::string& row, const std::string& target);
  bool CopyFloor(const std::string& target);

  std::vector<Row> m_rows;
  std::vector<CorpusFile> m_changed, m_grown;
  std::string m_patch, m_grow, m_wizardProgram;
};

void Bench::Add(const std::string& key, const std::string& label, double seconds) {
  for (auto& r : m_rows)
    if (r.key == key) {
      r.seconds.push_back(seconds);
      return;
    }
  m_rows.push_back({key, label, {seconds}});
}

double Bench::MedianOf(const std::string& key) const {
  for (const auto& r : m_rows)
    if (r.key == key) return Median(r.seconds);
  return 0;
}

bool Bench::Prepare() {
  // Without programs given, one HUF installer built here.
  if (ours.empty()) {
    uint64_t streamLength = 0;
    ours.push_back(ParseProgram("huf=" + work + "setup.exe"));
    if (!BuildInstaller(files, ours[0].path, streamLength)) return false;
  }
  for (auto* list : {&ours, &stubs, &nsis})
    for (auto& p : *list) {
      // A copy in the work folder, as a downloaded installer would be.
      std::string kind = list == &nsis ? "nsis" : list == &stubs ? "stub" : "ours";
      std::string name = p.key;
      std::replace(name.begin(), name.end(), ':', '-');
      std::string copy = work + name + "-" + kind + ".exe";
      if (!CopyFileA(p.path.c_str(), copy.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy %s\n", p.path.c_str());
        return false;
      }
      p.path = copy;
    }
#ifdef BENCH_WIZARD
  if (wizard) {
    m_wizardProgram = work + "wizard-setup.exe";
    uint64_t ignored = 0;
    if (!BuildInstaller(files, m_wizardProgram, ignored, e2e::StubPath())) return false;
  }
#else
  if (wizard) std::fprintf(stderr, "--wizard: built without the setup program and its driver\n");
#endif
  // The patch: every file changed, over a tree the engine installed; then
  // the same again over the patched tree, with 100 new files in new folders.
  uint64_t streamLength = 0;
  m_changed = WriteChangedCorpus(files, work + "changed\\", 0);
  m_patch = work + "patch.exe";
  if (m_changed.empty() || !BuildInstaller(m_changed, m_patch, streamLength, ProgramPath(), false))
    return false;
  m_grown = WriteChangedCorpus(files, work + "changed\\", 100);
  m_grow = work + "patch-grow.exe";
  return !m_grown.empty() && BuildInstaller(m_grown, m_grow, streamLength, ProgramPath(), false);
}

bool Bench::InstallOurs(const Program& p, const std::string& target) {
  ChildResult r = RunChild("short", p.path, target, work);
  if (!r.ok || !SameFiles(files, target)) {
    std::fprintf(stderr, "install of %s failed\n", p.path.c_str());
    return false;
  }
  Add("install:" + p.key, "install, " + p.label + " (process)", r.processTime);
  Add("inside:" + p.key, "install, " + p.label + " (alone)", r.seconds);
  return true;
}

// Two patches over the tree just installed.
bool Bench::PatchOver(const std::string& target) {
  ChildResult r = RunChild("patch", m_patch, target, work);
  if (!r.ok || !SameFiles(m_changed, target)) {
    std::fprintf(stderr, "patch failed\n");
    return false;
  }
  Add("patch", "patch of every file (process)", r.processTime);
  Add("patch-inside", "patch of every file (patch alone)", r.seconds);
  r = RunChild("patch", m_grow, target, work);
  if (!r.ok || !SameFiles(m_grown, target)) {
    std::fprintf(stderr, "patch with new files failed\n");
    return false;
  }
  Add("grow", "the same and 100 new files (process)", r.processTime);
  return true;
}

// The installation and the patch over it by the build without the journal's
// flushes (bench_install_unjournaled): what the flushes cost. A tree of its
// own, so that neither build works over files the other has just replaced.
bool Bench::Unjournaled(const Program& p, const std::string& target) {
  const std::string child = UnjournaledProgramPath();
  ChildResult r = RunChild("short", p.path, target, work, child);
  if (!r.ok || !SameFiles(files, target)) {
    std::fprintf(stderr, "install without the journal's flushes failed\n");
    return false;
  }
  Add("install-unflushed", "install, " + p.label + ", without flushes (process)", r.processTime);
  Add("inside-unflushed", "install, " + p.label + ", without flushes (alone)", r.seconds);
  r = RunChild("patch", m_patch, target, work, child);
  if (!r.ok || !SameFiles(m_changed, target)) {
    std::fprintf(stderr, "patch without the journal's flushes failed\n");
    return false;
  }
  Add("patch-unflushed", "patch of every file, without flushes (process)", r.processTime);
  Add("patch-unflushed-inside", "patch of every file, without flushes (alone)", r.seconds);
  return true;
}

bool Bench::WithWindow(const Program& p, const std::string& target) {
  ChildResult r = RunChild("window", p.path, target, work);
  RemovePrivateTempFolder(target);
  if (!r.ok) return false;
  Add("window:" + p.key, "install, " + p.label + ", progress bar (alone)", r.seconds);
  peakWs = std::max(peakWs, r.peakWorkingSet);
  peakCommit = std::max(peakCommit, r.peakCommit);
  return true;
}

// Neither writes a file: the target is never made.
bool Bench::DecodeOnly(const Program& p) {
  ChildResult r = RunChild("decode", p.path, work + "unused\\", work);
  if (r.ok) Add("decode:" + p.key, "decoding " + p.label + " once, no output", r.seconds);
  return r.ok;
}

bool Bench::LogOnly() {
  ChildResult r = RunChild("log", ours[0].path, work + "unused\\", work);
  if (r.ok) Add("log", "the two log lines per entry alone", r.seconds);
  return r.ok;
}

bool Bench::WrittenRoute(const Program& p, const std::string& target) {
  ChildResult r = RunChild("written", p.path, target, work);
  bool ok = r.ok && SameFiles(files, target);
  RemovePrivateTempFolder(target);
  if (!ok) {
    std::fprintf(stderr, "written route failed\n");
    return false;
  }
  Add("written", "written route, HUF (process)", r.processTime);
  return true;
}

bool Bench::Wizard(const std::string& target, int round) {
#ifdef BENCH_WIZARD
  std::string logs = work + "wizard-run" + std::to_string(round) + "\\";
  CreateDirectoryA(logs.c_str(), nullptr);
  double t = WizardInstall(m_wizardProgram, target, logs);
  bool ok = t >= 0 && SameFiles(files, target + "\\");
  RemovePrivateTempFolder(target + "\\");
  RemovePrivateTempFolder(logs);
  if (!ok) {
    std::fprintf(stderr, "wizard install failed\n");
    return false;
  }
  Add("wizard", "wizard, HUF (click to finish page)", t);
#else
  (void)target;
  (void)round;
#endif
  return true;
}

// A whole installer run as a user's script would: silent, into a folder.
bool Bench::InstallSilent(const Program& p, const std::string& row, const std::string& target) {
  DWORD exitCode = 0;
  // The patches have recorded release 2 of the benchmark's product, which
  // this installer of release 1 would refuse as newer.
  RegDeleteKeyA(HKEY_CURRENT_USER, ProductKeyPath("Benchmark").c_str());
  // /D= comes last and unquoted.
  double t = RunProcess("\"" + p.path + "\" /S /D=" + target, work, exitCode);
  bool ok = exitCode == 0 && SameFiles(files, target + "\\");
  RemovePrivateTempFolder(target + "\\");
  if (!ok) {
    std::fprintf(stderr, "%s install failed (%lu)\n", p.label.c_str(), exitCode);
    return false;
  }
  Add(row + p.key, p.label + " silent install (process)", t);
  return true;
}

bool Bench::CopyFloor(const std::string& target) {
  double t = CopyAll(files, target);
  RemovePrivateTempFolder(target);
  if (t <= 0) return false;
  Add("copy", "CopyFileA of the files", t);
  return true;
}

bool Bench::Round(int round) {
  std::string n = std::to_string(round);
  for (size_t i = 0; i < ours.size(); ++i) {
    const Program& p = ours[i];
    std::string target = work + p.key + n + "\\";
    // The first installer's tree is patched, and beside it, by turns before
    // and after, the same by the build without flushes.
    std::string bare = work + p.key + "-unflushed" + n + "\\";
    if (i == 0 && round % 2 == 1 && !Unjournaled(p, bare)) return false;
    if (!InstallOurs(p, target)) return false;
    if (i == 0 && !PatchOver(target)) return false;
    RemovePrivateTempFolder(target);
    if (i == 0 && round % 2 == 0 && !Unjournaled(p, bare)) return false;
    if (i == 0) RemovePrivateTempFolder(bare);
  }
  for (const auto& p : ours)
    if (!WithWindow(p, work + "window-" + p.key + n + "\\") || !DecodeOnly(p)) return false;
  if (!LogOnly()) return false;
  // The written route knows only HUF.
  for (const auto& p : ours)
    if (written && p.key == "huf" && !WrittenRoute(p, work + "written" + n + "\\")) return false;
  if (!m_wizardProgram.empty() && !Wizard(work + "wizard" + n, round)) return false;
  // Our stubs and NSIS's by turns, in the order given.
  for (size_t i = 0; i < std::max(stubs.size(), nsis.size()); ++i) {
    if (i < stubs.size() && !InstallSilent(stubs[i], "stub:", work + "stub" + std::to_string(i) + n))
      return false;
    if (i < nsis.size() && !InstallSilent(nsis[i], "nsis:", work + "nsis-" + nsis[i].key + n))
      return false;
  }
  return CopyFloor(work + "copy" + n + "\\");
}

// over's median against under's; a target is an upper bound.
void Bench::Ratio(const std::string& what, const std::string& over, const std::string& under,
                  double target) const {
  double a = MedianOf(over), b = MedianOf(under);
  if (a <= 0 || b <= 0) return;
  std::printf("  %-52s %6.3fx", what.c_str(), a / b);
  if (target > 0) std::printf("   target <= %.2fx: %s", target, a / b <= target ? "met" : "MISSED");
  std::printf("\n");
}

void Bench::Report() const {
  double copy = MedianOf("copy"), lzma = MedianOf("nsis:lzma");
  // Our installations first, then the patches, the parts, the peers, the floor.
  static const std::vector<std::string> order = {
      "install:", "inside:", "install-", "inside-", "window:", "patch", "grow",
      "decode:",  "log",     "written",  "wizard",  "stub:",   "nsis:", "copy"};
  auto rank = [&](const Row& r) {
    for (size_t i = 0; i < order.size(); ++i)
      if (r.key.rfind(order[i], 0) == 0) return i;
    return order.size();
  };
  std::vector<Row> rows = m_rows;
  std::stable_sort(rows.begin(), rows.end(),
                   [&](const Row& x, const Row& y) { return rank(x) < rank(y); });
  std::printf("seconds per run:\n");
  for (const auto& r : rows) {
    std::printf("%-44s", r.label.c_str());
    for (double t : r.seconds) std::printf(" %6.2f", t);
    double m = Median(r.seconds);
    std::printf("   median %6.2f s", m);
    if (lzma > 0) std::printf("   %5.2fx NSIS lzma", m / lzma);
    std::printf("   %5.2fx CopyFileA\n", m / copy);
  }
  std::printf("ratios of the medians:\n");
  Ratio("zstd install / NSIS solid lzma install", "install:zstd", "nsis:lzma", 0.6);
  Ratio("zstd install / HUF install", "install:zstd", "install:huf", 1.0);
  Ratio("zstd max install / NSIS solid lzma install", "install:zstd-max", "nsis:lzma");
  Ratio("HUF install / NSIS solid lzma install", "install:huf", "nsis:lzma");
  Ratio("NSIS solid lzma install / NSIS zlib install", "nsis:lzma", "nsis:zlib");
  Ratio("patch / our installation (process)", "patch", "install:" + ours[0].key, 1.05);
  Ratio("patch / our installation (alone)", "patch-inside", "inside:" + ours[0].key);
  // What the journal's flushes cost: each against the build without them.
  Ratio("install with journal / without flushes (process)", "install:" + ours[0].key,
        "install-unflushed", 1.15);
  Ratio("install with journal / without flushes (alone)", "inside:" + ours[0].key,
        "inside-unflushed", 1.15);
  Ratio("patch with journal / without flushes (process)", "patch", "patch-unflushed", 1.15);
  Ratio("patch with journal / without flushes (alone)", "patch-inside", "patch-unflushed-inside",
        1.15);
  // The shipping (i686) stub against the x86_64 one, and NSIS's two.
  for (const auto& p : stubs)
    if (p.key.rfind("x86:", 0) == 0)
      Ratio("i686 / x86_64 stub install, " + p.label.substr(0, p.label.find(',')), "stub:" + p.key,
            "stub:x64:" + p.key.substr(4), 1.15);
  Ratio("zstd x64 stub install / NSIS solid lzma install", "stub:x64:zstd", "nsis:lzma");
  Ratio("zstd x86 stub install / NSIS solid lzma x86", "stub:x86:zstd", "nsis:lzma-x86");
  Ratio("NSIS solid lzma x86 / amd64 install", "nsis:lzma-x86", "nsis:lzma");
  Ratio("NSIS zlib x86 / amd64 install", "nsis:zlib-x86", "nsis:zlib");
  std::printf("engine peak memory (progress bar runs): working set %.1f MiB, commit %.1f MiB\n",
              peakWs, peakCommit);
}

int Run(int argc, char** argv) {
  Bench bench;
  int repeat = 3;
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    if ((a == "--ours" || a == "--stub" || a == "--nsis") && i + 1 < argc)
      (a == "--ours" ? bench.ours : a == "--stub" ? bench.stubs : bench.nsis)
          .push_back(ParseProgram(argv[++i]));
    else if (a == "--repeat" && i + 1 < argc)
      repeat = std::max(1, std::atoi(argv[++i]));
    else if (a == "--written")
      bench.written = true;
    else if (a == "--wizard")
      bench.wizard = true;
  }
  bench.files = ListCorpus(argv[2]);
  uint64_t total = 0;
  for (const auto& f : bench.files) total += f.size;
  if (bench.files.empty()) {
    std::fprintf(stderr, "no files in %s\n", argv[2]);
    return 1;
  }
  std::printf("corpus: %zu files in %zu folders, %.1f MB; %d rounds\n", bench.files.size(),
              CountFolders(bench.files), total / 1e6, repeat);
  bench.work = CreatePrivateTempFolder();
  bool ok = bench.Prepare();
  for (int round = 0; ok && round < repeat; ++round) ok = bench.Round(round);
  if (ok) bench.Report();
  RemovePrivateTempFolder(bench.work);
  return ok ? 0 : 1;
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
  std::fprintf(stderr, "usage: bench_install run CORPUS [--ours KEY=EXE]... [--stub ARCH:KEY=EXE]...\n"
                       "                          [--nsis KEY=EXE]... [--repeat N] [--written] [--wizard]\n"
                       "       bench_install big MEGABYTES\n");
  return 2;
}
