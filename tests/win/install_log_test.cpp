#include "app/install_log.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

TEST(InstallLogTest, TimestampIsDayMonthYearAndMinutesDotSeconds) {
  SYSTEMTIME time{};
  time.wYear = 2005;
  time.wMonth = 3;
  time.wDay = 7;
  time.wHour = 9;
  time.wMinute = 5;
  time.wSecond = 3;
  time.wMilliseconds = 999;
  EXPECT_EQ(FormatLogTimestamp(time), "07/03/2005 09:05.03\t");
  time.wYear = 987;
  time.wHour = 23;
  EXPECT_EQ(FormatLogTimestamp(time), "07/03/0987 23:05.03\t");
}

TEST(InstallLogTest, AppendsOneLineWithTheLocalTimePerCall) {
  ScratchDirectory directory;
  WriteWholeFile("install.log", "earlier\r\n");
  SYSTEMTIME before;
  GetLocalTime(&before);
  InstallLog("Copying File [%s] [%i]", "a.exe", 42);
  SYSTEMTIME after;
  GetLocalTime(&after);
  InstallLog("%u %.2f %i%%", 7u, 1.5, -3);

  std::string log = ReadWholeFile("install.log");
  ASSERT_EQ(log.rfind("earlier\r\n", 0), 0u);
  std::string stamp = log.substr(9, 20);
  EXPECT_TRUE(stamp == FormatLogTimestamp(before) || stamp == FormatLogTimestamp(after)) << stamp;
  EXPECT_EQ(log.substr(29),
            "Copying File [a.exe] [42]\r\n" + log.substr(56, 20) + "7 1.50 -3%\r\n");
}

TEST(InstallLogTest, EmptyFormatWritesOnlyTheTimestamp) {
  ScratchDirectory directory;
  InstallLog("");
  std::string log = ReadWholeFile("install.log");
  ASSERT_EQ(log.size(), 22u);
  EXPECT_EQ(log.substr(19), "\t\r\n");
}

TEST(InstallLogTest, KeepsLineFeedsAndEightBitText) {
  ScratchDirectory directory;
  InstallLog("Error [%s]", "Die Datei kann nicht ge\xF6"
                           "ffnet werden.\nGrund");
  std::string log = ReadWholeFile("install.log");
  EXPECT_EQ(log.substr(20), "Error [Die Datei kann nicht ge\xF6"
                            "ffnet werden.\nGrund]\r\n");
}

TEST(InstallLogTest, WritesLongMessagesWhole) {
  ScratchDirectory directory;
  const size_t lengths[] = {509, 510, 511, 2000, 70000};
  for (size_t length : lengths) {
    DeleteFileA("install.log");
    std::string message(length, 'x');
    message.back() = 'y';
    InstallLog("%s", message.c_str());
    std::vector<std::string> messages = ReadLogMessages();
    ASSERT_EQ(messages.size(), 1u) << length;
    EXPECT_EQ(messages[0], message) << length;
  }
}

TEST(InstallLogTest, DropsTheLineWhenTheLogCannotBeOpened) {
  ScratchDirectory directory;
  // Held open without sharing, as by another process.
  HANDLE held = CreateFileA("install.log", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  InstallLog("lost");
  CloseHandle(held);
  EXPECT_EQ(ReadWholeFile("install.log"), "");
  InstallLog("kept");
  EXPECT_EQ(ReadLogMessages(), std::vector<std::string>{"kept"});

  // A folder of that name cannot be opened as a file at all.
  ASSERT_TRUE(DeleteFileA("install.log"));
  ASSERT_TRUE(CreateDirectoryA("install.log", nullptr));
  InstallLog("lost");
  EXPECT_NE(GetFileAttributesA("install.log") & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

} // namespace
