// What the file-system routines do with what only a POSIX host has: modes and owners,
// symbolic links to files and to nothing, pipes and devices, error numbers, the root "/".
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempDir;

TEST(DanglingLinks, AreFilesThatCannotBeCounted) {
  TempDir dir;
  ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
  EXPECT_TRUE(IsExistingFile(dir / "dangling"));
  EXPECT_EQ(GetPathKind(dir / "dangling"), 'n');
  testing::RecordingMessages<> messages;
  EXPECT_EQ(CountLines(dir / "dangling", messages), -1);
  EXPECT_TRUE(messages.boxes.empty());
}

TEST(ReplaceFileAtomically, KeepsModeOwnersAndLinksAsTheUserSetThem) {
  TempDir dir;
  const std::string own = dir.Write("private.ini", "old");
  chmod(own.c_str(), 0600);
  ReplaceFileAtomically(own, "new");
  struct stat info {};
  ASSERT_EQ(stat(own.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadBytes(own), "new");
  if (geteuid() == 0) {
    // The superuser writing another user's file leaves it theirs.
    ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
    ReplaceFileAtomically(own, "newer");
    ASSERT_EQ(stat(own.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
  }
  // A chain of links stays in place; the file at its end is replaced.
  std::filesystem::create_directory(dir / "real");
  const std::string target = dir.Write("real/quillon.ini", "old");
  std::filesystem::create_symlink("real/quillon.ini", dir / "middle");
  std::filesystem::create_symlink(dir / "middle", dir / "quillon.ini");
  ReplaceFileAtomically(dir / "quillon.ini", "through the links");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "quillon.ini"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "middle"));
  EXPECT_EQ(ReadBytes(target), "through the links");
  // A link to nothing yet makes its file.
  std::filesystem::create_symlink("real/later.ini", dir / "later.ini");
  ReplaceFileAtomically(dir / "later.ini", "made");
  EXPECT_EQ(ReadBytes(dir / "real/later.ini"), "made");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "later.ini"));
}

TEST(ReplaceFileAtomically, LeavesWhatItMayNotReplaceAsItIs) {
  TempDir dir;
  const std::string read_only = dir.Write("read-only.ini", "old");
  chmod(read_only.c_str(), 0444);
  EXPECT_THROW(ReplaceFileAtomically(read_only, "new"), IoError);
  EXPECT_EQ(ReadBytes(read_only), "old");
  ASSERT_EQ(mkfifo((dir / "pipe.ini").c_str(), 0600), 0);
  EXPECT_THROW(ReplaceFileAtomically(dir / "pipe.ini", "new"), IoError);
  EXPECT_EQ(std::filesystem::status(dir / "pipe.ini").type(), std::filesystem::file_type::fifo);
  std::filesystem::create_symlink("loop.ini", dir / "loop.ini");
  EXPECT_THROW(ReplaceFileAtomically(dir / "loop.ini", "new"), IoError);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "loop.ini"));
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
    ++entries;
  EXPECT_EQ(entries, 3u);  // no temporary left
}

TEST(ReadWholeFile, ReadsRegularFilesOnly) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  for (const std::string& path : {dir / "pipe", std::string("/dev/zero"), dir.path()}) {
    EXPECT_THROW(ReadWholeFile(path, 1 << 20), IoError) << path;
  }
}

TEST(IoErrorTexts, MapTheHostErrors) {
  EXPECT_EQ(IoErrorText(ENOENT), "File not found");
  EXPECT_EQ(IoErrorText(EACCES), "File access denied");
  EXPECT_EQ(IoErrorText(EMFILE), "Too many open files");
  EXPECT_EQ(IoErrorText(ENOSPC), "Disk full");
  EXPECT_EQ(IoErrorText(EFBIG), "Disk full");
  EXPECT_EQ(IoErrorText(EIO), "I/O error 5");
}

TEST(Platform, ProgramPaths) {
  EXPECT_EQ(FolderOfPath("/opt/quillon/quillon"), "/opt/quillon");
  EXPECT_EQ(FolderOfPath("/quillon"), "/");
  EXPECT_EQ(IniPathFor("/opt/q/quillon"), "/opt/q/quillon.ini");
  EXPECT_EQ(IniPathFor("/opt/q/quillon.exe"), "/opt/q/quillon.ini");
  EXPECT_EQ(IniPathFor("/opt/q.d/quillon"), "/opt/q.d/quillon.ini");
  EXPECT_EQ(JoinPath("/", "x"), "/x");
  EXPECT_EQ(JoinPath("/a", "x"), "/a/x");
}

}  // namespace
}  // namespace quillon
