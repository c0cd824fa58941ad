// What the platform layer does with what only Windows has: drive roots, the system's full
// form of a path, file attributes, devices, names that match whatever their letter case, the
// ANSI code page, the system's error codes.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/TextLineReader.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempDir;
namespace fs = std::filesystem;

std::string MissingDrive() {
  for (char letter = 'Z'; letter >= 'D'; --letter) {
    const std::string drive = std::string(1, letter) + ":";
    if (!IsFolder(drive + "\\")) return drive;
  }
  return {};
}

std::string IoErrorOf(void (*action)(const std::string&), const std::string& path) {
  try {
    action(path);
  } catch (const IoError& error) {
    return error.what();
  }
  return "no error";
}

TEST(WindowsPaths, DriveRootsStartPaths) {
  EXPECT_TRUE(IsRootPath("C:\\"));
  EXPECT_TRUE(IsRootPath("z:\\"));
  for (const char* path : {"C:", "C:\\a", "/", "\\", "CC\\"})
    EXPECT_FALSE(IsRootPath(path)) << path;
  for (const char* path : {"C:\\a", "c:/a", "\\\\server\\share"}) {
    EXPECT_TRUE(IsAbsolutePath(path)) << path;
  }
  for (const char* path : {"C:a", "\\a", "a\\b", ""}) EXPECT_FALSE(IsAbsolutePath(path)) << path;
}

TEST(WindowsPaths, ProgramPathsKeepTheDrivesBackslash) {
  EXPECT_EQ(FolderOfPath("C:\\Program Files\\Quillon\\quillon.exe"), "C:\\Program Files\\Quillon");
  EXPECT_EQ(FolderOfPath("C:\\quillon.exe"), "C:\\");
  EXPECT_EQ(IniPathFor("C:\\Tools\\quillon.exe"), "C:\\Tools\\quillon.ini");
  EXPECT_EQ(IniPathFor("C:\\q.d\\quillon"), "C:\\q.d\\quillon.ini");
  EXPECT_EQ(JoinPath("C:\\", "x"), "C:\\x");
  EXPECT_EQ(JoinPath("C:\\a", "x"), "C:\\a\\x");
  const std::string program = ExecutablePath();
  EXPECT_TRUE(IsAbsolutePath(program)) << program;
  EXPECT_TRUE(program.ends_with("\\util_tests.exe")) << program;
  EXPECT_EQ(HelpFileFor("C:\\Tools"), "C:\\Tools\\quillon.html");
}

TEST(WindowsPaths, AnchoredPathsTakeTheSystemsFullForm) {
  TempDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  EXPECT_EQ(AnchorToCurrentFolder("out/deep"), dir / "out/deep");
  EXPECT_EQ(AnchorToCurrentFolder("out\\..\\x"), dir / "x");
  fs::current_path(before);
  EXPECT_EQ(AnchorToCurrentFolder("C:/x/y"), "C:\\x\\y");
  EXPECT_EQ(AnchorToCurrentFolder(""), "");
}

TEST(WindowsPaths, DataFolderIsTheProgramFolderWhenTheUserMayWriteThere) {
  TempDir dir;
  EXPECT_EQ(DataFolderFor(dir.path()), dir.path());
  EXPECT_TRUE(fs::is_empty(dir.path()));  // the look leaves nothing behind
  // A folder no file can be made in: the user's application data.
  const std::string elsewhere = DataFolderFor(dir / "gone");
  EXPECT_TRUE(elsewhere.ends_with("\\Quillon")) << elsewhere;
  EXPECT_TRUE(IsFolder(elsewhere));
}

TEST(WindowsFiles, KindsAndSizesFromAttributesAndFindFirst) {
  TempDir dir;
  dir.Write("a.txt", "12345");
  EXPECT_EQ(GetPathKind("C:"), 'd');
  EXPECT_EQ(GetPathKind("C:\\"), 'd');
  EXPECT_EQ(GetPathKind(MissingDrive() + "\\"), 'n');
  EXPECT_EQ(FileSizeOf(dir / "a.txt"), 5u);
  // A wildcard names no file, whatever it would match.
  EXPECT_EQ(FileSizeOf(dir / "*.txt"), 0u);
  EXPECT_EQ(GetPathKind(dir / "*.txt"), 'n');
  EXPECT_FALSE(PathDateText("C:\\").empty());
  std::uint64_t free_bytes = 0;
  EXPECT_TRUE(VolumeFreeBytes("C:\\", free_bytes));
  EXPECT_GT(free_bytes, 0u);
  EXPECT_FALSE(VolumeFreeBytes(MissingDrive() + "\\", free_bytes));
}

TEST(WindowsFiles, NamesMatchWhateverTheirLetterCase) {
  TempDir dir;
  dir.Write("Keep.txt", "contents");
  EXPECT_EQ(GetPathKind(dir / "KEEP.TXT"), 'f');
  EXPECT_FALSE(CreateEmptyFile(dir / "keep.txt"));
  EXPECT_EQ(ReadBytes(dir / "Keep.txt"), "contents");
}

TEST(WindowsFiles, ReadOnlyFilesAreProtectedAndNeverReplaced) {
  TempDir dir;
  const std::string file = dir.Write("quillon.ini", "old");
  EXPECT_FALSE(IsWriteProtected(file));
  fs::permissions(file, fs::perms::all, fs::perm_options::remove);
  EXPECT_TRUE(IsWriteProtected(file));
  EXPECT_THROW(ReplaceFileAtomically(file, "new"), IoError);
  EXPECT_EQ(ReadBytes(file), "old");
  EXPECT_FALSE(IsWriteProtected(dir.path()));
  EXPECT_TRUE(IsWriteProtected(dir / "missing"));
}

TEST(WindowsFiles, AReplacedFileKeepsItsAttributes) {
  TempDir dir;
  const std::string file = dir.Write("quillon.ini", "old");
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
  ReplaceFileAtomically(file, "new");
  EXPECT_EQ(ReadBytes(file), "new");
  EXPECT_TRUE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST(WindowsFiles, DevicesAreNoTextFiles) {
  EXPECT_EQ(IoErrorOf([](const std::string& path) { ReadWholeFile(path, 100); }, "NUL"),
            "File access denied");
  EXPECT_THROW(TextLineReader("NUL"), IoError);
}

TEST(WindowsFiles, AnsiTextsReachTheFileSystemAsTheirCharacters) {
  TempDir dir;
  // One byte of the ANSI code page is one character of the name, not part of a UTF-8 one.
  const std::string name = "h\xE9llo";
  ASSERT_TRUE(CreateEmptyFile(dir / name));
  EXPECT_EQ(GetPathKind(dir / name), 'f');
  std::vector<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().wstring());
  }
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].size(), 5u);
}

TEST(WindowsErrors, TheSystemsCodesInTheUsersWords) {
  EXPECT_EQ(IoErrorText(ERROR_FILE_NOT_FOUND), "File not found");
  EXPECT_EQ(IoErrorText(ERROR_PATH_NOT_FOUND), "Invalid filename");
  EXPECT_EQ(IoErrorText(ERROR_INVALID_NAME), "Invalid filename");
  EXPECT_EQ(IoErrorText(ERROR_TOO_MANY_OPEN_FILES), "Too many open files");
  EXPECT_EQ(IoErrorText(ERROR_ACCESS_DENIED), "File access denied");
  EXPECT_EQ(IoErrorText(ERROR_SHARING_VIOLATION), "File access denied");
  EXPECT_EQ(IoErrorText(ERROR_HANDLE_EOF), "Read beyond end of file");
  EXPECT_EQ(IoErrorText(ERROR_DISK_FULL), "Disk full");
  EXPECT_EQ(IoErrorText(ERROR_NOT_READY), "I/O error 21");
  // As the system gives them: a missing file, and a file in a missing folder.
  TempDir dir;
  const auto append = [](const std::string& path) { AppendLine(path, "x"); };
  EXPECT_EQ(IoErrorOf(append, dir / "missing.txt"), "File not found");
  EXPECT_EQ(IoErrorOf(append, dir / "missing/x.txt"), "Invalid filename");
}

}  // namespace
}  // namespace quillon
