#include "setup/flash_plugin.h"

#include <vector>

#include "app/files.h"
#include "app/install_log.h"
#include "app/load_formatted.h"
#include "app/process.h"
#include "app/registry.h"
#include "app/system_library.h"
#include "app/unattended.h"
#include "framework/format.h"
#include "res/resource.h"
#include "setup/setup_dialog.h"

namespace {

// The version the carried control has; only its major part is compared.
const WORD kRequiredVersion[4] = {7, 0, 14, 0};

std::string VersionText(DWORD ms, DWORD ls) {
  return FormatString("%i.%i.%i.%i", int(HIWORD(ms)), int(LOWORD(ms)), int(HIWORD(ls)),
                      int(LOWORD(ls)));
}

void ReplaceAll(std::string& text, const std::string& marker, const std::string& value) {
  for (size_t at = text.find(marker); at != std::string::npos;
       at = text.find(marker, at + value.size()))
    text.replace(at, marker.size(), value);
}

// The version functions, from the system folder's VERSION.dll: loaded when
// needed rather than imported, so that a version.dll beside the program can
// never be the one that runs.
struct VersionFunctions {
  using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  SizeFn size = nullptr;
  InfoFn info = nullptr;
  QueryFn query = nullptr;
};

template <typename Fn> Fn Function(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const VersionFunctions* LoadVersionFunctions() {
  static VersionFunctions functions;
  static bool loaded = false;
  if (!loaded) {
    loaded = true;
    if (HMODULE module = LoadSystemLibrary("version.dll")) {
      functions.size = Function<VersionFunctions::SizeFn>(module, "GetFileVersionInfoSizeA");
      functions.info = Function<VersionFunctions::InfoFn>(module, "GetFileVersionInfoA");
      functions.query = Function<VersionFunctions::QueryFn>(module, "VerQueryValueA");
    }
  }
  const VersionFunctions& f = functions;
  return f.size && f.info && f.query ? &f : nullptr;
}

void ReadFileVersion(const std::string& path, DWORD& ms, DWORD& ls) {
  const VersionFunctions* version = LoadVersionFunctions();
  if (!version) return;
  DWORD handle = 0;
  DWORD size = version->size(path.c_str(), &handle);
  if (size == 0) return;
  std::vector<char> info(size);
  if (!version->info(path.c_str(), 0, size, info.data())) return;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!version->query(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO))
    return;
  ms = fixed->dwFileVersionMS;
  ls = fixed->dwFileVersionLS;
}

} // namespace

InstalledFlash FindInstalledFlash() {
  InstalledFlash installed;
  std::string classId =
      ReadRegistryString(HKEY_CLASSES_ROOT, "ShockwaveFlash.ShockwaveFlash\\CLSID", nullptr);
  std::string server = ReadRegistryString(
      HKEY_CLASSES_ROOT, ("CLSID\\" + classId + "\\InprocServer32").c_str(), nullptr);
  installed.found = !server.empty() && FileExists(server.c_str());
  if (installed.found) ReadFileVersion(server, installed.versionMS, installed.versionLS);
  return installed;
}

bool IsFlashAccepted(const InstalledFlash& installed) { return HIWORD(installed.versionMS) >= 7; }

std::string FlashQuestion(const InstalledFlash& installed) {
  std::string text = LoadFormatted(installed.found ? IDS_FLASH_OLD : IDS_FLASH_MISSING, nullptr);
  ReplaceAll(text, "VEROLD", VersionText(installed.versionMS, installed.versionLS));
  ReplaceAll(text, "VERNEW",
             VersionText(MAKELONG(kRequiredVersion[1], kRequiredVersion[0]),
                         MAKELONG(kRequiredVersion[3], kRequiredVersion[2])));
  return text;
}

std::string FlashInfCommand(const std::string& tempPath, const std::string& infFile) {
  return SystemProgram("rundll32.exe") + " setupapi,InstallHinfSection DefaultInstall 132 " +
         tempPath + infFile;
}

std::string FlashRegistrationCommand(const std::string& tempPath, const std::string& registrar,
                                     const std::string& systemDirectory,
                                     const std::string& control) {
  return "\"" + tempPath + registrar + "\" \"" + systemDirectory + "\\macromed\\flash\\" + control +
         "\" /s";
}

bool SetupDialog::CheckFlashPlugin() {
  InstalledFlash installed = FindInstalledFlash();
  m_bInstallFlash = false;
  if (IsFlashAccepted(installed)) return true;
  // Unattended: the product needs it, so it is installed.
  if (AskUser(m_hWnd, FlashQuestion(installed), m_strCaption.c_str(), MB_YESNO | MB_ICONINFORMATION,
              IDYES) == IDNO)
    return false;
  m_bInstallFlash = true;
  // The temporary folder is made by the installation; the command is
  // completed there, once its path is known.
  return true;
}

bool SetupDialog::InstallFlashPlugin() {
  InstallLog("Installing Shockwave Flash");
  // The control goes into the system folder. A per-user setup runs without
  // administrator rights and asks Windows for them for these two commands
  // alone; a declined request fails the step like a command that cannot start.
  const bool elevate = m_trailer.extension.product.scope == archive::InstallScope::User;
  if (elevate) InstallLog("Asking for administrator rights for the plug-in");
  auto run = [&] {
    InstallLog("%s", m_strFlashCommand.c_str());
    return elevate ? RunProcessElevated(m_hWnd, m_strFlashCommand)
                   : RunProcess(m_strFlashCommand.c_str(), false);
  };
  m_strFlashCommand = FlashInfCommand(m_strTempPath, m_strFlashInf);
  if (!run()) return false;

  char systemDirectory[MAX_PATH] = "";
  GetSystemDirectoryA(systemDirectory, MAX_PATH);
  m_strFlashCommand = FlashRegistrationCommand(m_strTempPath, m_strFlashRegTool, systemDirectory,
                                               m_strFlashControl);
  return run();
}

void SetupDialog::ShowFlashRefusalPage() {
  m_bFlashRefused = true;
  ShowClosingPage(LoadFormatted(IDS_FLASH_REFUSED, nullptr));
}

void SetupDialog::ShowFlashFailurePage() {
  std::string text = LoadFormatted(IDS_FLASH_FAILED, nullptr);
  InstallLog("%s", text.c_str());
  SetExitCode(kExitFailed);
  ShowClosingPage(text);
}
