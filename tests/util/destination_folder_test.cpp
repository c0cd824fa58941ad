#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/HostFiles.h"
#include "support/TempDir.h"
#include "util/DestinationFolder.h"
#include "util/Platform.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::kOnWindows;
using testing::ReadBytes;
using testing::TempDir;

std::size_t EntriesIn(const std::string& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(folder)) ++count;
  return count;
}

TEST(FileSystemNameFor, MapsSeparatorsAndDropsTrailingDotsAndBlanks) {
  const std::pair<std::string, std::string> cases[] = {
      {"a.txt", "a.txt"},
      {"sub\\a.txt", "sub/a.txt"},
      {"sub/../a.txt", "sub/../a.txt"},
      {"/a.txt", "a.txt"},  // a leading separator stays beneath the folder
      {"a//b/./c.txt", "a/b/c.txt"},
      {"alpha.", "alpha"},
      {"alpha. . ", "alpha"},
      {" lead .x", " lead .x"},
      {"dir. \\x.txt", "dir/x.txt"},
      {"COM0.txt", "COM0.txt"},
      {"CONSOLE.txt", "CONSOLE.txt"},
      {"com10", "com10"},
      {"xcon.aux", "xcon.aux"},
  };
  for (const auto& [name, path] : cases) {
    const FileSystemName mapped = FileSystemNameFor(name);
    EXPECT_EQ(mapped.use, NameUse::Create) << name;
    EXPECT_EQ(mapped.path, path) << name;
  }
}

TEST(FileSystemNameFor, NamesWindowsCannotHoldAreOnlyLookedFor) {
  // Kept as they are, so a file of that very name is found.
  for (const std::string name :
       {"a:b.txt", "a|b.txt", "a\x01.txt", "CON", "nul", "com1.txt", "LpT9.tar.gz", "sub/aux.txt",
        "con.", "Prn .x.", "...", " ", "a/ /b.txt", "a/.../b", "a :b."}) {
    const FileSystemName mapped = FileSystemNameFor(name);
    EXPECT_EQ(mapped.use, NameUse::TestOnly) << name;
    EXPECT_EQ(mapped.path, name) << name;
  }
}

TEST(FileSystemNameFor, DeviceNamesOfEveryFormAreOnlyLookedFor) {
  // The superscript digits as the host's texts hold them.
  const std::string one = kHostTextIsUtf8 ? "\xC2\xB9" : "\xB9";
  const std::string two = kHostTextIsUtf8 ? "\xC2\xB2" : "\xB2";
  const std::string three = kHostTextIsUtf8 ? "\xC2\xB3" : "\xB3";
  for (const std::string& name :
       {std::string("CONIN$"), std::string("conout$.txt"), std::string("Conin$ .log"), "COM" + one,
        "com" + two + ".txt", "sub/LPT" + three + " .x.y", "lpt" + one}) {
    EXPECT_EQ(FileSystemNameFor(name).use, NameUse::TestOnly) << name;
    const CreateFailure failure = WhyNameRefused(name);
    EXPECT_EQ(failure.cause, CreateCause::DeviceName) << name;
    EXPECT_EQ(failure.subject, name.substr(name.find('/') + 1)) << name;
  }
  // Near misses: no device. A superscript digit in the other host's form is a plain character.
  const std::string other_one = kHostTextIsUtf8 ? "\xB9" : "\xC2\xB9";
  for (const std::string& name :
       {std::string("CONIN"), std::string("CONOUT$$"), std::string("xconin$"),
        std::string("CONIN$x.txt"), "COM" + one + one, "COM" + other_one,
        std::string("COM\xE2\x81\xB4") /* superscript four */, "LPT0" + one}) {
    EXPECT_EQ(FileSystemNameFor(name).use, NameUse::Create) << name;
  }
}

TEST(FileSystemNameFor, NamesThatClimbOrNameNoFileAreRefused) {
  for (const std::string& name :
       std::vector<std::string>{"../a.txt", "a\\..\\..\\b.txt", "..", ".", "a/..", "a/", "a/.", "",
                                std::string("a\0b", 3)}) {
    EXPECT_EQ(FileSystemNameFor(name).use, NameUse::Refused) << name;
  }
}

class DestinationFolderTest : public ::testing::TestWithParam<DestinationFolder::Resolution> {
 protected:
  void SetUp() override {
    fs::create_directories(temp / "dest/real");
    fs::create_directories(temp / "dest/folder");
    fs::create_directories(temp / "outside");
    temp.Write("dest/keep.txt", "keep me");
    ASSERT_TRUE(testing::MakeFolderLink(temp / "dest/sub", temp / "outside"));
    sub_is_link = true;
    // A link to a file would need rights a Windows user seldom has.
    if (!kOnWindows) fs::create_symlink("../outside/victim", temp / "dest/link-to-file");
  }
  void TearDown() override {
    if (sub_is_link) {
      EXPECT_TRUE(testing::RemoveFolderLink(temp / "dest/sub"));
    }
  }

  CreateOutcome Create(DestinationFolder& folder, const std::string& name) {
    CreatedFile file = folder.Create(name);
    file.Close();
    return file.outcome();
  }

  TempDir temp;
  const std::string destination = temp / "dest";
  bool sub_is_link = false;
};

TEST_P(DestinationFolderTest, NeverFollowsALinkNorClimbsAbove) {
  DestinationFolder folder(destination, GetParam());
  ASSERT_TRUE(folder.IsOpen());
  for (const std::string name : {"sub/x.txt", "sub\\y.txt", "sub/../z.txt", "sub/real/../a.txt",
                                 "../escape.txt", "real/../../escape.txt"}) {
    EXPECT_EQ(Create(folder, name), CreateOutcome::Failed) << name;
  }
  // A link at the name itself is there already, and is left as it is.
  EXPECT_EQ(Create(folder, "sub"), CreateOutcome::ExistsAlready);
  if (!kOnWindows) {
    EXPECT_EQ(Create(folder, "link-to-file"), CreateOutcome::ExistsAlready);
  }
  EXPECT_EQ(EntriesIn(temp / "outside"), 0u);
}

TEST_P(DestinationFolderTest, CreatesInRealSubfoldersAndTellsWhatIsThere) {
  DestinationFolder folder(destination, GetParam());
  EXPECT_EQ(Create(folder, "new.txt"), CreateOutcome::Created);
  EXPECT_EQ(Create(folder, "real/x.txt"), CreateOutcome::Created);
  EXPECT_EQ(Create(folder, "real\\..\\w.txt"), CreateOutcome::Created);
  EXPECT_EQ(Create(folder, "alpha."), CreateOutcome::Created);
  EXPECT_EQ(Create(folder, "keep.txt"), CreateOutcome::ExistsAlready);
  // Windows finds a name whatever its letter case; POSIX tells them apart.
  EXPECT_EQ(Create(folder, "KEEP.txt"),
            kOnWindows ? CreateOutcome::ExistsAlready : CreateOutcome::Created);
  EXPECT_EQ(Create(folder, "folder"), CreateOutcome::Failed);
  EXPECT_EQ(Create(folder, "missing/x.txt"), CreateOutcome::Failed);
  EXPECT_EQ(ReadBytes(temp / "dest/keep.txt"), "keep me");
  EXPECT_TRUE(fs::is_regular_file(temp / "dest/real/x.txt"));
  EXPECT_TRUE(fs::is_regular_file(temp / "dest/w.txt"));
  EXPECT_TRUE(fs::is_regular_file(temp / "dest/alpha"));
}

TEST_P(DestinationFolderTest, AfterAFileThatExistedEveryNameEndsAsAfterANewOne) {
  // After a file that existed the next name is looked for first: the outcome is the same.
  std::vector<std::pair<std::string, CreateOutcome>> cases = {
      {"keep.txt", CreateOutcome::ExistsAlready}, {"folder", CreateOutcome::Failed},
      {"missing/x.txt", CreateOutcome::Failed},   {"sub/x.txt", CreateOutcome::Failed},
      {"real/new.txt", CreateOutcome::Created},   {"new.", CreateOutcome::Created},
  };
  if (!kOnWindows) cases.emplace_back("link-to-file", CreateOutcome::ExistsAlready);
  for (const bool after_existing : {false, true}) {
    fs::remove(temp / "dest/real/new.txt");
    fs::remove(temp / "dest/new");
    DestinationFolder folder(destination, GetParam());
    int fresh = 0;
    for (const auto& [name, outcome] : cases) {
      const std::string before = after_existing ? "keep.txt" : "fresh" + std::to_string(fresh++);
      ASSERT_EQ(Create(folder, before),
                after_existing ? CreateOutcome::ExistsAlready : CreateOutcome::Created);
      EXPECT_EQ(Create(folder, name), outcome) << name << " after " << before;
    }
  }
  EXPECT_EQ(ReadBytes(temp / "dest/keep.txt"), "keep me");
  EXPECT_EQ(EntriesIn(temp / "outside"), 0u);
}

TEST_P(DestinationFolderTest, NamesWindowsCannotHoldAreFoundButNeverMade) {
  // Only another host can leave such files in the folder: on Windows none is ever there.
  if (!kOnWindows) {
    temp.Write("dest/a:b.txt", "there");
    temp.Write("dest/CON.txt", "there");
  }
  DestinationFolder folder(destination, GetParam());
  const CreateOutcome there = kOnWindows ? CreateOutcome::Failed : CreateOutcome::ExistsAlready;
  EXPECT_EQ(Create(folder, "a:b.txt"), there);
  EXPECT_EQ(Create(folder, "CON.txt"), there);
  EXPECT_EQ(Create(folder, "sub/CON.txt"), CreateOutcome::Failed);  // not through the link
  // Nothing made: a look by name would find a device on Windows.
  const std::size_t entries = EntriesIn(destination);
  for (const std::string name : {"c:d.txt", "nul", "com1.txt", "a/ /b.txt", "..."}) {
    EXPECT_EQ(Create(folder, name), CreateOutcome::Failed) << name;
  }
  EXPECT_EQ(EntriesIn(destination), entries);
}

TEST_P(DestinationFolderTest, HeldFolderStaysWhereTheRunStarted) {
  ASSERT_TRUE(testing::MakeFolderLink(temp / "chosen", destination));
  DestinationFolder folder(temp / "chosen", GetParam());
  // The path now leads elsewhere; the files still go where it led at the start.
  ASSERT_TRUE(testing::RemoveFolderLink(temp / "chosen"));
  ASSERT_TRUE(testing::MakeFolderLink(temp / "chosen", temp / "outside"));
  EXPECT_EQ(Create(folder, "after.txt"), CreateOutcome::Created);
  EXPECT_TRUE(fs::exists(temp / "dest/after.txt"));
  EXPECT_EQ(EntriesIn(temp / "outside"), 0u);
  EXPECT_TRUE(testing::RemoveFolderLink(temp / "chosen"));
  EXPECT_FALSE(DestinationFolder(temp / "missing", GetParam()).IsOpen());
  DestinationFolder missing(temp / "missing", GetParam());
  EXPECT_EQ(Create(missing, "x"), CreateOutcome::Failed);
}

TEST_P(DestinationFolderTest, SubfolderSwappedForALinkMeanwhileLeadsNowhereOutside) {
  ASSERT_TRUE(testing::RemoveFolderLink(temp / "dest/sub"));
  sub_is_link = false;
  fs::create_directory(temp / "dest/sub");
  DestinationFolder folder(destination, GetParam());
  // Until both outcomes have been met many times, however the two sides are scheduled.
  int created = 0, failed = 0;
  {
    const testing::FolderSwapper swapper(temp / "dest/sub", temp / "outside");
    for (int i = 0; i < 3000 || ((created < 100 || failed < 100) && i < 1'000'000); ++i) {
      const CreateOutcome outcome = Create(folder, "sub/n" + std::to_string(i));
      ASSERT_NE(outcome, CreateOutcome::ExistsAlready);
      (outcome == CreateOutcome::Created ? created : failed) += 1;
    }
  }
  EXPECT_EQ(EntriesIn(temp / "outside"), 0u);
  EXPECT_EQ(EntriesIn(temp / "dest/sub"), static_cast<std::size_t>(created));
  EXPECT_GE(created, 100);
  EXPECT_GE(failed, 100);
}

TEST_P(DestinationFolderTest, AFileDiscardedNeverTakesTheFileThatTookItsName) {
  DestinationFolder folder(destination, GetParam());
  CreatedFile moved = folder.Create("taken.txt");
  fs::rename(temp / "dest/taken.txt", temp / "dest/aside.txt");
  temp.Write("dest/taken.txt", "the user's");
  moved.Discard();
  EXPECT_EQ(ReadBytes(temp / "dest/taken.txt"), "the user's");
}

INSTANTIATE_TEST_SUITE_P(Resolutions, DestinationFolderTest,
                         ::testing::Values(DestinationFolder::Resolution::Kernel,
                                           DestinationFolder::Resolution::ComponentWalk),
                         [](const auto& info) {
                           return info.param == DestinationFolder::Resolution::Kernel
                                      ? "Kernel"
                                      : "ComponentWalk";
                         });

}  // namespace
}  // namespace quillon
