// Failures of the disk during a run: what the user is shown, and what is left on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "reliability/ChildProcess.h"
#include "reliability/HookedRunHost.h"
#include "reliability/OpenGate.h"
#include "support/TempDir.h"
#include "util/IoError.h"
#include "util/RunJournal.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A tmpfs of a chosen size over a folder of the test's own while it lives, so that a run can
// fill a disk for real; not mounted where this process may not mount.
struct Volume {
  Volume(std::string folder, const std::string& size) : point(std::move(folder)) {
    fs::create_directories(point);
    mounted = mount("quillon-test", point.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                    ("mode=0777,size=" + size).c_str()) == 0;
  }
  ~Volume() {
    if (mounted) umount2(point.c_str(), MNT_DETACH);
  }
  bool Resize(const std::string& size) const {
    return mount(nullptr, point.c_str(), nullptr, MS_REMOUNT | MS_NOSUID | MS_NODEV,
                 ("size=" + size).c_str()) == 0;
  }
  std::string point;
  bool mounted = false;
};

// The paths of the descriptors this process holds open.
Lines OpenPaths() {
  Lines paths;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const fs::path target = fs::read_symlink(entry.path(), error);
    if (!error) paths.push_back(target.string());
  }
  return paths;
}

// One engine run in this process; the outcome as text for a forked child to hand back.
std::string EngineOutcome(RecordingRunHost& host, const RunSettings& settings,
                          const std::string& source, const std::string& destination) {
  std::string outcome;
  try {
    ConversionRun run(host, settings);
    run.Run(source, destination);
    outcome = "no error";
  } catch (const IoError& error) {
    outcome = std::string("IoError: ") + error.what();
  }
  outcome += "\nstates:";
  for (const std::string& state : host.states) outcome += " " + state;
  outcome += "\nreport:";
  for (const std::string& line : host.report) outcome += " [" + line + "]";
  outcome += "\nopen:";
  for (const std::string& path : OpenPaths()) {
    if (path == source || path.starts_with(destination + "/")) outcome += " " + path;
  }
  return outcome;
}

class DiskFault : public ::testing::Test {
 protected:
  void SetUp() override { PutUsersFiles(temp / "dest"); }

  // The user's own files in the destination, which no run may touch.
  void PutUsersFiles(const std::string& folder) {
    destination = folder;
    fs::create_directories(destination + "/sub");
    WriteFile(destination + "/keep.txt", "keep me");
    WriteFile(destination + "/sub/other.txt", "other");
  }

  // The relative paths of the files the journal lists.
  static Lines JournalFiles(const std::string& journal) {
    Lines paths;
    if (const std::optional<RunJournal> read = ReadRunJournal(journal)) {
      for (const JournalFile& file : read->files) paths.push_back(file.path);
    }
    return paths;
  }

  std::string Settings(const std::string& fill_section) const {
    return temp.Write("settings.ini", "[Fill]\r\n" + fill_section);
  }

  // The destination as it stood before the run, with the names the run was to create.
  void ExpectDestinationHolds(const Lines& created) const {
    Lines expected{"keep.txt", "sub/", "sub/other.txt"};
    expected.insert(expected.end(), created.begin(), created.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(TreeOf(destination), expected);
    EXPECT_EQ(ReadBytes(destination + "/keep.txt"), "keep me");
    EXPECT_EQ(ReadBytes(destination + "/sub/other.txt"), "other");
  }

  TempDir temp;
  std::string destination;
};

TEST_F(DiskFault, AFillThatFailsLeavesNoFileOfItsNameAndTheNextRunMakesIt) {
  const std::string settings = Settings("Kind=var\r\n");
  const std::string journal = temp / "run.journal";
  const mode_t umask_now = umask(0);
  umask(umask_now);
  OpenToUnprivileged(temp.path(), false);
  // A small fill and one written unnamed first; a full disk (a volume too small for either)
  // and a file size limit (above what the journal takes at once), each hit by its first write.
  for (const std::int64_t size : {std::int64_t{600'000}, std::int64_t{3'000'000}}) {
    for (const bool disk_full : {true, false}) {
      SCOPED_TRACE((disk_full ? "a full disk, " : "a file size limit, ") + std::to_string(size));
      const std::string source =
          temp.Write("names.txt", "first|10\nbig|" + std::to_string(size) + "\nafter|10\n");
      std::optional<Volume> volume;
      if (disk_full) {
        // Only the superuser may mount: elsewhere the file size limit stands alone.
        if (!volume.emplace(temp / "volume", "512k").mounted) continue;
      }
      PutUsersFiles(volume ? volume->point : temp / "dest");
      const ChildLimits limits{disk_full ? std::nullopt : std::optional<rlim_t>(512 << 10)};
      const BatchResult failed = RunBatch(
          {"--settings", settings, "--journal", journal, source, destination}, temp.path(), limits);
      EXPECT_EQ(failed.exit_status, 3);
      EXPECT_EQ(failed.err, "Quillon: Disk full.\n");
      EXPECT_EQ(failed.out, "Started...\n");  // no summary
      ExpectDestinationHolds({"first.txt"});
      EXPECT_EQ(JournalFiles(journal), Lines{"first.txt"});

      // Nothing of the failed file counts as done: the next run makes it, as a normal user
      // where the tests may switch to one.
      if (volume) {
        ASSERT_TRUE(volume->Resize("16m"));
      }
      OpenToUnprivileged(destination, true);
      const BatchResult next = RunBatch({"--settings", settings, source, destination}, temp.path(),
                                        {{}, CanDropPrivileges()});
      EXPECT_EQ(next.out,
                "Started...\nExists already: first\nFinished!\nCreated files: 2/3\n"
                "Existing files: 1/3\nSuccess ratio: 3/3 or 100%\n");
      ExpectDestinationHolds({"after.txt", "big.txt", "first.txt"});
      struct stat made {};
      ASSERT_EQ(stat((destination + "/big.txt").c_str(), &made), 0);
      EXPECT_EQ(made.st_size, size);
      EXPECT_EQ(made.st_mode & 07777, 0666 & ~umask_now);
      for (const char* name : {"first.txt", "big.txt", "after.txt"}) {
        fs::remove(destination + "/" + name);
      }
    }
  }
}

// A run of a small file, then a large one, on a volume of its own; look is told of each open
// there of a file other than the small one while that open waits.
BatchResult RunHeldAtTheLargeFill(const std::string& destination, const std::string& work,
                                  const std::string& journal,
                                  const std::function<void(pid_t run)>& look) {
  const std::string settings = work + "/settings.ini";
  WriteFile(settings, "[Fill]\r\nKind=var\r\n");
  const std::string source = work + "/names.txt";
  WriteFile(source, "first|10\nbig|20000000\n");
  OpenGate gate(destination, [&](pid_t opener, const std::string& path) {
    if (!path.ends_with("/first.txt")) look(opener);
  });
  if (!gate.ok()) return {};
  return RunBatch({"--settings", settings, "--journal", journal, source, destination}, work);
}

TEST_F(DiskFault, ARunKilledWhileALargeFileIsFilledLeavesNoPartOfIt) {
  const Volume volume(temp / "volume", "64m");
  if (!volume.mounted) GTEST_SKIP() << "cannot mount a tmpfs";
  PutUsersFiles(volume.point);
  const std::string journal = temp / "run.journal";
  const BatchResult killed = RunHeldAtTheLargeFill(destination, temp.path(), journal,
                                                   [](pid_t run) { kill(run, SIGKILL); });
  if (killed.exit_status == -1) GTEST_SKIP() << "cannot watch the opens of a mount";
  EXPECT_EQ(killed.exit_status, 128 + SIGKILL);
  ExpectDestinationHolds({"first.txt"});
  EXPECT_EQ(JournalFiles(journal), Lines{"first.txt"});

  const BatchResult next =
      RunBatch({"--settings", temp / "settings.ini", temp / "names.txt", destination}, temp.path());
  EXPECT_EQ(next.out,
            "Started...\nExists already: first\nFinished!\nCreated files: 1/2\n"
            "Existing files: 1/2\nSuccess ratio: 2/2 or 100%\n");
  EXPECT_EQ(fs::file_size(destination + "/big.txt"), 20'000'000u);
}

TEST_F(DiskFault, ANameTakenWhileALargeFileIsFilledExistsAlreadyAndKeepsTheTakersFile) {
  const Volume volume(temp / "volume", "64m");
  if (!volume.mounted) GTEST_SKIP() << "cannot mount a tmpfs";
  PutUsersFiles(volume.point);
  // Another program's file, moved to the name once the run has looked at it.
  const std::string taker = destination + "/taker";
  WriteFile(taker, "the taker's");
  struct stat taken {};
  ASSERT_EQ(stat(taker.c_str(), &taken), 0);
  bool moved = false;
  const std::string journal = temp / "run.journal";
  const BatchResult run = RunHeldAtTheLargeFill(destination, temp.path(), journal, [&](pid_t) {
    moved = moved || renameat2(AT_FDCWD, taker.c_str(), AT_FDCWD,
                               (destination + "/big.txt").c_str(), RENAME_NOREPLACE) == 0;
  });
  if (run.exit_status == -1) GTEST_SKIP() << "cannot watch the opens of a mount";
  EXPECT_TRUE(moved) << "the name was taken before the other program came";
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out,
            "Started...\nExists already: big\nFinished!\nCreated files: 1/2\n"
            "Existing files: 1/2\nSuccess ratio: 2/2 or 100%\n");
  ExpectDestinationHolds({"big.txt", "first.txt"});
  EXPECT_EQ(ReadBytes(destination + "/big.txt"), "the taker's");
  struct stat now {};
  ASSERT_EQ(stat((destination + "/big.txt").c_str(), &now), 0);
  EXPECT_EQ(now.st_ino, taken.st_ino);
  EXPECT_EQ(JournalFiles(journal), Lines{"first.txt"});
}

TEST_F(DiskFault, DiskFullInTheEngineClosesTheSourceAndRestoresTheButtons) {
  const std::string source = temp.Write("names.txt", "big|3000000\nafter\n");
  const ChildResult child = RunInChild(
      [&] {
        RecordingRunHost host;
        RunSettings settings;
        settings.FillKind = "var";
        return EngineOutcome(host, settings, source, destination);
      },
      {rlim_t{1} << 16});
  EXPECT_EQ(child.text, "IoError: Disk full\nstates: running idle\nreport: [Started...]\nopen:");
  ExpectDestinationHolds({});
}

TEST_F(DiskFault, ReadOnlyDestinationRefusesEachNewFileAndKeepsTheOthers) {
  if (!CanDropPrivileges()) GTEST_SKIP() << "cannot run the batch command unprivileged";
  OpenToUnprivileged(temp.path(), false);
  const std::string source = temp.Write("names.txt", "a\nkeep\n");
  chmod(destination.c_str(), 0555);
  const BatchResult result = RunBatch(
      {"--settings", temp.Write("none.ini", ""), source, destination}, temp.path(), {{}, true});

  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "Started...\nUnable to create: a\nExists already: keep\nFinished!\n"
            "Created files: 0/2\nExisting files: 1/2\nSuccess ratio: 1/2 or 50%\n");
  ExpectDestinationHolds({});
}

TEST_F(DiskFault, APlanKnowsWhatTheUserMayNotWrite) {
  if (!CanDropPrivileges()) GTEST_SKIP() << "cannot run the batch command unprivileged";
  OpenToUnprivileged(temp.path(), false);
  const std::string source = temp.Write("names.txt", "a\nkeep\nsub\\b\n");
  chmod((destination + "/sub").c_str(), 0555);
  chmod(destination.c_str(), 0555);
  const std::vector<std::string> arguments = {"--settings", temp.Write("none.ini", ""), "--explain",
                                              source, destination};
  std::vector<std::string> planning = arguments;
  planning.insert(planning.begin(), "--dry-run");
  const BatchResult plan = RunBatch(planning, temp.path(), {{}, true});
  const BatchResult run = RunBatch(arguments, temp.path(), {{}, true});
  EXPECT_EQ(plan.out, run.out);
  EXPECT_EQ(run.out,
            "Started...\n"
            "Unable to create: a  [no permission to create in the destination]\n"
            "Exists already: keep\n"
            "Unable to create: sub\\b  [no permission to create in \"sub\"]\n"
            "Finished!\nCreated files: 0/3\nExisting files: 1/3\nSuccess ratio: 1/3 or 33%\n");

  // A destination that cannot be made is planned as refused, as the run refuses it.
  const std::string missing = destination + "/sub/new";
  const BatchResult refused = RunBatch({"--dry-run", source, missing}, temp.path(), {{}, true});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_EQ(refused.out, "Started...\nParent folder does not exist: " + missing +
                             "\nUnable to create parent folder: " + missing + "\n");
}

TEST_F(DiskFault, MissingDestinationUnderAReadOnlyFolderIsRefused) {
  if (!CanDropPrivileges()) GTEST_SKIP() << "cannot run the batch command unprivileged";
  OpenToUnprivileged(temp.path(), false);
  const std::string source = temp.Write("names.txt", "a\n");
  const std::string missing = destination + "/sub/new";
  chmod((destination + "/sub").c_str(), 0555);
  const BatchResult result =
      RunBatch({"--settings", temp.Write("none.ini", ""), "--yes", source, missing}, temp.path(),
               {{}, true});

  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.err,
            "Warning: Chosen parent folder is invalid or does not exist. I try to create it??\n"
            "Error: Unable to create " +
                missing + ". Probably invalid drive or not writable or use of bad characters!\n");
  EXPECT_EQ(result.out, "Started...\nParent folder does not exist: " + missing +
                            "\nUnable to create parent folder: " + missing + "\n");
  ExpectDestinationHolds({});
}

TEST_F(DiskFault, DestinationRemovedDuringTheRunReportsEachLaterLine) {
  const std::string source = temp.Write("names.txt", "a\nb\nc\n");
  HookedRunHost host;
  host.after_line = [&](int line) {
    if (line == 1) fs::remove_all(destination);
  };
  const RunSettings settings;
  ConversionRun run(host, settings);
  EXPECT_EQ(run.Run(source, destination), RunResult::Finished);
  EXPECT_EQ(host.report,
            (Lines{"Started...", "Unable to create: b", "Unable to create: c", "Finished!",
                   "Created files: 1/3", "Existing files: 0/3", "Success ratio: 1/3 or 33%"}));
  // Nothing brings the folder back, and nothing lands beside it.
  EXPECT_EQ(TreeOf(temp.path()), (Lines{"names.txt"}));
}

TEST_F(DiskFault, SourceGoneOrUnreadableBetweenCountingAndReadingEndsTheRun) {
  const std::string source = temp / "names.txt";
  struct Case {
    const char* what;
    std::function<void()> change;
    bool unprivileged;
    const char* error;
  };
  const std::vector<Case> cases{
      {"removed", [&] { fs::remove(source); }, false, "File not found"},
      {"made unreadable", [&] { chmod(source.c_str(), 0); }, true, "File access denied"},
      {"replaced by a folder",
       [&] {
         fs::remove(source);
         fs::create_directory(source);
       },
       false, "File access denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.unprivileged && !CanDropPrivileges()) continue;
    fs::remove_all(source);
    fs::remove(destination + "/a.txt");
    fs::remove(destination + "/b.txt");
    temp.Write("names.txt", "a\nb\n");
    // The unprivileged run may change the mode only of its own file.
    if (c.unprivileged && geteuid() == 0) {
      ASSERT_EQ(chown(source.c_str(), 65534, 65534), 0);
    }
    OpenToUnprivileged(temp.path(), false);
    OpenToUnprivileged(destination, true);
    const ChildResult child = RunInChild(
        [&] {
          HookedRunHost host;
          host.after_count = c.change;
          return EngineOutcome(host, RunSettings{}, source, destination);
        },
        {{}, c.unprivileged});
    EXPECT_EQ(child.text, std::string("IoError: ") + c.error +
                              "\nstates: running idle\nreport: [Started...]\nopen:");
    ExpectDestinationHolds({});
  }
}

TEST_F(DiskFault, SourceFailingWhileCountedIsToldAndTheButtonsComeBack) {
  // Opens as a file, but its first read fails (nothing is mapped at address 0).
  const std::string source = "/proc/self/mem";
  RecordingRunHost host;
  const RunSettings settings;
  ConversionRun run(host, settings);
  try {
    run.Run(source, destination);
    ADD_FAILURE() << "no error";
  } catch (const IoError& error) {
    EXPECT_EQ(std::string(error.what()), "I/O error 5");
  }
  EXPECT_EQ(host.boxes, (Lines{"Error: Can not read " + source}));
  EXPECT_EQ(host.report, (Lines{"Started..."}));
  EXPECT_EQ(host.states, (Lines{"running", "idle"}));
  ExpectDestinationHolds({});
}

TEST_F(DiskFault, UnreadableSourceIsToldTwice) {
  if (!CanDropPrivileges()) GTEST_SKIP() << "cannot run the batch command unprivileged";
  OpenToUnprivileged(temp.path(), false);
  const std::string source = temp.Write("names.txt", "a\n");
  chmod(source.c_str(), 0);
  const BatchResult result = RunBatch(
      {"--settings", temp.Write("none.ini", ""), source, destination}, temp.path(), {{}, true});
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_EQ(result.err, "Error: Can not read " + source + "\nQuillon: File access denied.\n");
  EXPECT_EQ(result.out, "Started...\n");
  ExpectDestinationHolds({});
}

TEST_F(DiskFault, FillTextFileMissingOrUnreadableIsRefusedBeforeAnyFileIsMade) {
  const std::string unreadable = temp.Write("unreadable.txt", "secret");
  chmod(unreadable.c_str(), 0);
  fs::create_directory(temp / "folder");
  struct Case {
    std::string fill_text_file;
    bool unprivileged;
    std::string box, line;
  };
  const std::string missing = temp / "missing.txt", folder = temp / "folder";
  const std::vector<Case> cases{
      {missing, false, missing + " does not exist! Please check complete path.",
       "Fill text file does not exist: " + missing},
      {"", false, "No fill text file given! Please choose one in the fill options.",
       "Fill text file does not exist: "},
      {folder, false, folder + " does not exist! Please check complete path.",
       "Fill text file does not exist: " + folder},
      {unreadable, true, "Can not read " + unreadable,
       "Fill text file can not be read: " + unreadable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("FillTextFile '" + c.fill_text_file + "'");
    if (c.unprivileged && !CanDropPrivileges()) continue;
    OpenToUnprivileged(temp.path(), false);
    OpenToUnprivileged(destination, true);
    const std::string source = temp.Write("names.txt", "a\nb\n");
    const std::string settings =
        Settings("Kind=single\r\nSource=1\r\nText=1\r\nFile name=" + c.fill_text_file + "\r\n");
    const BatchResult result =
        RunBatch({"--settings", settings, source, destination}, temp.path(), {{}, c.unprivileged});

    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "Error: " + c.box + "\n");
    EXPECT_EQ(result.out, "Started...\n" + c.line + "\n");
    ExpectDestinationHolds({});
  }
}

}  // namespace
}  // namespace quillon::testing
