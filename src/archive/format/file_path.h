// How the archive code turns its path strings into files. On POSIX a path
// string is bytes, as the system takes them. On Windows it is in the ANSI
// code page (the stub's tests and tools), or UTF-8 when the library is built
// with ARCHIVE_UTF8_PATHS (mksetup, whose paths come from UTF-8 manifests and
// command lines); the files are then opened through the wide API.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace archive {

// fopen with the path string as described above.
std::FILE* OpenFile(const std::string& path, const char* mode);

// The path string as a path object, and back.
std::filesystem::path FilePath(const std::string& path);
std::string PathString(const std::filesystem::path& path);

// Deletes a file; false when it could not be deleted.
bool RemoveFile(const std::string& path);

} // namespace archive
