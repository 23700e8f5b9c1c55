#include "app/system_library.h"

namespace {

// Flags of SetDefaultDllDirectories and LoadLibraryExA, which older SDKs
// and the oldest supported Windows do not know.
constexpr DWORD kSearchSystem32 = 0x00000800;    // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr DWORD kAlteredSearchPath = 0x00000008; // LOAD_WITH_ALTERED_SEARCH_PATH

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);

// Set once the default directories are the system folder only.
bool g_systemOnly = false;

FARPROC Kernel32Function(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? GetProcAddress(kernel, name) : nullptr;
}

} // namespace

// DLLs that Windows components (common controls, the shell, COM, the
// security and profile functions) load by name after start-up, and that are
// not known DLLs on every supported Windows.
const char* const kPreloadedLibraries[] = {
    "uxtheme.dll", "msimg32.dll",   "dwmapi.dll",   "version.dll",  "userenv.dll",  "setupapi.dll",
    "propsys.dll", "cryptbase.dll", "profapi.dll",  "apphelp.dll",  "oleacc.dll",   "clbcatq.dll",
    "comres.dll",  "sspicli.dll",   "ntmarta.dll",  "secur32.dll",  "linkinfo.dll", "ntshrui.dll",
    "cscapi.dll",  "srvcli.dll",    "shfolder.dll", "wintrust.dll", "cryptsp.dll",
};
const unsigned kPreloadedLibraryCount = sizeof kPreloadedLibraries / sizeof kPreloadedLibraries[0];

void RestrictDllSearch() {
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(Kernel32Function("SetDefaultDllDirectories")));
  if (setDefault && setDefault(kSearchSystem32)) {
    g_systemOnly = true;
    return;
  }
  auto setDirectory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(Kernel32Function("SetDllDirectoryA")));
  if (setDirectory) setDirectory("");
}

HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH + 32];
  UINT n = GetSystemDirectoryA(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  if (path[n - 1] != '\\') path[n++] = '\\';
  for (const char* p = name; *p && n < sizeof path - 1; ++p) path[n++] = *p;
  path[n] = '\0';
  // A missing DLL must not bring up the system's error box.
  UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Without the narrowed defaults the DLL's own imports are looked for in its
  // folder first (the altered search path), not in the program's.
  HMODULE module = LoadLibraryExA(path, nullptr, g_systemOnly ? 0 : kAlteredSearchPath);
  SetErrorMode(mode);
  return module;
}

void PreloadSystemLibraries() {
  for (unsigned i = 0; i < kPreloadedLibraryCount; ++i) LoadSystemLibrary(kPreloadedLibraries[i]);
}
