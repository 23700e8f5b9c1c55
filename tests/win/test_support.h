#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// A fresh folder in the temporary directory that is the current directory
// while the object lives; removed with everything in it afterwards.
class ScratchDirectory {
public:
  ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  ~ScratchDirectory();
  // The folder with a trailing backslash.
  const std::string& Path() const { return m_path; }

private:
  std::string m_path;
  std::string m_previous;
};

// A fresh key below HKCU\Software\TarnivexTests, deleted with its sub-keys afterwards.
class ScratchKey {
public:
  ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  ScratchKey& operator=(const ScratchKey&) = delete;
  ~ScratchKey();
  // The sub-key path below HKEY_CURRENT_USER, without a trailing backslash.
  const std::string& Path() const { return m_path; }

private:
  std::string m_path;
};

std::string UniqueName(const char* prefix);
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);

// The messages of install.log in the current directory, time stamps removed.
// A line that does not start with a well-formed time stamp fails the test.
std::vector<std::string> ReadLogMessages();

// The folder of the running test program, with a trailing backslash.
std::string ProgramDirectory();

void SetString(HKEY root, const std::string& key, const char* name, const std::string& text,
               DWORD type = REG_SZ);
void SetDword(HKEY root, const std::string& key, const char* name, DWORD value);

} // namespace testing_support
