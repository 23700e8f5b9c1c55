#pragma once

// True when something matches the path, which may hold wildcards; folders
// match as well as files.
bool FileExists(const char* path);
