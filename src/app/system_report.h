#pragma once

#include <windows.h>

// The machine report written into the install log at start-up, in this order:
// operating system, memory, processors, display modes, device drivers. Each
// routine only writes log lines; a value that cannot be read leaves no line.
void ReportOperatingSystem();
void ReportMemory();
void ReportProcessors();
void ReportDisplayModes();
void ReportDrivers();

// Registry reads of the report. Unlike the shared registry routines they say
// whether the value could be read.

// Reads up to 4 bytes of the value, whatever its type.
bool TryReadRegistryDword(HKEY root, const char* subKey, const char* valueName, DWORD& value);

// Asks only for the value's type.
bool QueryRegistryValueType(HKEY root, const char* subKey, const char* valueName, DWORD& type);

// Reads a text value of at most *size bytes, terminator included, into buffer
// (which holds *size bytes); *size is in and out as for RegQueryValueExA.
// REG_EXPAND_SZ values are expanded. A value or expansion that does not fit
// fails, and the buffer then always holds a terminated text.
bool TryReadRegistryString(HKEY root, const char* subKey, const char* valueName, char* buffer,
                           DWORD* size);
