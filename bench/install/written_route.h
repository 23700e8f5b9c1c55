// The installation route as first designed, kept for comparison only: the
// payload stream copied into a "TVO" file, decoded in place by HufDecodeFile,
// each entry written to the temporary folder, copied into the target with
// CopyFileA and deleted. Same log lines as the installer.
#pragma once

#include "install/payload_installer.h"

bool InstallByWrittenRoute(const InstallRequest& request);
