// Writing a patch over an installed product through the installation's
// engine: the stream is checked, then decoded straight from the program file
// and each entry written; a new file goes straight into place, a changed one
// is written beside and renamed over the installed file, which is kept until
// the last entry is in place. New folders are made as the entries need them.
#pragma once

#include <cstdint>
#include <string>

#include "install/payload_installer.h"
#include "install/replaced_files.h"

// The releases a patch goes from and to, and the files it writes besides its
// entries.
struct PatchRelease {
  std::string productName; // its key gets toRelease once the patch has committed
  uint32_t fromRelease = 0xFFFFFFFF;
  uint32_t toRelease = 0;
  // Once every entry is in place and before the commit: writes further files
  // into the staging folder (ending in '\') and adds their names, relative
  // to the product folder; they replace the installed ones through the
  // journal (the built-in uninstaller with its longer list).
  StagedFiles extraFiles;
};

// request.installPath is the product's folder (ending in '\'); the patch
// works in the journal's work folder inside it (request.tempPath is not
// used), and journals every step before it takes it. Completed: every entry
// is in place and the new release recorded. Otherwise the old version is
// back, new files and folders removed, before this returns; a file that
// could not be returned waits for the next restart, and the journal stays
// for the next start. The outcome's message is string 1 to show (none on a
// cancel). Refused without a message: a file it would replace is in use and
// the user cancelled (or a silent run waited in vain); nothing was written.
InstallOutcome RunPayloadPatch(const InstallRequest& request, const PatchRelease& release);
