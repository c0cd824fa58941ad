#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/FileSizeLimit.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/TextLineReader.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempDir;

std::vector<std::string> ReadAllLines(const std::string& path) {
  TextLineReader reader(path);
  std::vector<std::string> lines;
  do {
    lines.push_back(reader.ReadLine());
  } while (!reader.AtEnd());
  return lines;
}

TEST(TextLineReader, FollowsTheLineRules) {
  TempDir dir;
  using Lines = std::vector<std::string>;
  EXPECT_EQ(ReadAllLines(dir.Write("a", "")), Lines{""});
  EXPECT_EQ(ReadAllLines(dir.Write("b", "a\r\n")), Lines{"a"});
  EXPECT_EQ(ReadAllLines(dir.Write("c", "a\r\n\r\n")), (Lines{"a", ""}));
  EXPECT_EQ(ReadAllLines(dir.Write("d", "a\nb")), (Lines{"a", "b"}));
  EXPECT_EQ(ReadAllLines(dir.Write("e",
                                   "a\r\n\x1A"
                                   "b\r\nc")),
            Lines{"a"});
  EXPECT_EQ(ReadAllLines(dir.Write("f", "a\rb\r")), (Lines{"a", "b"}));
  EXPECT_EQ(ReadAllLines(dir.Write("g",
                                   "ab\x1A"
                                   "cd")),
            Lines{"ab"});
  EXPECT_EQ(ReadAllLines(dir.Write("h", "\n\r")), (Lines{"", ""}));
  EXPECT_EQ(ReadAllLines(dir.Write("i", std::string("a\0b\r\n", 5))),
            Lines{std::string("a\0b", 3)});
}

TEST(TextLineReader, CtrlZCanBeAnOrdinaryCharacter) {
  TempDir dir;
  TextLineReader reader(dir.Write("z",
                                  "a\x1A"
                                  "b\r\n\x1A"),
                        TextLineReader::CtrlZ::IsText);
  EXPECT_EQ(reader.ReadLine(),
            "a\x1A"
            "b");
  EXPECT_FALSE(reader.AtEnd());
  EXPECT_EQ(reader.ReadLine(), "\x1A");
  EXPECT_TRUE(reader.AtEnd());
}

TEST(TextLineReader, ReadsLinesLongerThanItsBufferAndCrLfSplitAcrossReads) {
  TempDir dir;
  const std::string long_line(200000, 'x');
  // A CR at the very end of one buffer and its LF at the start of the next.
  const std::string split = std::string(64 * 1024 - 1, 'y') + "\r\nz";
  EXPECT_EQ(ReadAllLines(dir.Write("long", long_line + "\r\nend")),
            (std::vector<std::string>{long_line, "end"}));
  EXPECT_EQ(ReadAllLines(dir.Write("split", split)),
            (std::vector<std::string>{std::string(64 * 1024 - 1, 'y'), "z"}));
}

TEST(TextLineReader, MissingFileIsFileNotFound) {
  try {
    TextLineReader reader("/nonexistent/quillon/file");
    FAIL() << "opened a missing file";
  } catch (const IoError& error) {
    EXPECT_STREQ(error.what(), "File not found");
  }
}

TEST(CountLines, CountsUnderTheLineRules) {
  TempDir dir;
  testing::RecordingMessages<> messages;
  EXPECT_EQ(CountLines(dir.Write("a", "a\r\n"), messages), 1);
  EXPECT_EQ(CountLines(dir.Write("b", "a\r\n\r\n"), messages), 2);
  EXPECT_EQ(CountLines(dir.Write("c", "a\nb"), messages), 2);
  EXPECT_EQ(CountLines(dir.Write("d",
                                 "a\r\n\x1A"
                                 "b"),
                       messages),
            1);
  EXPECT_EQ(CountLines(dir.Write("e", ""), messages), 1);
  EXPECT_EQ(CountLines(dir / "missing", messages), -1);
  EXPECT_EQ(CountLines(dir.path(), messages), -1);
  ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
  EXPECT_EQ(CountLines(dir / "dangling", messages), -1);
  EXPECT_TRUE(messages.boxes.empty());
}

TEST(PathKinds, FilesFoldersAndNothing) {
  TempDir dir;
  const std::string file = dir.Write("f.txt", "x");
  EXPECT_EQ(GetPathKind(file), 'f');
  EXPECT_EQ(GetPathKind(dir.path()), 'd');
  EXPECT_EQ(GetPathKind(dir / "none"), 'n');
  EXPECT_EQ(GetPathKind(""), 'n');
  EXPECT_TRUE(IsFolder(dir.path()));
  EXPECT_FALSE(IsFolder(file));
  ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
  EXPECT_TRUE(IsExistingFile(dir / "dangling"));
  EXPECT_FALSE(IsExistingFile(dir.path()));
}

TEST(PathSize, CountsEverythingBelowWithoutFollowingLinks) {
  TempDir dir;
  std::filesystem::create_directories(dir / "sub/.hidden");
  dir.Write("a", std::string(10, 'a'));
  dir.Write("sub/b", std::string(20, 'b'));
  dir.Write("sub/.hidden/.c", std::string(30, 'c'));
  TempDir elsewhere;
  elsewhere.Write("big", std::string(1000, 'x'));
  ASSERT_EQ(symlink(elsewhere.path().c_str(), (dir / "link").c_str()), 0);
  const auto link_size = std::filesystem::symlink_status(dir / "link").type();
  ASSERT_EQ(link_size, std::filesystem::file_type::symlink);
  const std::uint64_t link_length = elsewhere.path().size();
  EXPECT_EQ(PathSize(dir.path()), 60u + link_length);
  EXPECT_EQ(PathSize(dir.path() + "/"), 60u + link_length);
  EXPECT_EQ(PathSize(dir / "sub/b"), 20u);
  EXPECT_EQ(PathSize(dir / "missing"), 0u);
  EXPECT_EQ(FileSizeOf(dir.path()), 0u);
}

TEST(PathSize, FilesBeyondFourGigabytesInFull) {
  TempDir dir;
  const std::string file = dir / "sparse";
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 5LL * 1024 * 1024 * 1024), 0);
  close(fd);
  EXPECT_EQ(FileSizeOf(file), 5ULL * 1024 * 1024 * 1024);
}

TEST(PathDateText, EmptyForNothingAndADateOtherwise) {
  TempDir dir;
  EXPECT_EQ(PathDateText(dir / "none"), "");
  EXPECT_FALSE(PathDateText(dir.path()).empty());
  const std::string file = dir.Write("f", "");
  EXPECT_FALSE(PathDateText(file).empty());
}

TEST(PathRoutines, StripTrailingBackslashAndParentFolder) {
  std::string path = "/a/b//";
  StripTrailingBackslash(path);
  EXPECT_EQ(path, "/a/b/");
  std::string root = "/";
  StripTrailingBackslash(root);
  EXPECT_EQ(root, "/");
  std::string empty;
  StripTrailingBackslash(empty);
  EXPECT_EQ(empty, "");
  EXPECT_EQ(ParentFolder("/a/b"), "/a");
  EXPECT_EQ(ParentFolder("/a"), "/");
  EXPECT_EQ(ParentFolder("/"), "/");
  EXPECT_EQ(ParentFolder("abc"), "abc");
}

TEST(ForceFolder, CreatesEveryMissingLevel) {
  TempDir dir;
  EXPECT_TRUE(ForceFolder(dir / "new/sub/deep"));
  EXPECT_TRUE(IsFolder(dir / "new/sub/deep"));
  EXPECT_TRUE(ForceFolder(dir / "new/sub/deep/"));
  EXPECT_TRUE(ForceFolder(dir.path()));
  EXPECT_FALSE(ForceFolder("relative/folder"));
  EXPECT_FALSE(IsFolder("relative"));
  dir.Write("file", "x");
  EXPECT_FALSE(ForceFolder(dir / "file/below"));
  EXPECT_EQ(ReadBytes(dir / "file"), "x");
}

TEST(RemoveFolder, OnlyEmptyFolders) {
  TempDir dir;
  std::filesystem::create_directories(dir / "full/x");
  std::filesystem::create_directories(dir / "empty");
  EXPECT_FALSE(RemoveFolder(dir / "full"));
  EXPECT_TRUE(RemoveFolder(dir / "empty/"));
  EXPECT_FALSE(IsFolder(dir / "empty"));
  EXPECT_FALSE(RemoveFolder(dir / "missing"));
}

TEST(RemoveFile, OnlyFilesTheUserMayChange) {
  TempDir dir;
  const std::string file = dir.Write("plain", "x");
  const std::string locked = dir.Write("locked", "x");
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read);
  std::filesystem::create_directories(dir / "folder");
  EXPECT_TRUE(RemoveFile(file));
  EXPECT_FALSE(IsExistingFile(file));
  EXPECT_FALSE(RemoveFile(locked));  // read-only, also for the superuser
  EXPECT_TRUE(IsExistingFile(locked));
  EXPECT_FALSE(RemoveFile(dir / "folder"));
  EXPECT_TRUE(IsFolder(dir / "folder"));
  EXPECT_FALSE(RemoveFile(dir / "missing"));
  EXPECT_FALSE(RemoveFile(""));
}

TEST(CreateEmptyFile, NeverTouchesAnExistingFile) {
  TempDir dir;
  const std::string file = dir.Write("keep", "contents");
  EXPECT_FALSE(CreateEmptyFile(file));
  EXPECT_EQ(ReadBytes(file), "contents");
  EXPECT_TRUE(CreateEmptyFile(dir / "new"));
  EXPECT_EQ(ReadBytes(dir / "new"), "");
  EXPECT_FALSE(CreateEmptyFile(dir.path()));
  EXPECT_FALSE(CreateEmptyFile(dir / "missing/new"));
}

TEST(FillWriters, WriteExactlyTheCountInChunks) {
  TempDir dir;
  for (std::int64_t count : {0, 1, 8191, 8192, 9000, 100000}) {
    const std::string file = dir / ("fill" + std::to_string(count));
    WriteFillFile(file, count, '0');
    EXPECT_EQ(ReadBytes(file), std::string(static_cast<std::size_t>(count), '0'));
  }
  const std::string file = dir.Write("negative", "old");
  WriteFillFile(file, -5, '0');
  EXPECT_EQ(ReadBytes(file), "");
}

TEST(AppendRoutines, LinesEndWithCrLf) {
  TempDir dir;
  const std::string file = dir.Write("out", "");
  AppendLine(file, "alpha");
  AppendFileText(file, dir.Write("text", "one\ntwo"));
  EXPECT_EQ(ReadBytes(file), "alpha\r\none\r\ntwo\r\n\r\n");
  const std::string empty_text = dir.Write("out2", "");
  AppendFileText(empty_text, dir.Write("empty", ""));
  EXPECT_EQ(ReadBytes(empty_text), "\r\n");
  EXPECT_THROW(AppendLine(dir / "missing", "x"), IoError);
  EXPECT_THROW(AppendFileText(file, dir / "missing"), IoError);
}

TEST(AppendRoutines, TextFileReadUpToItsSizeWhenOpenedInChunksAcrossLineEnds) {
  TempDir dir;
  // The file being appended to is the text file itself: its text goes in once, and the
  // append ends. Lines cross the chunk borders, a CR LF among them.
  std::string text;
  for (int i = 0; text.size() < 200'000; ++i)
    text += std::string(65535, 'x') + (i % 2 ? "\r\n" : "\n");
  const std::string self = dir.Write("self.txt", text);
  {
    // Should the append feed on itself, it fails at this size instead of filling the disk.
    const testing::FileSizeLimit limit(8 << 20);
    EXPECT_NO_THROW(AppendFileText(self, self));
  }
  std::string converted;
  for (char c : text) converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (std::size_t at = 0; (at = converted.find("\r\r\n", at)) != std::string::npos;) {
    converted.erase(at, 1);
  }
  EXPECT_EQ(ReadBytes(self), text + converted + "\r\n");
  // Ctrl-Z ends the text at once, right after a carriage return as anywhere.
  const std::string out = dir.Write("out", "");
  AppendFileText(out, dir.Write("ctrl-z", "a\r\x1A\nb"));
  EXPECT_EQ(ReadBytes(out), "a\r\n\r\n");
}

TEST(ReplaceFileAtomically, LeavesTheOldOrTheNewFileAndNoTemporary) {
  TempDir dir;
  const std::string file = dir.Write("settings.ini", "old");
  ReplaceFileAtomically(file, "new contents");
  EXPECT_EQ(ReadBytes(file), "new contents");
  EXPECT_THROW(ReplaceFileAtomically(dir / "missing/x.ini", "y"), IoError);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
    ++entries;
  EXPECT_EQ(entries, 1u);
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

TEST(ReadWholeFile, ReadsRegularFilesOnlyAndUpToTheLimit) {
  TempDir dir;
  EXPECT_EQ(ReadWholeFile(dir.Write("small", "abc"), 3), "abc");
  EXPECT_THROW(ReadWholeFile(dir.Write("large", "abcd"), 3), IoError);
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
  EXPECT_EQ(WithFinalDot("Disk full"), "Disk full.");
  EXPECT_EQ(WithFinalDot("Done."), "Done.");
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
