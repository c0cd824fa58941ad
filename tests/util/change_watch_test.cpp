// The host's change notification, read without an event loop.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TempDir.h"
#include "util/ChangeWatch.h"

namespace quillon {
namespace {

using testing::TempDir;
using Kind = FolderChange::Kind;
namespace fs = std::filesystem;

TEST(ChangeWatch, ChangesArriveAsTheirOwnKinds) {
  TempDir dir;
  FolderChangeNotifier notifier;
  ASSERT_TRUE(notifier.IsValid());
  fs::create_directories(dir / "watched");
  const int watch = notifier.Add(dir / "watched", kNotifyDirName | kNotifyAttributes);
  ASSERT_GE(watch, 0);
  EXPECT_EQ(notifier.Add(dir / "watched", kNotifyDirName), watch);  // the same folder, one watch
  EXPECT_EQ(notifier.Add(dir / "missing", kNotifyDirName), -1);
  EXPECT_EQ(notifier.Add(dir / "watched", kNotifyDirName | kNotifyAttributes), watch);

  fs::create_directory(dir / "watched/sub");
  fs::rename(dir / "watched/sub", dir / "watched/moved");
  fs::permissions(dir / "watched/moved", fs::perms::owner_all);
  fs::remove(dir / "watched/moved");
  std::vector<FolderChange> changes = notifier.ReadChanges();
  std::vector<std::pair<Kind, std::string>> seen;
  for (const FolderChange& change : changes) {
    EXPECT_EQ(change.watch, watch);
    EXPECT_TRUE(change.folder);
    seen.emplace_back(change.kind, change.name);
  }
  EXPECT_EQ(seen, (std::vector<std::pair<Kind, std::string>>{{Kind::Created, "sub"},
                                                             {Kind::Deleted, "sub"},
                                                             {Kind::Created, "moved"},
                                                             {Kind::Attributes, "moved"},
                                                             {Kind::Deleted, "moved"}}));
  EXPECT_TRUE(notifier.ReadChanges().empty());  // never blocks

  // Files are told from folders; the folder's end ends the watch.
  std::ofstream(dir / "watched/file") << "x";
  fs::remove(dir / "watched/file");
  fs::remove(dir / "watched");
  changes = notifier.ReadChanges();
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes.back().kind, Kind::WatchEnded);
  EXPECT_EQ(changes.back().watch, watch);
  EXPECT_EQ(changes.front().name, "file");
  for (std::size_t i = 0; i + 1 < changes.size(); ++i) EXPECT_FALSE(changes[i].folder);
}

}  // namespace
}  // namespace quillon
