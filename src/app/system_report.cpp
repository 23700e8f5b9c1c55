#include "app/system_report.h"

#include "app/install_log.h"

#include "framework/format.h"

namespace {

constexpr double kMegabyte = 1048576.0;

double Megabytes(SIZE_T bytes) { return static_cast<double>(bytes) / kMegabyte; }

// Reads a processor text with the usual limit of 128 bytes into a 256-byte buffer.
bool ReadProcessorText(const char* key, const char* valueName, char (&text)[256]) {
  DWORD size = 128;
  return TryReadRegistryString(HKEY_LOCAL_MACHINE, key, valueName, text, &size);
}

// Logs the instances 0000, 0001, ... of one device class up to the first gap.
void ReportDriverClass(const char* className) {
  for (int instance = 0;; ++instance) {
    std::string key =
        FormatString("SYSTEM\\CurrentControlSet\\Control\\Class\\%s\\%04i", className, instance);
    char description[256] = "";
    char date[128] = "";
    char provider[128] = "";
    DWORD size = sizeof description;
    if (!TryReadRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), "DriverDesc", description, &size))
      return;
    // A missing date or provider stays empty.
    size = sizeof date;
    TryReadRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), "DriverDate", date, &size);
    size = sizeof provider;
    TryReadRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), "ProviderName", provider, &size);
    InstallLog("Driver : [%s] [%s] [%s]", description, provider, date);
  }
}

} // namespace

void ReportOperatingSystem() {
  DWORD version = GetVersion();
  unsigned major = LOBYTE(LOWORD(version));
  unsigned minor = HIBYTE(LOWORD(version));
  unsigned build = HIWORD(version);
  if ((version & 0x80000000u) == 0)
    InstallLog("Microsoft Windows NT %u.%u (Build: %u)", major, minor, build);
  else if (major < 4)
    InstallLog("Microsoft Win32s %u.%u (Build: %u)", major, minor, build & 0x7FFF);
  else
    InstallLog("Microsoft Windows 9x %u.%u", major, minor);
  InstallLog("");
}

void ReportMemory() {
  MEMORYSTATUS status{};
  status.dwLength = sizeof status;
  GlobalMemoryStatus(&status);
  InstallLog("Physical Memory : %.2fMB/%.2fMB [%i%%]", Megabytes(status.dwAvailPhys),
             Megabytes(status.dwTotalPhys), static_cast<int>(status.dwMemoryLoad));
  InstallLog("PageFile Memory : %.2fMB/%.2fMB", Megabytes(status.dwAvailPageFile),
             Megabytes(status.dwTotalPageFile));
  InstallLog("Virtual  Memory : %.2fMB/%.2fMB", Megabytes(status.dwAvailVirtual),
             Megabytes(status.dwTotalVirtual));
  InstallLog("");
}

void ReportProcessors() {
  for (int number = 0; number < 10; ++number) {
    std::string key = FormatString("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\%i", number);
    DWORD speed = 0;
    if (TryReadRegistryDword(HKEY_LOCAL_MACHINE, key.c_str(), "~MHz", speed))
      InstallLog("Approximated CPU Speed: %iMHz", static_cast<int>(speed));
    char text[256];
    if (ReadProcessorText(key.c_str(), "ProcessorNameString", text))
      InstallLog("Processor Name        : [%s]", text);
    if (ReadProcessorText(key.c_str(), "VendorIdentifier", text))
      InstallLog("Vendor Identifier     : [%s]", text);
    if (ReadProcessorText(key.c_str(), "Identifier", text))
      InstallLog("Stepping              : [%s]", text);
  }
  InstallLog("");
}

void ReportDisplayModes() {
  for (DWORD mode = 0;; ++mode) {
    DEVMODEA settings{};
    settings.dmSize = sizeof settings;
    if (!EnumDisplaySettingsA(nullptr, mode, &settings)) break;
    InstallLog("Display Mode : [%03i] [%4ix%4ix%2i@%3i]", static_cast<int>(mode),
               static_cast<int>(settings.dmPelsWidth), static_cast<int>(settings.dmPelsHeight),
               static_cast<int>(settings.dmBitsPerPel),
               static_cast<int>(settings.dmDisplayFrequency));
  }
}

void ReportDrivers() {
  HKEY classes = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Class", &classes) !=
      ERROR_SUCCESS)
    return;
  char className[128];
  for (DWORD index = 0; RegEnumKeyA(classes, index, className, sizeof className) == ERROR_SUCCESS;
       ++index)
    ReportDriverClass(className);
  RegCloseKey(classes);
}
