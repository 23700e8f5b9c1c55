#include "archive/format/file_path.h"

#include <system_error>

namespace archive {

#if defined(_WIN32) && defined(ARCHIVE_UTF8_PATHS)

std::filesystem::path FilePath(const std::string& path) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
}

std::string PathString(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(reinterpret_cast<const char*>(utf8.data()), utf8.size());
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(FilePath(path).c_str(), wideMode.c_str());
}

bool RemoveFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::remove(FilePath(path), ec) && !ec;
}

#else

std::filesystem::path FilePath(const std::string& path) { return std::filesystem::path(path); }

std::string PathString(const std::filesystem::path& path) { return path.string(); }

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

#endif

} // namespace archive
