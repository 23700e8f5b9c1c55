// The program's own folder inside the system's temporary directory: every
// temporary file of an installation goes there, so nothing collides with
// other programs' files and the clean-up removes only what we made.
#pragma once

#include <string>

// The system's temporary directory in a form the code page can write (the
// path or its short form, ending in '\'); empty when it has none.
std::string SystemTempFolder();
// The temporary directory as the user knows it, for messages.
std::string SystemTempFolderForDisplay();

// A folder of our own inside the system's temporary directory (ends in '\');
// empty on failure. When the code page cannot write the temporary directory
// it logs so and fails with ERROR_NO_UNICODE_TRANSLATION.
std::string CreatePrivateTempFolder();

// Removes a folder (ending in '\') with everything in it, read-only files
// too; ignores failures.
void RemoveFolderTree(const std::string& folder);

// Removes the folder and everything in it (ignores failures). Only folders
// inside the system's temporary directory are touched.
void RemovePrivateTempFolder(const std::string& path);
