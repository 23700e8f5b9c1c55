// The command line in UTF-8 on every system. On Windows argv is in the ANSI
// code page, which cannot hold every file name: the words are taken from the
// wide command line instead, and the console shows UTF-8 while mksetup runs.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace mksetup {

class Utf8Arguments {
public:
  Utf8Arguments(int argc, char** argv);
  ~Utf8Arguments();
  Utf8Arguments(const Utf8Arguments&) = delete;
  Utf8Arguments& operator=(const Utf8Arguments&) = delete;
  int Count() const { return int(m_words.size()); }
  char** Words() { return m_pointers.data(); }

private:
  std::vector<std::string> m_words;
  std::vector<char*> m_pointers;
  unsigned m_consoleCodePage = 0; // to restore on Windows
};

// CLI11's folder check for UTF-8 paths.
struct ExistingFolder : CLI::Validator {
  ExistingFolder();
};

} // namespace mksetup
