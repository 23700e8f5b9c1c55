// The program's own folder inside the system's temporary directory: every
// temporary file of an installation goes there, so nothing collides with
// other programs' files and the clean-up removes only what we made.
#pragma once

#include <string>

// A folder of our own inside the system's temporary directory (ends in '\');
// empty on failure.
std::string CreatePrivateTempFolder();

// Removes a folder (ending in '\') with everything in it, read-only files
// too; ignores failures.
void RemoveFolderTree(const std::string& folder);

// Removes the folder and everything in it (ignores failures). Only folders
// inside the system's temporary directory are touched.
void RemovePrivateTempFolder(const std::string& path);
