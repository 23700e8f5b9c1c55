#include "app/process.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Recorder() { return Quoted(ProgramDirectory() + "recorder.exe"); }

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Waits for a process started without waiting to leave its record.
std::string AwaitRecord(const std::string& path) {
  for (int i = 0; i < 200 && !Exists(path); ++i) Sleep(50);
  return ReadWholeFile(path);
}

TEST(RunProcessTest, WaitsForTheEndAndOneSecondMore) {
  ScratchDirectory directory;
  std::string record = directory.Path() + "record.txt";
  std::string command = Recorder() + " " + record + " 300 259  two  blanks";
  DWORD start = GetTickCount();
  EXPECT_TRUE(RunProcess(command.c_str(), false));
  DWORD elapsed = GetTickCount() - start;
  EXPECT_TRUE(Exists(record));
  EXPECT_GE(elapsed, 1250u);
  EXPECT_LT(elapsed, 6000u);
  // Passed on unchanged; an exit code of 259 is an ordinary end.
  EXPECT_EQ(ReadWholeFile(record), command);
}

TEST(RunProcessTest, ReturnsAtOnceWithoutWaiting) {
  ScratchDirectory directory;
  std::string record = directory.Path() + "record.txt";
  // Waiting would take the child's 4 s and one more; a start under load
  // may take a second or two.
  std::string command = Recorder() + " " + record + " 4000";
  DWORD start = GetTickCount();
  EXPECT_TRUE(RunProcess(command.c_str(), true));
  EXPECT_LT(GetTickCount() - start, 3000u);
  EXPECT_FALSE(Exists(record));
  EXPECT_EQ(AwaitRecord(record), command);
}

TEST(RunProcessTest, FailsForAProgramThatDoesNotExist) {
  ScratchDirectory directory;
  std::string missing = Quoted(directory.Path() + "fehlt.exe");
  EXPECT_FALSE(RunProcess(missing.c_str(), false));
  EXPECT_FALSE(RunProcess(missing.c_str(), true));
  EXPECT_FALSE(RunProcess("", true));
}

// Registers two document types, whose open commands
// start the recorder with the document as its last argument and a marker that
// tells which type was used.
class OpenWithRegisteredProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_extension = "." + UniqueName("tv");
    Register(m_extension, "plain");
    Register(".old" + m_extension, "old");
  }

  void TearDown() override {
    for (const std::string& key : m_keys) RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
  }

  void Register(const std::string& extension, const std::string& marker) {
    std::string type = "TarnivexTest" + extension;
    m_keys.push_back(extension);
    m_keys.push_back(type);
    SetString(HKEY_CLASSES_ROOT, extension, nullptr, type);
    SetString(HKEY_CLASSES_ROOT, type + "\\shell\\open\\command", nullptr,
              Recorder() + " " + m_directory.Path() + marker + ".txt 0 0 \"%1\" %1");
  }

  ScratchDirectory m_directory;
  std::string m_extension;
  std::vector<std::string> m_keys;
};

TEST_F(OpenWithRegisteredProgramTest, LooksUpTheExtensionFromTheFirstDot) {
  const std::string& folder = m_directory.Path();
  std::string name = "liesmich" + m_extension;
  ASSERT_TRUE(OpenWithRegisteredProgram(folder.c_str(), name.c_str()));
  std::string document = folder + name;
  EXPECT_EQ(AwaitRecord(folder + "plain.txt"),
            Recorder() + " " + folder + "plain.txt 0 0 " + Quoted(document) + " " + document);

  name = "readme.old" + m_extension;
  ASSERT_TRUE(OpenWithRegisteredProgram(folder.c_str(), name.c_str()));
  EXPECT_NE(AwaitRecord(folder + "old.txt").find(Quoted(folder + name)), std::string::npos);
}

TEST_F(OpenWithRegisteredProgramTest, FailsForUnregisteredOrMissingExtensions) {
  const std::string& folder = m_directory.Path();
  EXPECT_FALSE(OpenWithRegisteredProgram(folder.c_str(), "liesmich"));
  EXPECT_FALSE(OpenWithRegisteredProgram(folder.c_str(), ""));
  std::string unknown = "liesmich.unbekannt" + m_extension;
  EXPECT_FALSE(OpenWithRegisteredProgram(folder.c_str(), unknown.c_str()));

  // A registered type without an open command.
  std::string bare = "." + UniqueName("tv");
  m_keys.push_back(bare);
  SetString(HKEY_CLASSES_ROOT, bare, nullptr, "TarnivexTest.Bare");
  std::string name = "liesmich" + bare;
  EXPECT_FALSE(OpenWithRegisteredProgram(folder.c_str(), name.c_str()));
}

} // namespace
