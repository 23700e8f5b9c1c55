// Folders the system hands over (the folder browser's choice, the program
// files folder) in a form the code page can write, or a clear refusal.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <string>

// The file-system folder an item ID list names, in full; empty when it names
// none (a printer, "Network").
std::wstring FolderOfItemList(LPCITEMIDLIST item);

// The folder as CodePagePath writes it. When it has no such form the log says
// "<what> not usable [<folder>]", the user sees string 1 with the folder's
// name (caption `caption`, owner `owner`) and the result is empty.
std::string UsableFolder(const std::wstring& folder, const char* what, HWND owner,
                         const std::string& caption);
