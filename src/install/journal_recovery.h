// What a later start does with the journal of a run that did not finish:
// without its commit the product folder goes back to the release the run
// started from (backups back, new files and folders gone); with it, the run
// is finished (a patch's release recorded, the backups deleted; the files
// a committed uninstall moved aside go with them, and the uninstaller, which
// it keeps to the end, removes the rest when it is run again). Either way the
// work folder goes last. Every step can be repeated: a recovery cut off in
// turn is taken up again by the next start.
#pragma once

#include <cstdint>
#include <string>

enum class Recovery {
  Nothing,       // no journal: nothing was interrupted
  Undone,        // the folder is back at the release the run started from
  Finished,      // the run had committed; it is complete now
  RestartNeeded, // files in use wait for the next restart; the journal stays
  Damaged,       // the journal cannot be trusted: nothing was touched
};

// installPath ends in '\'. productName's key gets the release a committed
// patch went to.
Recovery RecoverInterruptedRun(const std::string& installPath, const std::string& productName);

// The journal of this process's own run, which failed or was cancelled:
// undone as above. False when a file had to wait for a restart.
bool UndoOwnRun(const std::string& installPath);

// The journal, then the work folder with the backups, of a run that has
// committed (or never began).
void RemoveJournalWork(const std::string& installPath);

// A patch that has committed: productName's key records toRelease (on disk
// before the journal goes), then the journal and the backups go.
void FinishCommittedPatch(const std::string& installPath, const std::string& productName,
                          uint32_t toRelease);

// The journal, then the work folder with everything in it: a cut between
// leaves a work folder without a journal, which the next start removes.
void RemoveJournalWork(const std::string& installPath);
