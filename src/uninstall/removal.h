// Removing an installation by its uninstall list: exactly the files,
// shortcuts and registry keys the list names, then the folders it names if
// they are empty. Nothing goes while one of its files is in use; the files
// in the installation folder are first moved aside under the journal, so
// that a run cut off can be undone and run again. Every path must lie
// inside the installation folder, or be a shortcut in (or a folder below)
// the user's desktop and start-menu folders, whatever the list says: a list
// changed after the installation deletes nothing else.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/format/uninstall_blocks.h"

struct RemovalRequest {
  std::string installPath; // the uninstaller's folder, ending in '\'
  std::string productName;
  const archive::UninstallList* list = nullptr;
  // The uninstaller's own file in installPath; it goes too. When it cannot
  // be deleted (it runs) it is moved into moveAsideFolder (ending in '\';
  // may be empty) and removed at the next restart.
  std::string uninstaller;
  std::string moveAsideFolder;
  HWND owner = nullptr; // of the question for a file in use
  std::string caption;
  // Called after each item with the items done and their number.
  std::function<void(size_t, size_t)> progress;
};

struct RemovalResult {
  bool refused = false;       // a file stayed in use: nothing was removed
  bool nothingToDo = false;   // nothing the list names was there any more
  bool restartNeeded = false; // something is removed only at the next restart
  bool failed = false;        // something could neither be removed nor scheduled
  // Folders that stay because they hold files the installation did not write,
  // and junctions (reparse points) inside the installation folder: nothing
  // behind one is touched, as it may lead anywhere.
  std::vector<std::string> keptFolders;
  // What could neither be removed nor scheduled, and what the list named
  // outside the places allowed (logged, never touched).
  std::vector<std::string> notRemoved;
};

RemovalResult RemoveInstallation(const RemovalRequest& request);

// Every file the uninstaller made of itself or its log is removed at the
// next restart: the files in `folder` (ending in '\'), then the folder.
void ScheduleFolderRemoval(const std::string& folder);
