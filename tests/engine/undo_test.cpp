// Undo by a journal that names files outside its destination, or through a link: nothing
// outside the destination goes, whatever the journal says; and nothing but the run's own file
// goes, however the files are swapped or replaced meanwhile.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "engine/RunUndo.h"
#include "support/HostFiles.h"
#include "support/TempDir.h"
#include "util/UniqueFd.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

FileIdentity IdentityOfPath(const std::string& path) {
  return IdentityOf(OpenTextFile(path).get());
}

TEST(UndoRun, RemovesNothingOutsideTheDestinationWhateverTheJournalNames) {
  TempDir dir;
  fs::create_directories(dir / "out/sub");
  const std::string outside = dir.Write("outside.txt", "keep");
  ASSERT_TRUE(testing::MakeFolderLink(dir / "out/up", dir.path()));
  RunJournal journal;
  journal.destination = dir / "out";
  journal.destination_identity = DestinationFolder(journal.destination).Identity();
  // Each names the outside file, with its true identity.
  const FileIdentity identity = IdentityOfPath(outside);
  for (const char* path :
       {"../outside.txt", "sub/../../outside.txt", "up/outside.txt", outside.c_str(), "up"}) {
    journal.files.push_back({path, identity});
  }
  std::vector<std::string> report;
  const UndoCounts counts =
      UndoRun(journal, [&](const std::string& line) { report.push_back(line); });
  EXPECT_EQ(counts.removed, 0);
  EXPECT_EQ(counts.kept, 5);
  EXPECT_TRUE(fs::exists(outside));
  EXPECT_TRUE(fs::exists(dir / "out/up/outside.txt")) << "the link and what it leads to stay";
  EXPECT_TRUE(testing::RemoveFolderLink(dir / "out/up"));
  EXPECT_EQ(report.back(), "Undone: 0 removed, 5 kept.");
}

TEST(UndoRun, AJournalOfNothingUndoesNothing) {
  std::vector<std::string> report;
  UndoRun(RunJournal{}, [&](const std::string& line) { report.push_back(line); });
  EXPECT_EQ(report, std::vector<std::string>{"Undone: 0 removed, 0 kept."});
}

// Files the journal's identity cannot vouch for are kept even where every field matches.
TEST(UndoRun, KeepsAFileItsIdentityCannotTellFromAnother) {
  TempDir dir;
  const std::string made = dir.Write("made.txt", "run");
  RunJournal journal;
  journal.destination = dir.path();
  journal.destination_identity = DestinationFolder(journal.destination).Identity();
  journal.started_seconds = IdentityOfPath(made).modified_seconds;
  struct Case {
    const char* what;
    void (*recorded)(FileIdentity&, RunJournal&);
    std::string line;
  };
  const Case cases[] = {
      {"born before the run began",
       [](FileIdentity& identity, RunJournal& run) {
         identity.birth_known = true;
         run.started_seconds = identity.birth_seconds + 10;
       },
       "Kept (changed since the run): made.txt"},
      {"no generation, no birth time, whole-second times",
       [](FileIdentity& identity, RunJournal&) {
         identity.generation_known = identity.birth_known = false;
         identity.changed_nanoseconds = identity.modified_nanoseconds = 0;
       },
       "Kept (cannot be told from a later file): made.txt"},
  };
  for (const Case& kept : cases) {
    RunJournal run = journal;
    run.files = {{"made.txt", IdentityOfPath(made)}};
    kept.recorded(run.files[0].identity, run);
    std::vector<std::string> report;
    UndoRun(run, [&](const std::string& line) { report.push_back(line); });
    EXPECT_EQ(report, (std::vector<std::string>{kept.line, "Undone: 0 removed, 1 kept."}))
        << kept.what;
    EXPECT_TRUE(fs::exists(made)) << kept.what;
  }
}

#ifndef _WIN32
// A destination holding the files of a run (its journal written by the run's writer) and the
// user's own files beside them.
class UndoRace : public ::testing::Test {
 protected:
  void MakeRun(int run_files, int user_files) {
    std::filesystem::create_directory(out);
    JournalWriter writer(journal_path);
    writer.Begin(out, DestinationFolder(out).Identity(), false);
    for (int i = 0; i < run_files; ++i) {
      const std::string name = "run-" + std::to_string(i);
      const UniqueFd file(open((out + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
      ASSERT_TRUE(file.valid());
      writer.RecordFile(name, file.get());
    }
    writer.Close();
    for (int j = 0; j < user_files; ++j) {
      dir.Write("out/user-" + std::to_string(j), "user " + std::to_string(j));
    }
  }
  // The user's files found anywhere in the destination, by what they hold.
  std::set<std::string> UserFilesLeft() const {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
      const std::string text = testing::ReadBytes(entry.path().string());
      if (text.starts_with("user ")) found.insert(text);
    }
    return found;
  }

  TempDir dir;
  std::string out = dir / "out";
  std::string journal_path = dir / "journal";
};

TEST_F(UndoRace, AFileSwappedInDuringTheUndoIsNeverTaken) {
  constexpr int kRunFiles = 2000;
  constexpr int kUserFiles = 50;
  MakeRun(kRunFiles, kUserFiles);
  const std::optional<RunJournal> journal = ReadRunJournal(journal_path);
  ASSERT_TRUE(journal);
  // Another program exchanges a user's file with the run's file the undo comes to next, and
  // back, over and over, until the undo ends.
  std::atomic<int> reached{0};
  std::atomic<bool> undone{false};
  std::thread exchanger([&] {
    const UniqueFd folder(open(out.c_str(), O_PATH | O_DIRECTORY));
    for (int turn = 0; !undone.load(); ++turn) {
      const int next = reached.load();
      const std::string run_name = "run-" + std::to_string(next);
      const std::string user_name = "user-" + std::to_string(turn % kUserFiles);
      renameat2(folder.get(), run_name.c_str(), folder.get(), user_name.c_str(), RENAME_EXCHANGE);
    }
  });
  std::vector<std::string> report;
  UndoRun(*journal, [&](const std::string& line) {
    report.push_back(line);
    reached.fetch_add(1);
  });
  undone.store(true);
  exchanger.join();
  EXPECT_EQ(UserFilesLeft().size(), std::size_t{kUserFiles}) << report.back();
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".quillon")) << entry.path();
  }
}

// A file system of 128-byte inodes, loop-mounted: whole-second times and no birth time.
class SecondsFileSystem : public UndoRace {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs the superuser";
    std::filesystem::create_directory(out);
    const std::string image = dir / "ext4.img";
    const std::string make = "truncate -s 16M '" + image + "' && mkfs.ext4 -q -F -I 128 '" + image +
                             "' 2>/dev/null && mount -o loop '" + image + "' '" + out + "'";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "no loop device to mount ext4 on";
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) EXPECT_EQ(std::system(("umount '" + out + "'").c_str()), 0);
  }
  bool mounted_ = false;
};

TEST_F(SecondsFileSystem, AFileReplacedUnderItsReusedInodeInTheSameSecondIsKept) {
  // The run's file is removed and another of its size written in its place, and the attempt
  // made again until that file has the same inode and the same second as the run's.
  std::optional<RunJournal> journal;
  struct stat replaced {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::remove_all(out + "/lost+found");
    std::filesystem::remove(out + "/run-0");
    MakeRun(1, 0);
    journal = ReadRunJournal(journal_path);
    ASSERT_TRUE(journal);
    std::filesystem::remove(out + "/run-0");
    dir.Write("out/run-0", "user 0");
    ASSERT_EQ(truncate((out + "/run-0").c_str(), 0), 0);
    ASSERT_EQ(stat((out + "/run-0").c_str(), &replaced), 0);
    const FileIdentity& made = journal->files[0].identity;
    if (replaced.st_ino == made.inode && replaced.st_mtime == made.modified_seconds &&
        replaced.st_ctime == made.modified_seconds) {
      break;
    }
  }
  ASSERT_EQ(replaced.st_ino, journal->files[0].identity.inode) << "the inode was never reused";
  std::vector<std::string> report;
  UndoRun(*journal, [&](const std::string& line) { report.push_back(line); });
  EXPECT_EQ(report, (std::vector<std::string>{"Kept (changed since the run): run-0",
                                              "Undone: 0 removed, 1 kept."}));
  EXPECT_TRUE(std::filesystem::exists(out + "/run-0"));
}
#endif

}  // namespace
}  // namespace quillon
