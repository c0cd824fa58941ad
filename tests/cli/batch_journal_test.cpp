// The batch command's dry run, reasons, journal and undo. On Windows (under Wine) all but what
// needs the POSIX host: a watch of the destination's changes and a kill in the middle of a run.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/BatchRun.h"
#include "support/TempDir.h"
#include "util/Platform.h"
#ifndef _WIN32
#include "util/ChangeWatch.h"
#endif

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::Outcome;
using testing::ReadBytes;
using testing::RunBatch;
using testing::TempDir;
using testing::Text;

// Every entry beneath the folder with its kind, size and modification time.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const auto status = fs::symlink_status(entry.path());
    std::string line = entry.path().string() + " " + std::to_string(int(status.type()));
    if (fs::is_regular_file(status)) {
      line += " " + std::to_string(fs::file_size(entry.path())) + " " +
              std::to_string(fs::last_write_time(entry.path()).time_since_epoch().count());
    }
    entries.push_back(line);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

class BatchJournal : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(out / "sub");
    dir.Write("other.txt", "not the run's");
  }
  TempDir dir;
  TempDir out;
  std::string settings = dir.Write("settings.ini", "[Fill]\r\nKind=var\r\n");
  std::string source =
      dir.Write("names.txt", "a|3\r\nb\r\n\r\na\r\nbad:x\r\nmissing\\y\r\nsub\\c\r\nx|zz\r\n" +
                                 std::string(130, 'n') + "\r\n");
  std::string journal = dir / "run.journal";
};

TEST_F(BatchJournal, ADryRunPrintsTheRunsReportAndTouchesNothing) {
#ifndef _WIN32
  FolderChangeNotifier notifier;
  const std::uint32_t all = kNotifyFileName | kNotifyDirName | kNotifyAttributes;
  ASSERT_GE(notifier.Add(out.path(), all), 0);
  ASSERT_GE(notifier.Add(out / "sub", all), 0);
#endif
  const std::vector<std::string> before = Listing(out.path());

  const Outcome dry = RunBatch({"--settings", settings, "--dry-run", source, out.path()});
  EXPECT_EQ(Listing(out.path()), before);
#ifndef _WIN32
  EXPECT_TRUE(notifier.ReadChanges().empty()) << "the dry run changed the destination";
#endif

  const Outcome run = RunBatch({"--settings", settings, source, out.path()});
  EXPECT_EQ(dry.status, 0);
  EXPECT_EQ(dry.out, run.out);
  EXPECT_EQ(dry.err, run.err);
  EXPECT_NE(Listing(out.path()), before) << "the listing saw nothing of the run either";
#ifndef _WIN32
  EXPECT_FALSE(notifier.ReadChanges().empty()) << "the watch saw nothing of the run either";
#endif

  // Refused at its checks, the dry run exits as the run would.
  const Outcome missing = RunBatch({"--dry-run", dir / "none.txt", out.path()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, Text({"Started...", "Does not exist: " + dir / "none.txt"}));
}

TEST_F(BatchJournal, ADryRunPlansAMissingDestinationWithoutMakingIt) {
  const Outcome dry = RunBatch({"--settings", settings, "--dry-run", source, out / "new"});
  EXPECT_EQ(dry.status, 0);
  EXPECT_EQ(dry.err, "");
  EXPECT_FALSE(fs::exists(out / "new"));
  const Outcome run = RunBatch({"--settings", settings, "--yes", source, out / "new"});
  EXPECT_EQ(dry.out, run.out);
}

TEST_F(BatchJournal, ExplainAppendsTheReasonToEachRefusedLine) {
  const Outcome explained = RunBatch({"--settings", settings, "--explain", source, out.path()});
  const std::size_t path_length = out.path().size() + 1 + 130 + 4;
  EXPECT_EQ(explained.out,
            Text({"Started...", "Blank line met... all blanks will be ignored.",
                  "Exists already: a", "Unable to create: bad:x  [invalid character \":\"]",
                  "Unable to create: missing\\y  [missing subfolder \"missing\"]",
                  "x|zz: Unable to find valid size. Size set to 0. ",
                  "Warning: file to be made longer than 127 characters. Forbidden. Possibly bad "
                  "text-file given!  [path of " +
                      std::to_string(path_length) + " characters, over 127]",
                  "Finished!", "Blank lines met: 1", "Created files: 4/8", "Existing files: 1/8",
                  "Success ratio: 5/8 or 62%"}));
  EXPECT_EQ(ReadBytes(out / "a.txt"), "000");
  // The same with --dry-run, on a disk where every file now exists.
  const Outcome again =
      RunBatch({"--settings", settings, "--dry-run", "--explain", source, out.path()});
  EXPECT_NE(again.out.find(Text({"Unable to create: bad:x  [invalid character \":\"]"})),
            std::string::npos);
  EXPECT_NE(again.out.find(Text({"Created files: 0/8", "Existing files: 5/8"})), std::string::npos);
}

TEST_F(BatchJournal, UndoRemovesOnlyWhatIsUnchangedAndNeverFollowsALink) {
  ASSERT_EQ(RunBatch({"--settings", settings, "--journal", journal, source, out.path()}).status, 0);
  // b.txt written to since, c replaced by another file, x.txt by a link elsewhere: on POSIX to
  // a file, on Windows (where a junction leads to a folder only) to the folder of that file.
  std::ofstream(out / "b.txt", std::ios::app) << "more";
  fs::remove(out / "sub/c.txt");
  std::ofstream(out / "sub/c.txt") << "";
  fs::remove(out / "x.txt");
#ifdef _WIN32
  ASSERT_TRUE(testing::MakeFolderLink(out / "x.txt", dir.path()));
#else
  fs::create_symlink(dir / "other.txt", out / "x.txt");
#endif

  const Outcome undo = RunBatch({"--undo", journal});
  EXPECT_EQ(undo.status, 0);
  const std::string c_path = std::string("sub") + kPathSeparator + "c.txt";
  EXPECT_EQ(undo.out, Text({"Removed: a.txt", "Kept (changed since the run): b.txt",
                            "Kept (changed since the run): " + c_path,
                            "Kept (changed since the run): x.txt", "Undone: 1 removed, 3 kept."}));
  EXPECT_FALSE(fs::exists(out / "a.txt"));
  EXPECT_TRUE(fs::exists(out / "b.txt") && fs::exists(out / "sub/c.txt"));
  EXPECT_EQ(ReadBytes(dir / "other.txt"), "not the run's");
#ifdef _WIN32
  EXPECT_TRUE(fs::exists(out / "x.txt/other.txt")) << "the link stays, and so does its target";
  EXPECT_TRUE(testing::RemoveFolderLink(out / "x.txt"));
#else
  EXPECT_TRUE(fs::is_symlink(out / "x.txt"));
#endif

  // Undone again: what it removed is gone now.
  EXPECT_EQ(RunBatch({"--undo", journal}).out.rfind(Text({"Kept (gone): a.txt"}), 0), 0u);
}

TEST_F(BatchJournal, UndoRemovesTheDestinationItCreatedOnceEmpty) {
  const std::string made = out / "made/deeper";
  ASSERT_EQ(RunBatch({"--settings", settings, "--yes", "--journal", journal, source, made}).status,
            0);
  EXPECT_TRUE(fs::exists(made + "/a.txt"));
  const Outcome undo = RunBatch({"--undo", journal});
  EXPECT_EQ(undo.status, 0);
  EXPECT_NE(undo.out.find(Text({"Undone: 3 removed, 0 kept."})), std::string::npos) << undo.out;
  EXPECT_FALSE(fs::exists(made));
  // The folder above it was made by the same run, but the journal names the destination only.
  EXPECT_TRUE(fs::exists(out / "made"));
}

TEST_F(BatchJournal, UndoNeverLeavesTheJournalsDestination) {
  ASSERT_EQ(RunBatch({"--settings", settings, "--journal", journal, source, out.path()}).status, 0);
  // The destination's path now leads to another folder holding files of the same names.
  fs::rename(out.path(), dir / "moved");
  fs::create_directory(out.path());
  std::ofstream(out / "a.txt") << "";
  const Outcome undo = RunBatch({"--undo", journal});
  EXPECT_NE(undo.out.find(Text({"Kept (gone): a.txt"})), std::string::npos);
  EXPECT_TRUE(fs::exists(out / "a.txt"));
  EXPECT_TRUE(fs::exists(dir / "moved/a.txt"));
}

TEST_F(BatchJournal, AFileThatIsNoJournalExitsWithOneAndBadUseWithTwo) {
  const Outcome not_journal = RunBatch({"--undo", source});
  EXPECT_EQ(not_journal.status, 1);
  EXPECT_EQ(not_journal.err, Text({"Error: " + source + " is not a journal of a run."}));
  EXPECT_EQ(RunBatch({"--undo", dir / "missing"}).status, 1);
  EXPECT_EQ(RunBatch({"--undo", journal, source, out.path()}).status, 2);
  EXPECT_EQ(RunBatch({"--dry-run", "--journal", journal, source, out.path()}).status, 2);
  EXPECT_EQ(RunBatch({"--journal"}).status, 2);
}

TEST_F(BatchJournal, AFileTheHostWillNotRemoveIsReportedAndTheExitSaysSo) {
  ASSERT_EQ(RunBatch({"--settings", settings, "--journal", journal, source, out.path()}).status, 0);
#ifdef _WIN32
  // A read-only file is not deleted.
  fs::permissions(out / "a.txt", fs::perms::owner_write, fs::perm_options::remove);
#else
  // A folder the user may not write to; the superuser, whom permissions do not stop, gets a
  // read-only mount of it.
  const bool superuser = geteuid() == 0;
  if (superuser) {
    const std::string bind = "mount --bind '" + out.path() + "' '" + out.path() +
                             "' && mount -o remount,ro,bind '" + out.path() + "'";
    if (std::system(bind.c_str()) != 0) GTEST_SKIP() << "no read-only mount";
  } else {
    fs::permissions(out.path(), fs::perms::owner_write, fs::perm_options::remove);
  }
#endif
  const Outcome undo = RunBatch({"--undo", journal});
#ifndef _WIN32
  if (superuser) EXPECT_EQ(std::system(("umount '" + out.path() + "'").c_str()), 0);
  fs::permissions(out.path(), fs::perms::owner_write, fs::perm_options::add);
#endif
  EXPECT_EQ(undo.status, 3);
  EXPECT_EQ(undo.out.find(Text({"Not removed (File access denied): a.txt"})), 0u) << undo.out;
  EXPECT_NE(undo.out.find(" not removed."), std::string::npos) << undo.out;
  EXPECT_TRUE(fs::exists(out / "a.txt"));
#ifdef _WIN32
  fs::permissions(out / "a.txt", fs::perms::owner_write, fs::perm_options::add);
#endif
  // Once the host lets it, the same journal removes it.
  EXPECT_EQ(RunBatch({"--undo", journal}).status, 0);
  EXPECT_FALSE(fs::exists(out / "a.txt"));
}

#ifndef _WIN32
TEST_F(BatchJournal, TheJournalOfARunKilledHalfwayUndoesWhatWasMade) {
  std::string many;
  for (int i = 0; i < 200000; ++i) many += "f" + std::to_string(i) + "\r\n";
  const std::string big = dir.Write("many.txt", many);
  // Files appearing in the destination are the event to wait for: each one created after the
  // first means the file before it was filled and its record written.
  FolderChangeNotifier notifier;
  ASSERT_GE(notifier.Add(out.path(), kNotifyFileName), 0);
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    testing::ExecBatch({"--settings", settings, "--yes", "--journal", journal, big, out.path()});
  }
  // Killed once a good part of the files is there.
  std::size_t created = 0;
  while (created < 2000) {
    pollfd ready{notifier.Descriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&ready, 1, 60000), 1) << "the run made no more files";
    for (const FolderChange& change : notifier.ReadChanges()) {
      if (change.kind == FolderChange::Kind::Created) ++created;
      if (change.kind == FolderChange::Kind::Overflow) created = 2000;
    }
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was killed";

  const Outcome undo = RunBatch({"--undo", journal});
  EXPECT_EQ(undo.status, 0);
  EXPECT_NE(undo.out.find(" removed, 0 kept.\n"), std::string::npos);
  // At most the file being made when the kill came is left.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(out.path())) {
    if (entry.path().filename() != "sub") left.push_back(entry.path().filename());
  }
  EXPECT_LE(left.size(), 1u);
}
#endif

}  // namespace
}  // namespace quillon
