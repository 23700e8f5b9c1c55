// printf-style formatting into a std::string; never overflows.
#pragma once

#include <cstdarg>
#include <string>

#if defined(__GNUC__)
#define AFX_PRINTF_FORMAT(fmt, args) __attribute__((format(ms_printf, fmt, args)))
#else
#define AFX_PRINTF_FORMAT(fmt, args)
#endif

std::string FormatString(const char* fmt, ...) AFX_PRINTF_FORMAT(1, 2);
std::string FormatStringV(const char* fmt, va_list args);
