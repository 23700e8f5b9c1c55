// Scratch folders, files and runs of the mksetup program for the tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mksetup_test {

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return m_path; }
  std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
  std::filesystem::path m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
std::vector<std::string> ListDir(const std::filesystem::path& dir);
// The files below dir, as sorted relative paths with '/'.
std::vector<std::string> ListTree(const std::filesystem::path& dir);

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};
// Runs the built mksetup with the arguments (each passed as one word), or
// the command $MKSETUP_UNDER_TEST names (shell words, for example
// "wine .../mksetup.exe").
RunResult RunMksetup(const std::vector<std::string>& args);

// Whether this build carries the two stubs mksetup ships (in
// share/tarnivex-setup beside the program); a build without them (the
// sanitizer preset) skips the tests that need real stubs.
bool ShippedStubsPresent();
#define SKIP_WITHOUT_SHIPPED_STUBS()                                                             \
  if (!::mksetup_test::ShippedStubsPresent())                                                    \
  GTEST_SKIP() << "this build ships no stubs"

} // namespace mksetup_test
