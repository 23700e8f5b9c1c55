#pragma once

// True when something matches the path, which may hold wildcards; folders
// match as well as files. An empty name matches nothing.
bool FileExists(const char* path);
