#include "utf8_args.h"

#include <filesystem>
#include <system_error>

#include "archive/format/file_path.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace mksetup {

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 0; i < count; ++i)
      m_words.push_back(archive::PathString(std::filesystem::path(wide[i])));
    LocalFree(wide);
  }
  m_consoleCodePage = GetConsoleOutputCP();
  if (m_consoleCodePage) SetConsoleOutputCP(CP_UTF8);
#endif
  if (m_words.empty()) m_words.assign(argv, argv + argc);
  for (std::string& word : m_words) m_pointers.push_back(word.data());
  m_pointers.push_back(nullptr);
}

Utf8Arguments::~Utf8Arguments() {
#ifdef _WIN32
  if (m_consoleCodePage) SetConsoleOutputCP(m_consoleCodePage);
#endif
}

ExistingFolder::ExistingFolder() : CLI::Validator("DIR") {
  func_ = [](std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(archive::FilePath(path), ec)) return std::string();
    return "Directory does not exist: " + path;
  };
}

} // namespace mksetup
