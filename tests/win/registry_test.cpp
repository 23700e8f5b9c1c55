#include "app/registry.h"

#include "test_support.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

TEST(RegistryTest, MissingKeysAndValuesReadAsEmptyOrAllOnes) {
  ScratchKey key;
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Path"), "");
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, key.Path().c_str(), "Version"), 0xFFFFFFFFu);
  SetString(HKEY_CURRENT_USER, key.Path(), "Other", "x");
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Path"), "");
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), nullptr), "");
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, key.Path().c_str(), "Version"), 0xFFFFFFFFu);
}

TEST(RegistryTest, ReadsStringsDefaultValuesAndDwords) {
  ScratchKey key;
  SetString(HKEY_CURRENT_USER, key.Path(), "Path", "C:\\Programme\\Gr\xFCn\\");
  SetString(HKEY_CURRENT_USER, key.Path(), nullptr, "Standard");
  SetDword(HKEY_CURRENT_USER, key.Path(), "Version", 0x01020304);
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Path"),
            "C:\\Programme\\Gr\xFCn\\");
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), nullptr), "Standard");
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, key.Path().c_str(), "Version"), 0x01020304u);
}

TEST(RegistryTest, DwordOfAnotherTypeReadsAsAllOnes) {
  ScratchKey key;
  SetString(HKEY_CURRENT_USER, key.Path(), "Short", "ab");
  SetString(HKEY_CURRENT_USER, key.Path(), "Long", "12345678");
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, key.Path().c_str(), "Short"), 0xFFFFFFFFu);
  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, key.Path().c_str(), "Long"), 0xFFFFFFFFu);
}

TEST(RegistryTest, ExpandsEnvironmentReferences) {
  ScratchKey key;
  ASSERT_TRUE(SetEnvironmentVariableA("TVTEST_FOLDER", "D:\\Spiele"));
  SetString(HKEY_CURRENT_USER, key.Path(), "Dir", "%TVTEST_FOLDER%\\Tarnivex", REG_EXPAND_SZ);
  SetString(HKEY_CURRENT_USER, key.Path(), "Plain", "%TVTEST_FOLDER%\\Tarnivex");
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Dir"),
            "D:\\Spiele\\Tarnivex");
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Plain"),
            "%TVTEST_FOLDER%\\Tarnivex");
}

TEST(RegistryTest, ValuesAndExpansionsLongerThanAPathAreReadWhole) {
  ScratchKey key;
  std::string longText(1000, 'a');
  longText.back() = 'z';
  SetString(HKEY_CURRENT_USER, key.Path(), "Long", longText);
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Long"), longText);

  ASSERT_TRUE(SetEnvironmentVariableA("TVTEST_LONG", longText.c_str()));
  SetString(HKEY_CURRENT_USER, key.Path(), "Expanded", "%TVTEST_LONG%\\x", REG_EXPAND_SZ);
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Expanded"),
            longText + "\\x");
}

TEST(RegistryTest, StringDataWithoutTerminatorEndsAtItsLength) {
  ScratchKey key;
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key.Path().c_str(), "Raw", REG_SZ, "abc", 3),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, key.Path().c_str(), "Raw"), "abc");
}

TEST(RegistryTest, WritesCreateMissingKeysAndStoreTheTerminator) {
  ScratchKey key;
  std::string deep = key.Path() + "\\Tarnivex\\Produkt";
  ASSERT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, deep.c_str(), "Exe", "spiel.exe"));
  ASSERT_TRUE(WriteRegistryDword(HKEY_CURRENT_USER, deep.c_str(), "Version", 0xFFFFFFFE));
  ASSERT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, deep.c_str(), nullptr, ""));

  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, deep.c_str(), &opened), ERROR_SUCCESS);
  char data[32] = {};
  DWORD type = 0;
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(opened, "Exe", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 10u);
  EXPECT_STREQ(data, "spiel.exe");
  size = sizeof data;
  ASSERT_EQ(
      RegQueryValueExA(opened, "Version", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
  size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(opened, nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 1u);
  RegCloseKey(opened);

  EXPECT_EQ(ReadRegistryDword(HKEY_CURRENT_USER, deep.c_str(), "Version"), 0xFFFFFFFEu);
  ASSERT_TRUE(WriteRegistryString(HKEY_CURRENT_USER, deep.c_str(), "Exe", "neu.exe"));
  EXPECT_EQ(ReadRegistryString(HKEY_CURRENT_USER, deep.c_str(), "Exe"), "neu.exe");
}

TEST(RegistryTest, WritesFailWhenTheKeyCannotBeCreated) {
  // Below a volatile key only volatile keys may be created.
  ScratchKey key;
  HKEY opened = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.Path().c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &opened, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(opened);
  std::string child = key.Path() + "\\Produkt";
  EXPECT_FALSE(WriteRegistryString(HKEY_CURRENT_USER, child.c_str(), "Exe", "spiel.exe"));
  EXPECT_FALSE(WriteRegistryDword(HKEY_CURRENT_USER, child.c_str(), "Version", 1));
}

} // namespace
