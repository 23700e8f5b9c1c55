#pragma once

#include "framework/format.h"

#include <windows.h>

#include <string>

// Appends one time-stamped line to "install.log" in the current directory:
// "dd/mm/yyyy hh:mm.ss", a tab, the formatted message and CR LF. The file is
// opened and closed on every call; when it cannot be opened the line is lost.
// Messages of any length are written whole.
void InstallLog(const char* fmt, ...) AFX_PRINTF_FORMAT(1, 2);

// The time stamp that starts a log line, tab included: "07/03/2005 09:05.03\t".
std::string FormatLogTimestamp(const SYSTEMTIME& time);
