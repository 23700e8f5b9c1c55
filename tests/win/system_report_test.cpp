#include "app/system_report.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

using namespace testing_support;

namespace {

// Serves HKEY_LOCAL_MACHINE from a scratch key of our own while it lives, so
// the report reads a machine the test describes.
class FakeMachine {
public:
  FakeMachine() {
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, m_key.Path().c_str(), &m_root), ERROR_SUCCESS);
    EXPECT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_root), ERROR_SUCCESS);
  }
  FakeMachine(const FakeMachine&) = delete;
  FakeMachine& operator=(const FakeMachine&) = delete;
  ~FakeMachine() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(m_root);
  }
  HKEY Root() const { return m_root; }

private:
  ScratchKey m_key;
  HKEY m_root = nullptr;
};

const char kProcessors[] = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\";
const char kClasses[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";

void DescribeProcessors(HKEY root) {
  std::string first = std::string(kProcessors) + "0";
  SetDword(root, first, "~MHz", 2400);
  SetString(root, first, "ProcessorNameString", "Testprozessor 3000");
  SetString(root, first, "VendorIdentifier", "GenuineTest");
  SetString(root, first, "Identifier", "x86 Family 6 Model 15 Stepping 2");
  // The second one has no name; its vendor just fits the 128-byte limit and
  // its identifier does not.
  std::string second = std::string(kProcessors) + "1";
  SetDword(root, second, "~MHz", 1200);
  SetString(root, second, "VendorIdentifier", std::string(127, 'v'));
  SetString(root, second, "Identifier", std::string(128, 'i'));
}

void DescribeDrivers(HKEY root) {
  std::string disk = std::string(kClasses) + "Alpha\\";
  SetString(root, disk + "0000", "DriverDesc", "Laufwerk");
  SetString(root, disk + "0000", "DriverDate", "7-3-2005");
  SetString(root, disk + "0000", "ProviderName", "Tarnivex");
  SetString(root, disk + "0001", "DriverDesc", "Zweites Laufwerk");
  SetString(root, disk + "0003", "DriverDesc", "after a gap");
  std::string net = std::string(kClasses) + "Beta\\";
  ASSERT_TRUE(SetEnvironmentVariableA("TVTEST_CARD", "Netzkarte"));
  SetString(root, net + "0000", "DriverDesc", "%TVTEST_CARD% 1", REG_EXPAND_SZ);
  SetString(root, net + "0000", "ProviderName", std::string(200, 'p'));
  // A class without a first instance reports nothing.
  SetString(root, std::string(kClasses) + "Gamma\\0001", "DriverDesc", "unreachable");
}

TEST(SystemReportTest, ProcessorsAreReportedWithoutTheValuesThatCannotBeRead) {
  ScratchDirectory directory;
  FakeMachine machine;
  DescribeProcessors(machine.Root());
  ReportProcessors();
  std::vector<std::string> expected = {
      "Approximated CPU Speed: 2400MHz",
      "Processor Name        : [Testprozessor 3000]",
      "Vendor Identifier     : [GenuineTest]",
      "Stepping              : [x86 Family 6 Model 15 Stepping 2]",
      "Approximated CPU Speed: 1200MHz",
      "Vendor Identifier     : [" + std::string(127, 'v') + "]",
      "",
  };
  EXPECT_EQ(ReadLogMessages(), expected);
}

TEST(SystemReportTest, DriverInstancesStopAtTheFirstGap) {
  ScratchDirectory directory;
  FakeMachine machine;
  DescribeDrivers(machine.Root());
  ReportDrivers();
  std::vector<std::string> expected = {
      "Driver : [Laufwerk] [Tarnivex] [7-3-2005]",
      "Driver : [Zweites Laufwerk] [] []",
      "Driver : [Netzkarte 1] [] []",
  };
  EXPECT_EQ(ReadLogMessages(), expected);
}

TEST(SystemReportTest, AnEmptyMachineReportsNoProcessorsAndNoDrivers) {
  ScratchDirectory directory;
  FakeMachine machine;
  ReportProcessors();
  ReportDrivers();
  EXPECT_EQ(ReadLogMessages(), std::vector<std::string>{""});
}

TEST(SystemReportTest, SectionsComeInOrder) {
  ScratchDirectory directory;
  FakeMachine machine;
  DescribeProcessors(machine.Root());
  DescribeDrivers(machine.Root());
  ReportOperatingSystem();
  ReportMemory();
  ReportProcessors();
  ReportDisplayModes();
  ReportDrivers();

  std::vector<std::string> log = ReadLogMessages();
  ASSERT_GE(log.size(), 18u);
  EXPECT_TRUE(
      std::regex_match(log[0], std::regex(R"(Microsoft Windows NT \d+\.\d+ \(Build: \d+\))")))
      << log[0];
  EXPECT_EQ(log[1], "");
  const char* memory = R"( Memory : \d+\.\d\dMB/\d+\.\d\dMB)";
  EXPECT_TRUE(
      std::regex_match(log[2], std::regex(std::string("Physical") + memory + R"( \[\d+%\])")))
      << log[2];
  EXPECT_TRUE(std::regex_match(log[3], std::regex(std::string("PageFile") + memory))) << log[3];
  EXPECT_TRUE(std::regex_match(log[4], std::regex(std::string("Virtual ") + memory))) << log[4];
  EXPECT_EQ(log[5], "");
  EXPECT_EQ(log[6], "Approximated CPU Speed: 2400MHz");
  EXPECT_EQ(log[12], "");

  // Display modes numbered from 000 without gaps, then the drivers.
  std::regex mode(R"(Display Mode : \[(\d{3})\] \[[ \d]{4}x[ \d]{4}x[ \d]{2,}@[ \d]{3,}\])");
  size_t line = 13;
  for (int number = 0; line < log.size() && log[line].rfind("Display", 0) == 0; ++line, ++number) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(log[line], match, mode)) << log[line];
    EXPECT_EQ(std::stoi(match[1]), number);
  }
  EXPECT_GT(line, 13u) << "no display mode reported";
  std::vector<std::string> drivers(log.begin() + static_cast<long>(line), log.end());
  EXPECT_EQ(drivers.size(), 3u);
  for (const std::string& driver : drivers) EXPECT_EQ(driver.rfind("Driver : [", 0), 0u) << driver;
}

TEST(SystemReportTest, StringReadsRespectTheCallersLimit) {
  ScratchKey key;
  SetString(HKEY_CURRENT_USER, key.Path(), "Fits", "abc");
  ASSERT_EQ(
      RegSetKeyValueA(HKEY_CURRENT_USER, key.Path().c_str(), "Unterminated", REG_SZ, "abcd", 4),
      ERROR_SUCCESS);
  ASSERT_TRUE(SetEnvironmentVariableA("TVW", "0123456789"));
  SetString(HKEY_CURRENT_USER, key.Path(), "Expands", "%TVW%", REG_EXPAND_SZ);

  char buffer[8];
  DWORD size = 4;
  EXPECT_TRUE(TryReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Fits", buffer, &size));
  EXPECT_STREQ(buffer, "abc");
  // Four bytes of data and no room left for a terminator.
  size = 4;
  EXPECT_FALSE(
      TryReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Unterminated", buffer, &size));
  EXPECT_LT(strnlen(buffer, 4), 4u);
  size = 5;
  EXPECT_TRUE(
      TryReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Unterminated", buffer, &size));
  EXPECT_STREQ(buffer, "abcd");
  // The text fits, its expansion does not.
  size = sizeof buffer;
  EXPECT_FALSE(
      TryReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Expands", buffer, &size));
  EXPECT_STREQ(buffer, "");
  size = sizeof buffer;
  EXPECT_FALSE(
      TryReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Missing", buffer, &size));
}

} // namespace
