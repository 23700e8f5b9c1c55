// A named mutex per product that the setup and the patch hold while they
// run, so that the uninstaller can refuse to remove a product that is being
// installed or patched.
#pragma once

#include <windows.h>

#include <string>

// Takes the product's mutex for the life of the process (released when it
// ends); harmless when it cannot be made.
void HoldProductMutex(const std::string& productName);

// A setup or a patch of the product runs now.
bool ProductSetupRunning(const std::string& productName);
