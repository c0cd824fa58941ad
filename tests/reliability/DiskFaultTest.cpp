// Failures of the disk during a run: what the user is shown, and what is left on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "reliability/ChildProcess.h"
#include "reliability/HookedRunHost.h"
#include "support/TempDir.h"
#include "util/IoError.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

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
  void SetUp() override {
    destination = temp / "dest";
    fs::create_directory(destination);
    temp.Write("dest/keep.txt", "keep me");
    fs::create_directory(destination + "/sub");
    temp.Write("dest/sub/other.txt", "other");
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

TEST_F(DiskFault, DiskFillingUpWhileFillingEndsTheRunWithDiskFull) {
  // The disk fills within the first write of the fill, and in a later one.
  for (const rlim_t limit : {rlim_t{1} << 20, rlim_t{20} << 20}) {
    const std::string source = temp.Write("names.txt", "first|10\nbig|$3000000\nafter|10\n");
    const BatchResult result = RunBatch(
        {"--settings", Settings("Kind=var\r\n"), source, destination}, temp.path(), {limit});

    EXPECT_EQ(result.exit_status, 3);
    EXPECT_EQ(result.err, "Quillon: Disk full.\n");
    EXPECT_EQ(result.out, "Started...\n");  // no summary
    ExpectDestinationHolds({"big.txt", "first.txt"});
    EXPECT_EQ(ReadBytes(destination + "/first.txt"), std::string(10, '0'));
    // The failing file stays as far as it was written; the lines after it are not reached.
    EXPECT_EQ(ReadBytes(destination + "/big.txt"), std::string(limit, '0'));
    fs::remove(destination + "/first.txt");
    fs::remove(destination + "/big.txt");
  }
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
  ExpectDestinationHolds({"big.txt"});
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

TEST_F(DiskFault, FillTextFileMissingOrUnreadableEndsTheRunAtTheFirstFile) {
  const std::string unreadable = temp.Write("unreadable.txt", "secret");
  chmod(unreadable.c_str(), 0);
  fs::create_directory(temp / "folder");
  struct Case {
    std::string fill_text_file;
    bool unprivileged;
    std::string error;
  };
  const std::vector<Case> cases{
      {temp / "missing.txt", false, "File not found"},
      {"", false, "File not found"},
      {temp / "folder", false, "File access denied"},
      {unreadable, true, "File access denied"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("FillTextFile '" + c.fill_text_file + "'");
    if (c.unprivileged && !CanDropPrivileges()) continue;
    fs::remove(destination + "/a.txt");
    OpenToUnprivileged(temp.path(), false);
    OpenToUnprivileged(destination, true);
    const std::string source = temp.Write("names.txt", "a\nb\n");
    const std::string settings =
        Settings("Kind=single\r\nSource=1\r\nText=1\r\nFile name=" + c.fill_text_file + "\r\n");
    const BatchResult result =
        RunBatch({"--settings", settings, source, destination}, temp.path(), {{}, c.unprivileged});

    EXPECT_EQ(result.exit_status, 3);
    EXPECT_EQ(result.err, "Quillon: " + c.error + ".\n");
    EXPECT_EQ(result.out, "Started...\n");
    // The first file keeps what was written before the failure; the second is never made.
    ExpectDestinationHolds({"a.txt"});
    EXPECT_EQ(ReadBytes(destination + "/a.txt"), "a\r\n");
  }
}

}  // namespace
}  // namespace quillon::testing
