// The example product: a tiny program that the example installer carries.
//   beispiel.exe -install    records its uninstall entry, as a real product would
//   beispiel.exe -uninstall  removes the entry and the product key again
//   beispiel.exe             says hello
#include <windows.h>

#include <cstring>
#include <string>

namespace {

const char kProduct[] = "Beispiel";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Beispiel";
const char kProductKey[] = "Software\\Tarnivex\\Beispiel";

std::string OwnPath() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

void SetString(HKEY key, const char* name, const std::string& value) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 DWORD(value.size() + 1));
}

void RecordUninstallEntry() {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return;
  SetString(key, "DisplayName", kProduct);
  SetString(key, "UninstallString", OwnPath() + " -uninstall");
  RegCloseKey(key);
}

void RemoveEntries() {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
  RegDeleteKeyA(HKEY_CURRENT_USER, kProductKey);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmdLine, int) {
  if (std::strstr(cmdLine, "-uninstall")) {
    if (MessageBoxA(nullptr, "Soll Beispiel entfernt werden?", kProduct,
                    MB_YESNO | MB_ICONQUESTION) == IDYES) {
      RemoveEntries();
      MessageBoxA(nullptr, "Beispiel wurde aus der Registrierung entfernt.", kProduct, MB_OK);
    }
    return 0;
  }
  if (std::strstr(cmdLine, "-install")) {
    RecordUninstallEntry();
    return 0;
  }
  MessageBoxA(nullptr, "Beispiel 1.0 l\xE4uft.", kProduct, MB_OK | MB_ICONINFORMATION);
  return 0;
}
