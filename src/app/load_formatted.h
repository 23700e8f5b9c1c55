#pragma once

#include <windows.h>

#include <string>

// The string-table text with the given id, its "%s" replaced by text (null
// counts as empty). Texts without "%s" come back unchanged.
std::string LoadFormatted(UINT id, const char* text);
