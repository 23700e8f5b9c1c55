// Writing a patch over an installed product through the installation's
// engine: the stream is checked, then decoded straight from the program file
// and each entry written; a new file goes straight into place, a changed one
// is written beside and renamed over the installed file, which is kept until
// the last entry is in place. New folders are made as the entries need them.
#pragma once

#include "install/payload_installer.h"

// request.installPath is the product's folder (ending in '\'); the patch
// works in a folder of its own that it makes inside it (request.tempPath is
// not used). Completed: every entry is in place. Otherwise the old version is
// back, new files and folders removed, before this returns; a file that
// could not be returned stays in the work folder, named in the log. The
// outcome's message is string 1 to show (none on a cancel).
InstallOutcome RunPayloadPatch(const InstallRequest& request);
