#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>

#include "install/temp_folder.h"

namespace testing_support {

namespace {} // namespace

std::string UniqueName(const char* prefix) {
  static std::atomic<unsigned> counter{0};
  std::ostringstream name;
  name << prefix << GetCurrentProcessId() << '-' << GetTickCount() << '-' << counter++;
  return name.str();
}

ScratchDirectory::ScratchDirectory() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  m_path = std::string(temp) + UniqueName("tvtest-") + "\\";
  EXPECT_TRUE(CreateDirectoryA(m_path.c_str(), nullptr));
  char current[MAX_PATH];
  GetCurrentDirectoryA(sizeof current, current);
  m_previous = current;
  EXPECT_TRUE(SetCurrentDirectoryA(m_path.c_str()));
}

ScratchDirectory::~ScratchDirectory() {
  SetCurrentDirectoryA(m_previous.c_str());
  RemoveFolderTree(m_path);
}

ScratchKey::ScratchKey() : m_path("Software\\TarnivexTests\\" + UniqueName("key-")) {}

ScratchKey::~ScratchKey() { RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str()); }

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::vector<std::string> ReadLogMessages() {
  static const std::regex stamp(R"(^\d\d/\d\d/\d{4} \d\d:\d\d\.\d\d\t)");
  std::string log = ReadWholeFile("install.log");
  std::vector<std::string> messages;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "log does not end with CR LF: " << log.substr(start);
      break;
    }
    std::string line = log.substr(start, end - start);
    std::smatch match;
    if (!std::regex_search(line, match, stamp)) {
      ADD_FAILURE() << "log line without time stamp: " << line;
      messages.push_back(line);
    } else {
      messages.push_back(match.suffix());
    }
    start = end + 2;
  }
  return messages;
}

std::string ProgramDirectory() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string directory = path;
  return directory.substr(0, directory.find_last_of('\\') + 1);
}

void SetString(HKEY root, const std::string& key, const char* name, const std::string& text,
               DWORD type) {
  ASSERT_EQ(RegSetKeyValueA(root, key.c_str(), name, type, text.c_str(),
                            static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
}

void SetDword(HKEY root, const std::string& key, const char* name, DWORD value) {
  ASSERT_EQ(RegSetKeyValueA(root, key.c_str(), name, REG_DWORD, &value, sizeof value),
            ERROR_SUCCESS);
}

} // namespace testing_support
