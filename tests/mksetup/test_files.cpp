#include "test_files.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace mksetup_test {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "mksetup-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(m_path, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> ListDir(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ListTree(const fs::path& dir) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(e.path().lexically_relative(dir).generic_string());
  std::sort(files.begin(), files.end());
  return files;
}

namespace {
std::string Quote(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
} // namespace

RunResult RunMksetup(const std::vector<std::string>& args) {
  TempDir io;
  const char* other = std::getenv("MKSETUP_UNDER_TEST");
  std::string command = other && *other ? std::string(other) : Quote(MKSETUP_EXE);
  for (const auto& a : args) command += " " + Quote(a);
  command += " >" + Quote(io / "out") + " 2>" + Quote(io / "err") + " </dev/null";
  int raw = std::system(command.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(io / "out");
  r.err = ReadFile(io / "err");
  if (other && *other) // a Windows build writes its lines with CR LF
    for (std::string* text : {&r.out, &r.err})
      for (size_t at; (at = text->find("\r\n")) != std::string::npos;) text->erase(at, 1);
  return r;
}

bool ShippedStubsPresent() {
  const std::filesystem::path folder =
      std::filesystem::path(MKSETUP_EXE).parent_path().parent_path() / "share/tarnivex-setup";
  return std::filesystem::exists(folder / "stub-x86.exe") &&
         std::filesystem::exists(folder / "stub-x64.exe");
}

} // namespace mksetup_test
