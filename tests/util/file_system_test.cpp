#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#ifndef _WIN32
#include "support/FileSizeLimit.h"
#endif
#include "support/HostFiles.h"
#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TextForms.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/TextLineReader.h"

namespace quillon {
namespace {

using testing::kOnWindows;
using testing::ReadBytes;
using testing::TempDir;
namespace fs = std::filesystem;

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
  // A lone line feed ends a line on POSIX; Windows ends a line only at a carriage return.
  EXPECT_EQ(ReadAllLines(dir.Write("d", "a\nb")), (kOnWindows ? Lines{"a\nb"} : Lines{"a", "b"}));
  EXPECT_EQ(ReadAllLines(dir.Write("e",
                                   "a\r\n\x1A"
                                   "b\r\nc")),
            Lines{"a"});
  EXPECT_EQ(ReadAllLines(dir.Write("f", "a\rb\r")), (Lines{"a", "b"}));
  EXPECT_EQ(ReadAllLines(dir.Write("g",
                                   "ab\x1A"
                                   "cd")),
            Lines{"ab"});
  EXPECT_EQ(ReadAllLines(dir.Write("h", "\n\r")), (kOnWindows ? Lines{"\n"} : Lines{"", ""}));
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

// Records the pieces of a line and the characters told as unheld.
class RecordedLine : public TextLineReader::Pieces {
 public:
  void Append(std::string_view piece) override { text.append(piece); }
  void CannotHold(char32_t character) override { unheld.push_back(character); }
  std::string text;
  std::u32string unheld;
};

TEST(TextLineReader, MarkedFilesAreTextOfTheirFormAndEveryReaderAgrees) {
  using testing::Utf16File;
  using Lines = std::vector<std::string>;
  const std::string e_acute = testing::kHostEAcute;
  // The host's form of U+1F600, or "?" where the ANSI code page lacks it.
  const std::string smiley = kOnWindows ? "?" : "\xF0\x9F\x98\x80";
  struct Case {
    std::string bytes;
    Lines lines;
    std::u32string unheld;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF"
       "alpha\r\nbeta",
       {"alpha", "beta"},
       {}},
      {"\xEF\xBB\xBF", {""}, {}},
      {"a\xEF\xBB\xBF\r\n\xFF\xFE", {"a\xEF\xBB\xBF", "\xFF\xFE"}, {}},  // marks only lead
      {"\xFF", {"\xFF"}, {}},
      {Utf16File(u"alpha\r\nb\u00E9ta\r\n"), {"alpha", "b" + e_acute + "ta"}, {}},
      {Utf16File(u"alpha\r\nb\u00E9ta", false), {"alpha", "b" + e_acute + "ta"}, {}},
      {Utf16File(u""), {""}, {}},
      {Utf16File(u"a\nb\rc"), kOnWindows ? Lines{"a\nb", "c"} : Lines{"a", "b", "c"}, {}},
      {Utf16File(u"a\r\n\x1A"
                 u"b\r\n"),
       {"a"},
       {}},
      {Utf16File(u"\U0001F600!"), {smiley + "!"}, kOnWindows ? U"\U0001F600" : U""},
      // Half a character: a lone surrogate, a last single byte.
      {Utf16File(u"x\xD800y\r\n\xDC00"), {"x?y", "?"}, U"\xD800\xDC00"},
      {Utf16File(u"ab") + "c", {"ab?"}, {kLoneByte}},
      // After the mark, unit 32767 is the last of the first 64 KiB read.
      {Utf16File(std::u16string(32766, u'a') + u"\U0001F600\r\nz"),
       {std::string(32766, 'a') + smiley, "z"},
       kOnWindows ? U"\U0001F600" : U""},
      {Utf16File(std::u16string(32766, u'b') + u"\r\nz", false),
       {std::string(32766, 'b'), "z"},
       {}},
  };
  TempDir dir;
  testing::RecordingMessages<> messages;
  int row = 0;
  for (const Case& c : cases) {
    ++row;
    const std::string source = dir.Write("source", c.bytes);
    TextLineReader reader(source);
    Lines lines;
    std::u32string unheld;
    do {
      RecordedLine line;
      reader.ReadLine(line);
      lines.push_back(line.text);
      unheld += line.unheld;
    } while (!reader.AtEnd());
    EXPECT_EQ(lines, c.lines) << row;
    EXPECT_EQ(unheld, c.unheld) << row;
    EXPECT_EQ(CountLines(source, messages), static_cast<std::int32_t>(c.lines.size()));
    const std::string filled = dir.Write("filled", "");
    if (!c.unheld.empty()) {
      EXPECT_THROW(AppendFileText(filled, source), IoError);
      continue;
    }
    AppendFileText(filled, source);
    std::string expected;
    for (const std::string& line : c.lines) expected += line + "\r\n";
    if (c.lines == Lines{""}) expected.clear();
    EXPECT_EQ(ReadBytes(filled), expected + "\r\n") << row;
  }
  EXPECT_TRUE(messages.boxes.empty());
}

TEST(TextLineReader, MissingFileIsFileNotFound) {
  TempDir dir;
  try {
    TextLineReader reader(dir / "missing");
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
  EXPECT_EQ(CountLines(dir.Write("c", "a\nb"), messages), kOnWindows ? 1 : 2);
  EXPECT_EQ(CountLines(dir.Write("d",
                                 "a\r\n\x1A"
                                 "b"),
                       messages),
            1);
  EXPECT_EQ(CountLines(dir.Write("e", ""), messages), 1);
  EXPECT_EQ(CountLines(dir / "missing", messages), -1);
  EXPECT_EQ(CountLines(dir.path(), messages), -1);
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
  EXPECT_TRUE(IsExistingFile(file));
  EXPECT_FALSE(IsExistingFile(dir.path()));
  EXPECT_FALSE(IsExistingFile(dir / "none"));
}

TEST(PathSize, CountsEverythingBelowWithoutFollowingLinks) {
  TempDir dir;
  std::filesystem::create_directories(dir / "sub/.hidden");
  dir.Write("a", std::string(10, 'a'));
  dir.Write("sub/b", std::string(20, 'b'));
  testing::MarkHidden(dir.Write("sub/.hidden/.c", std::string(30, 'c')));
  testing::MarkHidden(dir / "sub/.hidden");
  TempDir elsewhere;
  elsewhere.Write("big", std::string(1000, 'x'));
  ASSERT_TRUE(testing::MakeFolderLink(dir / "link", elsewhere.path()));
  // A POSIX link counts as the length of what it holds; a junction holds no bytes of a file.
  const std::uint64_t link_length = kOnWindows ? 0 : elsewhere.path().size();
  EXPECT_EQ(PathSize(dir.path()), 60u + link_length);
  EXPECT_EQ(PathSize(dir.path() + kPathSeparator), 60u + link_length);
  EXPECT_TRUE(testing::RemoveFolderLink(dir / "link"));
  EXPECT_EQ(PathSize(dir / "sub/b"), 20u);
  EXPECT_EQ(PathSize(dir / "missing"), 0u);
  EXPECT_EQ(FileSizeOf(dir.path()), 0u);
}

TEST(PathSize, AWalkGivenUpEndsAtOnce) {
  TempDir dir;
  fs::create_directories(dir / "sub");
  dir.Write("a", std::string(40, 'a'));
  dir.Write("sub/b", std::string(20, 'b'));
  std::atomic<bool> stop = false;
  EXPECT_EQ(PathSize(dir.path(), &stop), 60u);
  stop = true;
  EXPECT_EQ(PathSize(dir.path(), &stop), 0u);
  EXPECT_EQ(PathSize(dir / "a", &stop), 40u);  // a file has no walk to give up
}

TEST(PathSize, FilesBeyondFourGigabytesInFull) {
  TempDir dir;
  const std::string file = dir.Write("sparse", "");
  std::filesystem::resize_file(file, 5ULL * 1024 * 1024 * 1024);
  EXPECT_EQ(FileSizeOf(file), 5ULL * 1024 * 1024 * 1024);
  EXPECT_EQ(PathSize(dir.path()), 5ULL * 1024 * 1024 * 1024);
}

TEST(PathDateText, EmptyForNothingAndTheLocalDateAndTimeOtherwise) {
  TempDir dir;
  EXPECT_EQ(PathDateText(dir / "none"), "");
  EXPECT_FALSE(PathDateText(dir.path()).empty());
  EXPECT_FALSE(PathDateText(dir.path() + kPathSeparator).empty());
  // Local midnight shows the date alone; in any zone but universal time, a date left in
  // universal time would show a time too.
  const std::string file = dir.Write("f", "");
  testing::SetLocalWriteTime(file, 2021, 7, 1, 0, 0, 0);
  const std::string midnight = PathDateText(file);
  EXPECT_FALSE(midnight.empty());
  EXPECT_EQ(midnight.find(':'), std::string::npos) << midnight;
  testing::SetLocalWriteTime(file, 2021, 1, 15, 13, 45, 10);
  const std::string afternoon = PathDateText(file);
  EXPECT_NE(afternoon.find(":45:10"), std::string::npos) << afternoon;
}

// The separators and roots of the host: "/" on POSIX; on Windows the backslash and the drive
// roots, the drive being the first two characters or the first three with their backslash.
TEST(PathRoutines, StripTrailingBackslashAndParentFolder) {
  struct Strip {
    std::string path, stripped;
  };
  const std::vector<Strip> strips =
      kOnWindows ? std::vector<Strip>{{"C:\\a\\b\\\\", "C:\\a\\b\\"}, {"C:\\", "C:"}, {"", ""}}
                 : std::vector<Strip>{{"/a/b//", "/a/b/"}, {"/", "/"}, {"", ""}};
  for (const auto& [path, stripped] : strips) {
    std::string changed = path;
    StripTrailingBackslash(changed);
    EXPECT_EQ(changed, stripped) << path;
  }
  struct Parent {
    std::string path, parent;
  };
  const std::vector<Parent> parents =
      kOnWindows ? std::vector<Parent>{{"C:\\a\\b", "C:\\a"},
                                       {"C:\\a", "C:\\"},
                                       {"C:\\", "C:\\"},
                                       {"ab\\c", "ab\\"},
                                       {"abc", "abc"}}
                 : std::vector<Parent>{{"/a/b", "/a"}, {"/a", "/"}, {"/", "/"}, {"abc", "abc"}};
  for (const auto& [path, parent] : parents) EXPECT_EQ(ParentFolder(path), parent) << path;
}

TEST(ForceFolder, CreatesEveryMissingLevel) {
  TempDir dir;
  EXPECT_TRUE(ForceFolder(dir / "new/sub/deep"));
  EXPECT_TRUE(IsFolder(dir / "new/sub/deep"));
  EXPECT_TRUE(ForceFolder(dir / "new/sub/deep/"));
  EXPECT_TRUE(ForceFolder(dir.path()));
  EXPECT_FALSE(ForceFolder(std::string("relative") + kPathSeparator + "folder"));
  EXPECT_FALSE(IsFolder("relative"));
  dir.Write("file", "x");
  EXPECT_FALSE(ForceFolder(dir / "file/below"));
  EXPECT_EQ(ReadBytes(dir / "file"), "x");
}

#ifdef _WIN32
TEST(ForceFolder, TheDriveMustBeThere) {
  std::string missing_drive;
  for (char letter = 'Z'; letter >= 'D' && missing_drive.empty(); --letter) {
    if (!IsFolder(std::string(1, letter) + ":\\")) missing_drive = std::string(1, letter) + ":";
  }
  ASSERT_FALSE(missing_drive.empty());
  EXPECT_FALSE(ForceFolder(missing_drive + "\\new\\sub"));
  EXPECT_FALSE(ForceFolder("\\\\server\\share\\new"));
  EXPECT_TRUE(ForceFolder("C:\\"));
}
#endif

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

TEST(AppendRoutines, LinesEndWithCrLf) {
  TempDir dir;
  const std::string file = dir.Write("out", "");
  AppendLine(file, "alpha");
  AppendFileText(file, dir.Write("text", "one\ntwo"));
  // Windows ends a line only at a carriage return.
  EXPECT_EQ(ReadBytes(file),
            kOnWindows ? "alpha\r\none\ntwo\r\n\r\n" : "alpha\r\none\r\ntwo\r\n\r\n");
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
#ifndef _WIN32
    // Should the append feed on itself, it fails at this size instead of filling the disk.
    const testing::FileSizeLimit limit(8 << 20);
#endif
    EXPECT_NO_THROW(AppendFileText(self, self));
  }
  // On Windows the lone line feeds stay inside their lines, which all end in CR LF.
  std::string converted = text;
  if (!kOnWindows) {
    converted.clear();
    for (char c : text) converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (std::size_t at = 0; (at = converted.find("\r\r\n", at)) != std::string::npos;) {
      converted.erase(at, 1);
    }
  }
  ASSERT_TRUE(text.ends_with("\r\n"));
  EXPECT_EQ(ReadBytes(self), text + converted + "\r\n");
  // Ctrl-Z ends the text at once, right after a carriage return as anywhere.
  const std::string out = dir.Write("out", "");
  AppendFileText(out, dir.Write("ctrl-z", "a\r\x1A\nb"));
  EXPECT_EQ(ReadBytes(out), "a\r\n\r\n");
}

TEST(ReadWholeFile, ReadsUpToTheLimit) {
  TempDir dir;
  EXPECT_EQ(ReadWholeFile(dir.Write("small", "abc"), 3), "abc");
  EXPECT_THROW(ReadWholeFile(dir.Write("large", "abcd"), 3), IoError);
  EXPECT_THROW(ReadWholeFile(dir.path(), 1 << 20), IoError);
  EXPECT_THROW(ReadWholeFile(dir / "missing", 1 << 20), IoError);
}

TEST(WithFinalDot, EndsTheTextWithOneDot) {
  EXPECT_EQ(WithFinalDot("Disk full"), "Disk full.");
  EXPECT_EQ(WithFinalDot("Done."), "Done.");
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

}  // namespace
}  // namespace quillon
