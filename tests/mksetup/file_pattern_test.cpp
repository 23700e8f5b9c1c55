// The wildcards of a manifest's `files`, matched by mksetup itself.
#include <gtest/gtest.h>

#include "file_pattern.h"
#include "test_files.h"

using namespace mksetup;
using namespace mksetup_test;

TEST(FilePattern, PartsMatchLikeTheShell) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*.txt", "a.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"*", "", true},
      {"a*b*c", "abbbc", true},
      {"a*b*c", "acb", false},
      {"?.txt", "a.txt", true},
      {"?.txt", "ab.txt", false},
      {"?.txt", "\xC3\xBC.txt", true},   // ü is one character
      {"??.txt", "\xC3\xBC.txt", false}, // not two bytes
      {"[ab].dat", "b.dat", true},
      {"[ab].dat", "c.dat", false},
      {"[a-c]x", "bx", true},
      {"[!a-c]x", "bx", false},
      {"[!a-c]x", "dx", true},
      {"[]a]", "]", true},
      {"[\xC3\xA4\xC3\xB6]", "\xC3\xB6", true}, // sets of non-ASCII characters
      {"[ab", "[ab", true},                     // an unclosed bracket is plain
      {"*", ".hidden", false},
      {".*", ".hidden", true},
      {"?hidden", ".hidden", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchesPart(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
#ifdef _WIN32
  EXPECT_TRUE(MatchesPart("*.TXT", "a.txt"));
#else
  EXPECT_FALSE(MatchesPart("*.TXT", "a.txt"));
  EXPECT_TRUE(MatchesPart("a\\*", "a*"));
  EXPECT_FALSE(MatchesPart("a\\*", "ab"));
#endif
}

TEST(FilePattern, FilesInEveryPartSortedWithoutFolders) {
  TempDir dir;
  for (const char* f : {"v1/x.txt", "v1-alt/x.txt", "v10/x.txt", "v1/y.dat", "v2/sub.txt/z",
                        "v2/x.txt", "w/x.txt", ".v3/x.txt"})
    WriteFile(dir / f, f);
  const std::string base = dir.Path().string();
  std::vector<std::string> found;
  for (const std::string& path : MatchFilePattern(base + "/v*/*.txt"))
    found.push_back(path.substr(base.size() + 1));
  // Byte order with "/" between the parts ("-" < "/" < "0"); the folder
  // sub.txt and the hidden .v3 are left out.
  EXPECT_EQ(found, (std::vector<std::string>{"v1-alt/x.txt", "v1/x.txt", "v10/x.txt", "v2/x.txt"}));
  EXPECT_EQ(MatchFilePattern(base + "/v1/y.dat").size(), 1u);
  EXPECT_TRUE(MatchFilePattern(base + "/fehlt/*.txt").empty());
  EXPECT_TRUE(MatchFilePattern(base + "/v2/sub.*").empty());
}
