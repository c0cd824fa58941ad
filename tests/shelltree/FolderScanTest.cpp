// File masks and path normalising of the folder tree.
#include <gtest/gtest.h>

#include <filesystem>

#include "shelltree/FolderScan.h"
#include "support/TempDir.h"

namespace quillon {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

TEST(FolderScan, MasksMatchWithBacktracking) {
  EXPECT_TRUE(MatchFileMask("a.txt.txt", "*.txt"));
  EXPECT_TRUE(MatchFileMask("abcde", "a*c*e"));
  EXPECT_TRUE(MatchFileMask("a.txt", "*.tx?"));
  EXPECT_TRUE(MatchFileMask("abcbcd", "a*bcd"));
  EXPECT_TRUE(MatchFileMask("README.TXT", "*.txt"));
  EXPECT_TRUE(MatchFileMask("", "*"));
  EXPECT_TRUE(MatchFileMask("noext", "*"));
  EXPECT_FALSE(MatchFileMask("noext", "*.*"));
  EXPECT_TRUE(MatchFileMask(".profile", "*.*"));
  EXPECT_TRUE(MatchFileMask("Name.Txt", "name.txt"));
  EXPECT_FALSE(MatchFileMask("name.txt2", "name.txt"));
  EXPECT_FALSE(MatchFileMask("a.tx", "*.tx?"));
  EXPECT_FALSE(MatchFileMask("a.txt.bak", "*.txt"));
  EXPECT_FALSE(MatchFileMask("abcd", "a*c"));
  EXPECT_TRUE(MatchFileMask("\xc3\xa9.txt", "?.txt"));  // "?" takes one UTF-8 character
  EXPECT_TRUE(MatchFileMask("x", "**"));
}

TEST(FolderScan, MaskTextsSplitAtSemicolons) {
  EXPECT_EQ(ParseFileMask(" *.txt; ;*.log ;"), (std::vector<std::string>{"*.txt", "*.log"}));
  EXPECT_EQ(ParseFileMask("   "), (std::vector<std::string>{"*.*"}));
  EXPECT_EQ(JoinFileMask({"*.txt", "*.log"}), std::string("*.txt;*.log"));
  EXPECT_TRUE(MatchesAnyMask("a.log", {"*.txt", "*.log"}));
  EXPECT_FALSE(MatchesAnyMask("a.doc", {"*.txt", "*.log"}));
  EXPECT_TRUE(MatchesAnyMask("a.doc", {}));
}

TEST(FolderScan, PathsNormaliseToExistingFolders) {
  TempDir dir;
  fs::create_directories(dir / "a/b");
  EXPECT_EQ(NormalizeTreePath(dir / "a/b"), dir / "a/b");
  EXPECT_EQ(NormalizeTreePath(dir.path() + "/a/b/"), dir / "a/b");
  EXPECT_EQ(NormalizeTreePath(dir.path() + "//a///b//"), dir / "a/b");
  EXPECT_EQ(NormalizeTreePath(dir / "a/b/missing/more"), dir / "a/b");
  EXPECT_EQ(NormalizeTreePath(dir / "a/./b/../b"), dir / "a/b");
  EXPECT_EQ(NormalizeTreePath("/"), std::string("/"));
  EXPECT_EQ(NormalizeTreePath("/no-such-folder-here/x"), std::string("/"));
  EXPECT_EQ(NormalizeTreePath("a/b"), std::string());
  EXPECT_EQ(NormalizeTreePath("C:\\Data"), std::string());
  EXPECT_EQ(NormalizeTreePath(""), std::string());
  dir.Write("a/file", "x");
  EXPECT_EQ(NormalizeTreePath(dir / "a/file"), dir / "a");
}

TEST(FolderScan, ComponentsBelowABase) {
  std::vector<std::string> parts;
  EXPECT_TRUE(ComponentsBelow("/a", "/a/b/c", parts));
  EXPECT_EQ(parts, (std::vector<std::string>{"b", "c"}));
  EXPECT_TRUE(ComponentsBelow("/", "/a", parts));
  EXPECT_EQ(parts, (std::vector<std::string>{"a"}));
  EXPECT_TRUE(ComponentsBelow("/a", "/a", parts));
  EXPECT_TRUE(parts.empty());
  EXPECT_FALSE(ComponentsBelow("/a", "/ab", parts));
  EXPECT_FALSE(ComponentsBelow("/a", "relative", parts));
}

}  // namespace
}  // namespace quillon
