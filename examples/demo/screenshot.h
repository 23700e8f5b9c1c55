// Saves what the screen shows of one window as a 24-bit BMP file.
#pragma once

#include <windows.h>

#include <string>

bool SaveWindowBitmap(HWND window, const std::string& path);
