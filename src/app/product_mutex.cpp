#include "app/product_mutex.h"

const char kProductBusy[] =
    "Setup, ein Patch oder die Deinstallation von \"%s\" l\xE4"
    "uft gerade. Setup kann nicht fortfahren. Bitte starten Sie Setup erneut, wenn dieser "
    "Vorgang beendet ist.";

namespace {

// Backslashes would name a namespace.
std::string MutexName(const std::string& productName) {
  std::string name = "Tarnivex Setup " + productName;
  for (char& c : name)
    if (c == '\\') c = '/';
  return "Global\\" + name;
}

} // namespace

bool AcquireProductMutex(const std::string& productName) {
  // Taken once per process: the recovery of a cut-off run takes it before
  // the wizard that then claims it again.
  static std::string held;
  if (!held.empty() && held == productName) return true;
  // Deliberately never closed: the system releases it with the process.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, MutexName(productName).c_str());
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return false;
  }
  // Made by another user with no access for us: that run holds it.
  if (!mutex && GetLastError() == ERROR_ACCESS_DENIED) return false;
  if (mutex) held = productName;
  return true;
}
