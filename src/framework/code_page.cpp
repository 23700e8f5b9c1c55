#include "framework/code_page.h"

#include <windows.h>

#include <vector>

bool ToCodePage(const std::wstring& text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  // A UTF-8 code page writes every character and takes neither the flag nor
  // the default-character check.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* check = utf8 ? nullptr : &usedDefault;
  int n =
      WideCharToMultiByte(CP_ACP, flags, text.data(), int(text.size()), nullptr, 0, nullptr, check);
  if (n <= 0 || usedDefault) return false;
  out.resize(size_t(n));
  n = WideCharToMultiByte(CP_ACP, flags, text.data(), int(text.size()), &out[0], n, nullptr, check);
  if (n <= 0 || size_t(n) != out.size() || usedDefault) {
    out.clear();
    return false;
  }
  return true;
}

std::string ToDisplayText(const std::wstring& text) {
  if (text.empty()) return {};
  int n =
      WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring FromCodePage(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &out[0], n);
  return out;
}

std::string CodePagePath(const std::wstring& path) {
  std::string ansi;
  if (ToCodePage(path, ansi)) return ansi;
  DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::vector<wchar_t> buffer(size);
  DWORD n = GetShortPathNameW(path.c_str(), buffer.data(), size);
  if (n == 0 || n >= size) return {};
  // Volumes without short names hand back the long path unchanged.
  if (!ToCodePage(std::wstring(buffer.data(), n), ansi)) return {};
  return ansi;
}
