#include "app/product_placement.h"

#include <shlobj.h>

#include "app/registry.h"
#include "framework/code_page.h"

namespace {

const wchar_t kCurrentVersionW[] = L"Software\\Microsoft\\Windows\\CurrentVersion";

template <typename Fn> Fn Function(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  return handle ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
                : nullptr;
}

// The view flag that names the program's own view on 64-bit Windows, so that
// one place has one spelling.
REGSAM OwnView() {
#ifdef _WIN64
  return KEY_WOW64_64KEY;
#else
  return IsSixtyFourBitWindows() ? KEY_WOW64_32KEY : 0;
#endif
}

ProductPlacement g_placement = PlaceProduct({});

// The user's own program folder: FOLDERID_UserProgramFiles where the shell
// knows it (Windows 7 and later), else "Programs" in the local application
// data folder.
std::wstring UserProgramFiles() {
  using KnownFolderFn = HRESULT(WINAPI*)(REFGUID, DWORD, HANDLE, PWSTR*);
  // {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}
  static const GUID kUserProgramFiles = {
      0x5cd7aee2, 0x2219, 0x4a67, {0xb8, 0x5d, 0x6c, 0x9c, 0xe1, 0x56, 0x60, 0xcb}};
  if (auto known = Function<KnownFolderFn>("shell32.dll", "SHGetKnownFolderPath")) {
    PWSTR path = nullptr;
    HRESULT result = known(kUserProgramFiles, 0, nullptr, &path);
    std::wstring folder = SUCCEEDED(result) && path ? path : L"";
    CoTaskMemFree(path);
    if (!folder.empty()) {
      CreateDirectoryW(folder.c_str(), nullptr);
      return folder;
    }
  }
  wchar_t local[MAX_PATH] = L"";
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local)))
    return {};
  std::wstring folder = std::wstring(local) + L"\\Programs";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

} // namespace

bool IsSixtyFourBitWindows() {
#ifdef _WIN64
  return true;
#else
  // IsWow64Process came with XP SP2.
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  static const bool wow64 = [] {
    auto isWow64 = Function<IsWow64Fn>("kernel32.dll", "IsWow64Process");
    BOOL result = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &result) && result;
  }();
  return wow64;
#endif
}

ProductPlacement PlaceProduct(const archive::ProductBlock& product) {
  ProductPlacement p;
  const bool x64 = product.architecture == archive::ProductArchitecture::X64;
  const bool win64 = IsSixtyFourBitWindows();
  p.perUser = product.scope == archive::InstallScope::User;
  p.runsHere = !x64 || win64;
#ifndef _WIN64
  p.nativePrograms = x64 && win64;
#endif
  if (p.perUser)
    p.entry = {HKEY_CURRENT_USER, 0};
  else
    p.entry = {HKEY_LOCAL_MACHINE, x64 && win64 ? KEY_WOW64_64KEY : OwnView()};
  return p;
}

void SetProductPlacement(const ProductPlacement& placement) { g_placement = placement; }

const ProductPlacement& TheProductPlacement() { return g_placement; }

std::vector<RegistryPlace> UninstallEntryPlaces(const ProductPlacement& placement) {
  std::vector<RegistryPlace> places{placement.entry};
  std::vector<RegistryPlace> all;
  if (IsSixtyFourBitWindows())
    all = {{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY}, {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY}};
  else
    all = {{HKEY_LOCAL_MACHINE, 0}};
  all.push_back({HKEY_CURRENT_USER, 0});
  for (const RegistryPlace& place : all)
    if (!(place == placement.entry)) places.push_back(place);
  return places;
}

std::string PlaceText(const RegistryPlace& place, const std::string& subKey) {
  std::string text = (place.root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + subKey;
  if (place.view == KEY_WOW64_64KEY) text += " (64-bit view)";
  if (place.view == KEY_WOW64_32KEY) text += " (32-bit view)";
  return text;
}

std::wstring ProductsFolder(const ProductPlacement& placement) {
  if (placement.perUser) return UserProgramFiles();
  return ReadRegistryStringW(HKEY_LOCAL_MACHINE, kCurrentVersionW, L"ProgramFilesDir",
                             placement.entry.view);
}

namespace {

std::vector<std::wstring> MachineFolders() {
  std::vector<std::wstring> folders;
  for (REGSAM view : {REGSAM(KEY_WOW64_64KEY), REGSAM(KEY_WOW64_32KEY)}) {
    if (!IsSixtyFourBitWindows() && view == KEY_WOW64_32KEY) break;
    std::wstring folder = ReadRegistryStringW(HKEY_LOCAL_MACHINE, kCurrentVersionW,
                                              L"ProgramFilesDir",
                                              IsSixtyFourBitWindows() ? view : 0);
    if (!folder.empty()) folders.push_back(folder);
  }
  wchar_t windows[MAX_PATH] = L"";
  UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length > 0 && length < MAX_PATH) folders.push_back(windows);
  return folders;
}

bool IsWithin(const std::wstring& path, std::wstring folder) {
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return !folder.empty() && path.size() >= folder.size() &&
         _wcsnicmp(path.c_str(), folder.c_str(), folder.size()) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == L'\\');
}

} // namespace

bool UserMayInstallInto(const std::string& directory) {
  wchar_t full[MAX_PATH * 2] = L"";
  DWORD length = GetFullPathNameW(FromCodePage(directory).c_str(), MAX_PATH * 2, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 2) return false;
  std::wstring path = full;
  for (const std::wstring& folder : MachineFolders())
    if (IsWithin(path, folder)) return false;
  // The deepest folder that exists must take a new folder: made and removed.
  while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) break;
    // "C:\\" at the least.
    path.resize(slash <= 2 ? slash + 1 : slash);
    if (slash <= 2) break;
  }
  if (path.back() != L'\\') path += L'\\';
  // The process id in digits (std::to_wstring would link the C library's
  // whole wide printf).
  path += L"~setup-";
  for (DWORD id = GetCurrentProcessId(), scale = 1000000000; scale; scale /= 10)
    if (id >= scale || scale == 1) path += wchar_t(L'0' + id / scale % 10);
  if (CreateDirectoryW(path.c_str(), nullptr)) {
    RemoveDirectoryW(path.c_str());
    return true;
  }
  return GetLastError() != ERROR_ACCESS_DENIED;
}

NativeFileSystem::NativeFileSystem(const ProductPlacement& placement) {
  using DisableFn = BOOL(WINAPI*)(PVOID*);
  if (!placement.nativePrograms) return;
  // XP x64 and later; a 32-bit XP has no redirection to turn off.
  if (auto disable = Function<DisableFn>("kernel32.dll", "Wow64DisableWow64FsRedirection"))
    m_off = disable(&m_old) != FALSE;
}

NativeFileSystem::~NativeFileSystem() {
  using RevertFn = BOOL(WINAPI*)(PVOID);
  if (!m_off) return;
  if (auto revert = Function<RevertFn>("kernel32.dll", "Wow64RevertWow64FsRedirection"))
    revert(m_old);
}
