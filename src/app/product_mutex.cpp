#include "app/product_mutex.h"

namespace {

// Backslashes would name a namespace.
std::string MutexName(const std::string& productName) {
  std::string name = "Tarnivex Setup " + productName;
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

} // namespace

void HoldProductMutex(const std::string& productName) {
  // Deliberately never closed: the system releases it with the process.
  CreateMutexA(nullptr, FALSE, MutexName(productName).c_str());
}

bool ProductSetupRunning(const std::string& productName) {
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, MutexName(productName).c_str());
  if (!mutex) return false;
  CloseHandle(mutex);
  return true;
}
