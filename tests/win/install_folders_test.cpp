#include "install/created_folders.h"
#include "install/directory_chain.h"
#include "install/temp_folder.h"

#include "install_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace install_testing;
using namespace testing_support;

namespace {

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string SystemTemp() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  return temp;
}

TEST(PrivateTempFolderTest, IsAFreshFolderOfItsOwnInTheTemporaryDirectory) {
  std::string first = CreatePrivateTempFolder();
  std::string second = CreatePrivateTempFolder();
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(first.back(), '\\');
  EXPECT_EQ(first.rfind(SystemTemp(), 0), 0u) << first;
  EXPECT_TRUE(IsFolder(first));
  EXPECT_TRUE(ListFolder(first).empty());
  RemovePrivateTempFolder(first);
  RemovePrivateTempFolder(second);
  EXPECT_FALSE(IsFolder(first));
  EXPECT_FALSE(IsFolder(second));
}

TEST(PrivateTempFolderTest, RemovalTakesEverythingInsideButNothingOutside) {
  std::string folder = CreatePrivateTempFolder();
  ASSERT_FALSE(folder.empty());
  WriteWholeFile(folder + "a.dll", "a");
  WriteWholeFile(folder + "locked.inf", "b");
  SetFileAttributesA((folder + "locked.inf").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(CreateDirectoryA((folder + "sub").c_str(), nullptr));
  WriteWholeFile(folder + "sub\\c.txt", "c");
  RemovePrivateTempFolder(folder);
  EXPECT_FALSE(IsFolder(folder));

  // A folder that is not below the temporary directory is never touched,
  // nor is the temporary directory itself.
  ScratchDirectory elsewhere;
  std::string outside = "C:\\tvkeep-" + UniqueName("") + "\\";
  ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
  WriteWholeFile(outside + "keep.txt", "k");
  RemovePrivateTempFolder(outside);
  RemovePrivateTempFolder(SystemTemp());
  RemovePrivateTempFolder(SystemTemp() + "..\\");
  EXPECT_EQ(ReadWholeFile(outside + "keep.txt"), "k");
  EXPECT_TRUE(IsFolder(SystemTemp()));
  DeleteFileA((outside + "keep.txt").c_str());
  RemoveDirectoryA(outside.c_str());
}

TEST(CreateDirectoryChainTest, CreatesEveryLevelAndAcceptsWhatExists) {
  ScratchDirectory scratch;
  std::string deep = scratch.Path() + "Programme\\Tarnivex\\Produkt 2\\";
  EXPECT_TRUE(CreateDirectoryChain(deep));
  EXPECT_TRUE(IsFolder(deep));
  // Again, completely and in part existing.
  EXPECT_TRUE(CreateDirectoryChain(deep));
  EXPECT_TRUE(CreateDirectoryChain(deep + "Neu\\Tiefer"));
  EXPECT_TRUE(IsFolder(deep + "Neu\\Tiefer"));
}

TEST(CreateDirectoryChainTest, FailsWhenALinkCannotBeAFolder) {
  ScratchDirectory scratch;
  // A file where a folder of the chain belongs.
  WriteWholeFile(scratch.Path() + "datei", "x");
  EXPECT_FALSE(CreateDirectoryChain(scratch.Path() + "datei\\unter\\"));
  EXPECT_FALSE(CreateDirectoryChain(scratch.Path() + "datei\\"));
  // A name the file system refuses.
  EXPECT_FALSE(CreateDirectoryChain(scratch.Path() + "a<b\\c\\"));
  EXPECT_FALSE(IsFolder(scratch.Path() + "a<b"));
}

TEST(CreatedFoldersTest, MakesTheFoldersOfAnEntryInsideItsRootAndRemovesOnlyEmptyOnesItMade) {
  ScratchDirectory scratch;
  std::string root = scratch.Path() + "Ziel\\";
  ASSERT_TRUE(CreateDirectoryA((scratch.Path() + "Ziel").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((root + "da").c_str(), nullptr));
  CreatedFolders folders;
  EXPECT_TRUE(folders.CreateFoldersOf(root, "plain.txt"));
  EXPECT_TRUE(folders.CreateFoldersOf(root, "da\\neu\\x.txt"));
  EXPECT_TRUE(folders.CreateFoldersOf(root, "da\\neu\\y.txt"));
  EXPECT_TRUE(folders.CreateFoldersOf(root, "da\\voll\\z.txt"));
  EXPECT_TRUE(folders.CreateFoldersOf(root, "weg\\tief\\w.txt"));
  EXPECT_TRUE(IsFolder(root + "da\\neu") && IsFolder(root + "da\\voll") &&
              IsFolder(root + "weg\\tief"));
  WriteWholeFile(root + "da\\voll\\z.txt", "z");

  // Names that would climb out or name a drive make nothing at all.
  for (const char* name : {"..\\aussen\\x", "a\\..\\..\\aussen\\x", "C:aussen\\x", "\\aussen\\x",
                           "a\\\\b\\x", "con\\x", "a\\.\\x", "a/b\\x"}) {
    EXPECT_FALSE(folders.CreateFoldersOf(root, name)) << name;
  }
  EXPECT_FALSE(IsFolder(scratch.Path() + "aussen"));
  EXPECT_FALSE(IsFolder(root + "a"));

  folders.RemoveEmpty();
  EXPECT_EQ(ListFolder(root), (std::vector<std::string>{"da\\"}));
  EXPECT_EQ(ListFolder(root + "da\\"), (std::vector<std::string>{"voll\\"}));
}

} // namespace
