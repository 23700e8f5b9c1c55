// Finding the stubs installed with mksetup, relative to mksetup's own file.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "archive/format/file_path.h"
#include "commands.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace mksetup {

namespace {

// The mksetup program's own file; empty when the system does not say.
fs::path OwnFile() {
#ifdef _WIN32
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
    if (n == 0) return {};
    if (n < name.size()) return fs::path(name.substr(0, n));
    name.resize(name.size() * 2);
  }
#else
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
#endif
}

// $MKSETUP_STUB in UTF-8; empty when unset.
std::string StubVariable() {
#ifdef _WIN32
  const wchar_t* value = _wgetenv(L"MKSETUP_STUB");
  return value ? archive::PathString(fs::path(value)) : std::string();
#else
  const char* value = std::getenv("MKSETUP_STUB");
  return value ? value : std::string();
#endif
}

} // namespace

std::string StubFileName(const std::string& name) {
  return name == "x86" || name == "x64" ? "stub-" + name + ".exe" : std::string();
}

std::string StubFolder() {
  const fs::path self = OwnFile();
  if (self.empty()) return {};
#ifdef _WIN32
  return archive::PathString(self.parent_path());
#else
  return archive::PathString(self.parent_path().parent_path() / "share" / "tarnivex-setup");
#endif
}

bool FindStub(const std::string& option, std::string& path) {
  std::string choice = option;
  std::string origin = "--stub";
  if (choice.empty()) {
    choice = StubVariable();
    origin = "$MKSETUP_STUB";
  }
  if (choice.empty()) {
    choice = "x86";
    origin = "the default stub";
  }
  const std::string file = StubFileName(choice);
  if (file.empty()) {
    // A path. A missing one given on the command line is reported where it
    // is opened; one from the environment is named as such here.
    std::error_code ec;
    if (origin == "$MKSETUP_STUB" && !fs::is_regular_file(archive::FilePath(choice), ec)) {
      ReportError("the stub that $MKSETUP_STUB names does not exist: " + choice);
      return false;
    }
    path = choice;
    return true;
  }
  const std::string folder = StubFolder();
  if (!folder.empty()) {
    path = archive::PathString(archive::FilePath(folder) / file);
    std::error_code ec;
    if (fs::is_regular_file(archive::FilePath(path), ec)) return true;
  }
  ReportError("cannot find " + origin + " " + choice + " (" + file + "); looked for:\n  " +
              (folder.empty() ? "(the folder of the mksetup program is unknown)" : path) +
              "\nname a stub file with --stub PATH or $MKSETUP_STUB, or install mksetup with its "
              "stubs");
  return false;
}

} // namespace mksetup
