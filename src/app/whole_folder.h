// A target folder as a user types it or an administrator passes it with
// /D=, made absolute and whole before anything is written there.
#pragma once

#include <cstddef>
#include <string>

enum class FolderForm {
  Whole,    // `folder` holds it
  Relative, // empty, relative, drive-relative ("C:x", "\x") or a drive's root
  TooLong,  // it, or it with the longest name below it, passes MAX_PATH
};

// Blanks around it and quotes stripped, GetFullPathName applied (".." and
// "/" resolved), trailing separators stripped. `room`: the characters the
// longest path below the folder adds (its backslash included); the folder
// with them must stay inside MAX_PATH.
FolderForm MakeWholeFolder(const std::string& typed, size_t room, std::string& folder);
