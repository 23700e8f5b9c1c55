// A named mutex per product that the setup, the patch and the uninstaller
// each take for their whole run, so that no two of them work on one product
// at the same time. The name lies in the global namespace: a setup started
// in another session (a service, another user's desktop) is seen as well.
#pragma once

#include <windows.h>

#include <string>

// Takes the product's mutex for the life of the process (the system releases
// it when the process ends). False when another run of the product holds
// it; true as well when it cannot be made at all, as nothing else can then,
// and when this process holds it already.
bool AcquireProductMutex(const std::string& productName);

// The refusal of a setup or a patch while another run of the product works
// (code page 1252).
extern const char kProductBusy[];
