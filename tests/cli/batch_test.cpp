#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "cli/BatchRun.h"
#include "support/HostFiles.h"
#include "support/TempDir.h"
#include "util/Platform.h"

namespace quillon {
namespace {

using testing::BatchOptions;
#ifndef _WIN32
#endif
using testing::kEnd;
using testing::kOnWindows;
using testing::Outcome;
using testing::ReadBytes;
using testing::RunBatch;
using testing::TempDir;
using testing::Text;

class BatchCommand : public ::testing::Test {
 protected:
  TempDir dir;
  TempDir out;
  std::string settings = dir.Write("settings.ini", "");
};

TEST_F(BatchCommand, TheThreeLineExample) {
  // On Windows the run goes into a folder of a drive (C:\...), named with backslashes.
  if (kOnWindows) {
    ASSERT_TRUE(IsRootPath(out.path().substr(0, 3))) << out.path();
  }
  const std::string source = dir.Write("names.txt", "a\r\nb\r\na\r\n");
  const Outcome run = RunBatch({"--settings", settings, source, out.path()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Text({"Started...", "Exists already: a", "Finished!", "Created files: 2/3",
                           "Existing files: 1/3", "Success ratio: 3/3 or 100%"}));
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(std::filesystem::exists(out / "a.txt"));
  EXPECT_TRUE(std::filesystem::exists(out / "b.txt"));
  // The batch command never writes the settings file.
  EXPECT_EQ(ReadBytes(settings), "");
}

TEST_F(BatchCommand, ALinkedSubfolderIsNeverEntered) {
  // A symbolic link on POSIX; on Windows a junction, or under Wine its host's symbolic link,
  // which Wine shows as a reparse point.
  TempDir outside;
  ASSERT_TRUE(testing::MakeFolderLink(out / "sub", outside.path()));
  const std::string source = dir.Write("names.txt", "sub\\x\r\nsub/y\r\nz\r\n");
  const Outcome run = RunBatch({"--settings", settings, source, out.path()});
  EXPECT_TRUE(testing::RemoveFolderLink(out / "sub"));
  EXPECT_EQ(run.out,
            Text({"Started...", "Unable to create: sub\\x", "Unable to create: sub/y", "Finished!",
                  "Created files: 1/3", "Existing files: 0/3", "Success ratio: 1/3 or 33%"}));
  EXPECT_TRUE(std::filesystem::is_empty(outside.path()));
  EXPECT_TRUE(std::filesystem::exists(out / "z.txt"));
}

TEST_F(BatchCommand, SettingsComeFromTheGivenFile) {
  const std::string source = dir.Write("names.txt", "big|5\r\n");
  dir.Write("settings.ini",
            "[Fill]\r\nKind=var\r\nWith=65\r\n[Output extension]\r\nExtension=dat\r\n");
  EXPECT_EQ(RunBatch({"--settings", settings, source, out.path()}).status, 0);
  EXPECT_EQ(ReadBytes(out / "big.dat"), "AAAAA");
}

TEST_F(BatchCommand, RefusedRunsExitWithOne) {
  const Outcome missing = RunBatch({"--settings", settings, dir / "missing.txt", out.path()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, Text({"Error: " + dir / "missing.txt" +
                               " does not exist! Please check complete path."}));
  EXPECT_EQ(missing.out, Text({"Started...", "Does not exist: " + dir / "missing.txt"}));

  const std::string source = dir.Write("names.txt", "a\r\n");
  const Outcome refused = RunBatch({"--settings", settings, "--no", source, out / "new"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(
      refused.err,
      Text({"Warning: Chosen parent folder is invalid or does not exist. I try to create it??"}));
  EXPECT_FALSE(std::filesystem::exists(out / "new"));

  // Without a terminal and without --yes, a question is answered No.
  EXPECT_EQ(RunBatch({"--settings", settings, source, out / "new"}).status, 1);
}

TEST_F(BatchCommand, YesAnswersEveryQuestion) {
  const std::string source = dir.Write("names.txt", "a\r\n");
  const Outcome run = RunBatch({"--settings", settings, "--yes", source, out / "new/deep"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.err,
      Text({"Warning: Chosen parent folder is invalid or does not exist. I try to create it??",
            "Quillon: Creation succesfull"}));
  EXPECT_TRUE(std::filesystem::exists(out / "new/deep/a.txt"));
}

TEST_F(BatchCommand, UsageErrorsExitWithTwo) {
  EXPECT_EQ(RunBatch({}).status, 2);
  EXPECT_EQ(RunBatch({"only-one"}).status, 2);
  EXPECT_EQ(RunBatch({"a", "b", "c"}).status, 2);
  EXPECT_EQ(RunBatch({"--yes", "--no", "a", "b"}).status, 2);
  EXPECT_EQ(RunBatch({"--bogus", "a", "b"}).status, 2);
  EXPECT_EQ(RunBatch({"a", "b", "--settings"}).status, 2);
  EXPECT_NE(RunBatch({}).err.find("usage: quillon-batch"), std::string::npos);

  // A settings file named is the one the user meant: without it the run does not start.
  const std::string missing = dir / "missing.ini";
  const Outcome unread =
      RunBatch({"--settings", missing, dir.Write("names.txt", "a\n"), out.path()});
  EXPECT_EQ(unread.status, 2);
  EXPECT_EQ(unread.err,
            Text({"Error: Unable to read the settings file " + missing + ": File not found."}));
  EXPECT_EQ(unread.out, "");
}

TEST_F(BatchCommand, HelpAndVersionGoToStandardOutputAndRunNothing) {
  const std::string source = dir.Write("names.txt", "a\r\n");
  const Outcome help = RunBatch({"--yes", "--help", source, out.path()});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind(Text({"usage: quillon-batch [--settings FILE] [--yes|--no] [--dry-run] "
                                 "[--explain]"}),
                           0),
            0u);
  for (const char* option : {"--settings FILE", "--yes", "--no", "--dry-run", "--explain",
                             "--journal FILE", "--undo FILE", "--help", "--version"}) {
    EXPECT_NE(help.out.find(kEnd + "  " + option + " "), std::string::npos) << option;
  }
  const Outcome version = RunBatch({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, Text({"quillon-batch 3.0"}));
  EXPECT_EQ(version.err, "");
  EXPECT_FALSE(std::filesystem::exists(out / "a.txt"));
  // After "--" they are names like any other.
  const Outcome named = RunBatch({"--", "--help"});
  EXPECT_EQ(named.status, 2);
  EXPECT_EQ(named.out, "");
}

#ifndef _WIN32
TEST_F(BatchCommand, AFailureOfFileInputExitsWithThree) {
  // A pipe names a file that cannot be read as text: counted as unreadable, then the run
  // fails to open it.
  const std::string source = dir / "names.pipe";
  ASSERT_EQ(mkfifo(source.c_str(), 0600), 0);
  const Outcome run = RunBatch({"--settings", settings, source, out.path()});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, Text({"Started..."}));
  EXPECT_EQ(run.err, Text({"Error: Can not read " + source, "Quillon: File access denied."}));
}
#endif

TEST_F(BatchCommand, AFillTextFileMissingOrAFolderIsRefusedByTheChecksAndTheDryRunAlike) {
  const std::string source = dir.Write("names.txt", "a\r\nb\r\n");
  std::filesystem::create_directory(dir / "folder.txt");
  for (const std::string& fill : {dir / "gone.txt", dir / "folder.txt"}) {
    SCOPED_TRACE(fill);
    dir.Write("settings.ini", "[Fill]\r\nKind=single\r\nText=1\r\nFile name=" + fill + "\r\n");
    for (const bool dry : {true, false}) {
      std::vector<std::string> arguments{"--settings", settings, source, out.path()};
      if (dry) arguments.insert(arguments.begin(), "--dry-run");
      const Outcome run = RunBatch(arguments);
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.out, Text({"Started...", "Fill text file does not exist: " + fill}));
      EXPECT_EQ(run.err, Text({"Error: " + fill + " does not exist! Please check complete path."}));
      EXPECT_TRUE(std::filesystem::is_empty(out.path())) << "nothing is half made";
    }
  }
}

TEST_F(BatchCommand, AReportThatCannotBeWrittenEndsWithThree) {
  const std::string source = dir.Write("names.txt", "a\r\nb\r\n");
  const Outcome run = RunBatch({"--settings", settings, source, out.path()}, {.out_closed = true});
  EXPECT_EQ(run.status, 3);
  // The pipe's error as the host numbers it: EPIPE; on Windows ERROR_NO_DATA.
  EXPECT_EQ(run.err, Text({kOnWindows ? "Quillon: I/O error 232." : "Quillon: I/O error 32."}));
}

TEST_F(BatchCommand, RelativeDestinationIsCreatedInTheCurrentFolder) {
  dir.Write("names.txt", "a\r\n");
  const Outcome run =
      RunBatch({"--settings", settings, "--yes", "names.txt", "out/deep"}, {.folder = dir.path()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.err,
      Text({"Warning: Chosen parent folder is invalid or does not exist. I try to create it??",
            "Quillon: Creation succesfull"}));
  EXPECT_EQ(run.out, Text({"Started...", "Parent folder does not exist: out/deep",
                           "Parent folder created: out/deep", "Finished!", "Created files: 1/1",
                           "Existing files: 0/1", "Success ratio: 1/1 or 100%"}));
  EXPECT_TRUE(std::filesystem::exists(dir / "out/deep/a.txt"));
}

#ifdef _WIN32
TEST_F(BatchCommand, ASourceHeldByAnotherProgramIsNamedAsGiven) {
  dir.Write("names.txt", "a\r\n");
  // Opened without sharing, as an editor may hold a file.
  const HANDLE held =
      CreateFileA((dir / "names.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const Outcome run =
      RunBatch({"--settings", settings, "names.txt", out.path()}, {.folder = dir.path()});
  CloseHandle(held);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, Text({"Error: Can not read names.txt", "Quillon: File access denied."}));
}
#else
// Signals, pseudo-terminals, /dev/full and pipes in the file system are a POSIX host's.
TEST_F(BatchCommand, InterruptTerminateAndHangUpAreCancel) {
  std::string lines;
  for (int i = 0; i < 300000; ++i) lines += "n" + std::to_string(i) + "\r\n";
  const std::string source = dir.Write("names.txt", lines);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    TempDir destination;
    const Outcome run = RunBatch({"--settings", settings, "--yes", source, destination.path()},
                                 {.interrupt_on = "Really proceed??", .signal = signal});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Cancelled! Not all created.\n"), std::string::npos)
        << run.out.substr(0, 200);
    EXPECT_NE(run.out.find("Existing files: 0/300000\n"), std::string::npos);
    EXPECT_EQ(run.out.find("Created files: 300000/300000"), std::string::npos);
  }
}

TEST_F(BatchCommand, TerminatedDuringAFillTheFileStillCompletes) {
  constexpr std::size_t kBig = 20'000'000;
  // 101 lines, so the question comes, and the signal with it, before the big file is filled.
  std::string lines = "big\n";
  for (int i = 0; i < 100; ++i) lines += "n" + std::to_string(i) + "|0\n";
  const std::string source = dir.Write("names.txt", lines);
  dir.Write("settings.ini", "[Fill]\r\nKind=fixifnovar\r\nSize=" + std::to_string(kBig) + "\r\n");
  const Outcome run = RunBatch({"--settings", settings, "--yes", source, out.path()},
                               {.interrupt_on = "Really proceed??", .signal = SIGTERM});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Cancelled! Not all created.\n"), std::string::npos) << run.out;
  // A file the run began is one it finished: the next run never takes half a file as done.
  EXPECT_EQ(std::filesystem::file_size(out / "big.txt"), kBig);
}

// Runs the batch command with standard output and error on a terminal; gives what it showed.
std::string RunOnTerminal(const std::vector<std::string>& arguments) {
  testing::TerminalRun run(arguments, false);
  run.Wait();
  return run.Shown();
}

TEST_F(BatchCommand, ControlBytesAreShownNotObeyedOnATerminalAndPassedElsewhere) {
  dir.Write("settings.ini", "[Fill]\r\nKind=var\r\n");
  const std::string source = dir.Write("names.txt",
                                       "a\x1B]0;retitled\x07"
                                       "b|1\nx|1\tz\n");
  const std::string gone = dir / "gone\x1B[2J\x7F.txt";
  const std::vector<std::string> report_run{"--settings", settings, source, out.path()};
  const std::vector<std::string> message_run{"--settings", settings, gone, out.path()};

  const std::string shown = RunOnTerminal(report_run) + RunOnTerminal(message_run);
  EXPECT_NE(shown.find("Unable to create: a\\x1B]0;retitled\\x07b\r\n"), std::string::npos)
      << shown;
  EXPECT_NE(shown.find("x|1\tz: Unable to find valid size."), std::string::npos) << shown;
  EXPECT_NE(shown.find("Error: " + dir.path() + "/gone\\x1B[2J\\x7F.txt does not exist!"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("Does not exist: " + dir.path() + "/gone\\x1B[2J\\x7F.txt"),
            std::string::npos)
      << shown;
  EXPECT_EQ(shown.find('\x1B'), std::string::npos);
  EXPECT_EQ(shown.find('\x7F'), std::string::npos);

  // C1 controls, as raw bytes and as UTF-8, and an override that would carry the reason to
  // the front of its line.
  const std::string c1_source = dir.Write("c1.txt",
                                          "c\x9D"
                                          "0;t\x9C:\n"
                                          "d\xC2\x9B"
                                          "2J\xE2\x80\xAE:e\n");
  const std::string c1_shown =
      RunOnTerminal({"--explain", "--settings", settings, c1_source, out.path()});
  EXPECT_NE(c1_shown.find("Unable to create: c\\x9D0;t\\x9C:  [invalid character \":\"]\r\n"),
            std::string::npos)
      << c1_shown;
  EXPECT_NE(c1_shown.find("Unable to create: d\\u009B2J\\u202E:e  [invalid character \":\"]\r\n"),
            std::string::npos)
      << c1_shown;

  // To a pipe, every byte goes out as it is.
  EXPECT_NE(RunBatch(report_run)
                .out.find("Unable to create: a\x1B]0;retitled\x07"
                          "b\n"),
            std::string::npos);
  EXPECT_EQ(RunBatch(message_run).err,
            "Error: " + gone + " does not exist! Please check complete path.\n");
}

TEST_F(BatchCommand, AReportOrMessageThatCannotBeWrittenEndsWithThree) {
  const std::string source = dir.Write("names.txt", "a\r\nb\r\n");
  const Outcome report =
      RunBatch({"--settings", settings, source, out.path()}, {.out_file = "/dev/full"});
  EXPECT_EQ(report.status, 3);
  EXPECT_EQ(report.err, "Quillon: Disk full.\n");

  const Outcome message = RunBatch({"--settings", settings, dir / "missing.txt", out.path()},
                                   {.err_file = "/dev/full"});
  EXPECT_EQ(message.status, 3);
  EXPECT_EQ(message.out, "Started...\n");
}

TEST_F(BatchCommand, AnUnreadableSourceIsNamedAsGiven) {
  ASSERT_EQ(mkfifo((dir / "names.txt").c_str(), 0600), 0);  // no text file, so never read
  const Outcome run =
      RunBatch({"--settings", settings, "names.txt", out.path()}, {.folder = dir.path()});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "Error: Can not read names.txt\nQuillon: File access denied.\n");
}

#endif

}  // namespace
}  // namespace quillon
