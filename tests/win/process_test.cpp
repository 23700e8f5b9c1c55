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

// Registered open commands that name their program without a folder. The
// search for such a name looks in the running program's folder first, so a
// copy of the recorder waits there under that name; it records a command
// line that starts with the bare name, the system folder's copy one that
// starts with its full path.
class BareProgramTest : public OpenWithRegisteredProgramTest {
protected:
  BareProgramTest() : m_name(UniqueName("tvopen") + ".exe") {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    m_inSystem = std::string(system) + "\\" + m_name;
    m_planted = ProgramDirectory() + m_name;
  }
  ~BareProgramTest() override {
    DeleteFileA(m_inSystem.c_str());
    DeleteFileA(m_planted.c_str());
  }
  void Place(const std::string& path) {
    ASSERT_TRUE(CopyFileA((ProgramDirectory() + "recorder.exe").c_str(), path.c_str(), FALSE));
  }
  // A document type whose open command starts m_name by its bare name.
  std::string RegisterBare() {
    std::string extension = "." + UniqueName("tv");
    std::string type = "TarnivexTest" + extension;
    m_keys.push_back(extension);
    m_keys.push_back(type);
    SetString(HKEY_CLASSES_ROOT, extension, nullptr, type);
    SetString(HKEY_CLASSES_ROOT, type + "\\shell\\open\\command", nullptr,
              m_name + " " + Record() + " 0 0 \"%1\"");
    return extension;
  }
  std::string Record() const { return m_directory.Path() + "bare.txt"; }

  std::string m_name, m_inSystem, m_planted;
};

TEST_F(BareProgramTest, IsTakenFromTheSystemFolderNeverFromOurs) {
  Place(m_inSystem);
  Place(m_planted);
  std::string name = "liesmich" + RegisterBare();
  ASSERT_TRUE(OpenWithRegisteredProgram(m_directory.Path().c_str(), name.c_str()));
  EXPECT_EQ(AwaitRecord(Record()),
            Quoted(m_inSystem) + " " + Record() + " 0 0 " + Quoted(m_directory.Path() + name));
}

TEST_F(BareProgramTest, FoundOnlyInOurFolderIsNotStarted) {
  Place(m_planted);
  std::string name = "liesmich" + RegisterBare();
  EXPECT_FALSE(OpenWithRegisteredProgram(m_directory.Path().c_str(), name.c_str()));
  Sleep(500);
  EXPECT_FALSE(Exists(Record()));
}

TEST(QualifyCommandProgramTest, NamesABareProgramByItsPathAndLeavesPathsAlone) {
  char system[MAX_PATH] = "";
  GetSystemDirectoryA(system, MAX_PATH);
  std::string rundll = Quoted(std::string(system) + "\\rundll32.exe");
  EXPECT_EQ(SystemProgram("rundll32.exe"), rundll);
  // Found with or without its extension, quoted or not; the arguments stay.
  EXPECT_EQ(QualifyCommandProgram("rundll32.exe a,b \"%1\""), rundll + " a,b \"%1\"");
  EXPECT_EQ(QualifyCommandProgram("\"rundll32\" x"), rundll + " x");
  EXPECT_EQ(QualifyCommandProgram("rundll32"), rundll);
  // A program with a folder is already what it says.
  EXPECT_EQ(QualifyCommandProgram("\"C:\\Pro gramme\\a.exe\" %1"), "\"C:\\Pro gramme\\a.exe\" %1");
  EXPECT_EQ(QualifyCommandProgram("C:\\a.exe %1"), "C:\\a.exe %1");
  EXPECT_EQ(QualifyCommandProgram("tv-fehlt-ueberall.exe %1"), "");
  EXPECT_EQ(QualifyCommandProgram("   "), "");
}

} // namespace
