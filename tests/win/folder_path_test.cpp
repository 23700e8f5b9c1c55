// Folders whose names the code page cannot write, as the folder browser and
// the registry hand them over.
#include "app/folder_path.h"

#include "framework/code_page.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The long form of an existing path, for comparing two names of one folder.
std::wstring LongForm(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = L"";
  DWORD n = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

class CodePageFolderTest : public ::testing::Test {
protected:
  CodePageFolderTest() { CreateDirectoryW(m_foreign.c_str(), nullptr); }
  ~CodePageFolderTest() override { RemoveDirectoryW(m_foreign.c_str()); }

  ScratchDirectory m_scratch;
  // "Łukasz Dvořák": the code page has neither Ł nor ř.
  std::wstring m_foreign = Wide(m_scratch.Path()) + L"\u0141ukasz Dvo\u0159\u00E1k";
};

TEST_F(CodePageFolderTest, BrowsedFolderBecomesAPathThatNamesIt) {
  LPITEMIDLIST item = ILCreateFromPathW(m_foreign.c_str());
  ASSERT_NE(item, nullptr);
  std::wstring folder = FolderOfItemList(item);
  ILFree(item);
  EXPECT_EQ(folder, m_foreign);

  std::string path = UsableFolder(folder, "Browsed folder", nullptr, "Test");
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.find('?'), std::string::npos) << path;
  // Not the best-fit "Lukasz Dvorak", which would be another folder.
  EXPECT_EQ(LongForm(FromCodePage(path)), LongForm(m_foreign)) << path;
  EXPECT_TRUE(CreateDirectoryA((path + "\\Produkt").c_str(), nullptr));
  EXPECT_NE(GetFileAttributesW((m_foreign + L"\\Produkt").c_str()), INVALID_FILE_ATTRIBUTES);
  RemoveDirectoryW((m_foreign + L"\\Produkt").c_str());
}

TEST_F(CodePageFolderTest, FolderTheCodePageCanWriteStaysAsItIs) {
  std::string plain = m_scratch.Path() + "Programme";
  ASSERT_TRUE(CreateDirectoryA(plain.c_str(), nullptr));
  EXPECT_EQ(UsableFolder(Wide(plain), "Browsed folder", nullptr, "Test"), plain);
  // A drive's root keeps its backslash.
  EXPECT_EQ(UsableFolder(L"C:\\", "Browsed folder", nullptr, "Test"), "C:\\");
  RemoveDirectoryA(plain.c_str());
}

TEST(FolderOfItemListTest, NamesNoFolderForTheDesktopsVirtualItemsOrNothing) {
  EXPECT_EQ(FolderOfItemList(nullptr), L"");
  LPITEMIDLIST drives = nullptr;
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives), S_OK);
  EXPECT_EQ(FolderOfItemList(drives), L"");
  ILFree(drives);
}

} // namespace
