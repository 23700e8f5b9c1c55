// The uninstaller removes its own file: started in the installation folder,
// it copies itself into a private folder in TEMP, starts the copy with the
// path it came from ("/_?=") and waits for it, so that the process an
// administrator's tool started ends only when the uninstall is done, with
// the copy's exit code. The copy removes the installation and the original,
// and leaves itself and its folder to be removed at the next restart.
#pragma once

#include <string>

#include "archive/format/trailer.h"

// Runs the copy and gives its exit code: one of the table's codes, and
// "failed" for anything else (a copy that crashed). False when no copy could
// be made or started (the caller then works in place). The process leaves
// its current folder for the copy's before it waits, so that the
// installation folder can go even when it was started from there.
bool RunFromTemporaryCopy(int& exitCode);

// The copy's check of the path it was given: an uninstaller of the same
// product with the same list, so a copy started by hand cannot be pointed at
// another folder.
bool IsOriginalOf(const std::string& origin, const archive::ArchiveTrailer& own);
