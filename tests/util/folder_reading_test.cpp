// Reading folders for the folder tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/TempDir.h"
#include "util/FolderReading.h"

namespace quillon {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

TEST(FolderReading, ScanningUsesEntryTypesAndFollowsLinks) {
  TempDir dir;
  fs::create_directories(dir / "sub");
  dir.Write("file", "x");
  fs::create_directory_symlink(dir / "sub", dir / "linkdir");
  fs::create_symlink(dir / "file", dir / "linkfile");
  fs::create_symlink(dir / "missing", dir / "dangling");
  std::map<std::string, std::pair<bool, bool>> seen;
  EXPECT_TRUE(ScanFolder(dir.path(), [&](const FolderEntry& e) {
    seen[e.name] = {e.folder, e.link};
    return true;
  }));
  EXPECT_EQ(seen.size(), std::size_t(5));
  EXPECT_EQ(seen["sub"], std::make_pair(true, false));
  EXPECT_EQ(seen["file"], std::make_pair(false, false));
  EXPECT_EQ(seen["linkdir"], std::make_pair(true, true));
  EXPECT_EQ(seen["linkfile"], std::make_pair(false, true));
  EXPECT_EQ(seen["dangling"], std::make_pair(false, true));
  EXPECT_FALSE(ScanFolder(dir / "nothing", [](const FolderEntry&) { return true; }));
  EXPECT_TRUE(FolderHasEntry(dir.path(), [](const FolderEntry& e) { return e.folder; }));
  EXPECT_FALSE(FolderHasEntry(dir / "sub", [](const FolderEntry&) { return true; }));
}

TEST(FolderReading, AFolderMadeAgainUnderItsNameHasAnotherIdentity) {
  TempDir dir;
  fs::create_directories(dir / "x/one");
  fs::create_directories(dir / "x/two");
  FolderIdentity first, again, second;
  std::map<std::string, std::uint64_t> inodes;
  ASSERT_TRUE(ScanFolder(
      dir / "x",
      [&](const FolderEntry& e) {
        inodes[e.name] = e.inode;
        return true;
      },
      &first));
  EXPECT_TRUE(first.Known());
  EXPECT_NE(inodes["one"], 0u);
  EXPECT_NE(inodes["one"], inodes["two"]);
  ASSERT_TRUE(ScanFolder(
      dir / "x", [](const FolderEntry&) { return true; }, &again));
  EXPECT_EQ(again, first);  // the same folder read twice
  fs::remove_all(dir / "x");
  fs::create_directory(dir / "x");
  ASSERT_TRUE(ScanFolder(
      dir / "x", [](const FolderEntry&) { return true; }, &second));
  EXPECT_FALSE(second == first);
}

}  // namespace
}  // namespace quillon
