#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempDir.h"

namespace quillon {
namespace {

using testing::ReadBytes;
using testing::TempDir;

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs the batch command with the given arguments and standard input from /dev/null.
// With interrupt_on set, sends SIGINT once that text appears on standard error.
Outcome RunBatch(const std::vector<std::string>& arguments, const std::string& interrupt_on = "") {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe");
  const pid_t child = fork();
  if (child == 0) {
    dup2(open("/dev/null", O_RDONLY), 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    std::vector<char*> argv{const_cast<char*>(QUILLON_BATCH_PATH)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(QUILLON_BATCH_PATH, argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  Outcome outcome;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  bool interrupted = false;
  int open_pipes = 2;
  while (open_pipes > 0) {
    poll(fds, 2, -1);
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      char buffer[65536];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
        continue;
      }
      (i == 0 ? outcome.out : outcome.err).append(buffer, static_cast<std::size_t>(got));
    }
    if (!interrupted && !interrupt_on.empty() && outcome.err.find(interrupt_on) != std::string::npos) {
      kill(child, SIGINT);
      interrupted = true;
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

class BatchCommand : public ::testing::Test {
 protected:
  TempDir dir;
  TempDir out;
  std::string settings = dir.Write("settings.ini", "");
};

TEST_F(BatchCommand, TheThreeLineExample) {
  const std::string source = dir.Write("names.txt", "a\r\nb\r\na\r\n");
  const Outcome run = RunBatch({"--settings", settings, source, out.path()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "Started...\nExists already: a\nFinished!\nCreated files: 2/3\n"
            "Existing files: 1/3\nSuccess ratio: 3/3 or 100%\n");
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(std::filesystem::exists(out / "a.txt"));
  EXPECT_TRUE(std::filesystem::exists(out / "b.txt"));
  // The batch command never writes the settings file.
  EXPECT_EQ(ReadBytes(settings), "");
}

TEST_F(BatchCommand, SettingsComeFromTheGivenFile) {
  const std::string source = dir.Write("names.txt", "big|5\r\n");
  dir.Write("settings.ini", "[Fill]\r\nKind=var\r\nWith=65\r\n[Output extension]\r\nExtension=dat\r\n");
  EXPECT_EQ(RunBatch({"--settings", settings, source, out.path()}).status, 0);
  EXPECT_EQ(ReadBytes(out / "big.dat"), "AAAAA");
}

TEST_F(BatchCommand, RefusedRunsExitWithOne) {
  const Outcome missing = RunBatch({"--settings", settings, dir / "missing.txt", out.path()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Error: " + dir / "missing.txt" + " does not exist! Please check complete path.\n");
  EXPECT_EQ(missing.out, "Started...\nDoes not exist: " + dir / "missing.txt" + "\n");

  const std::string source = dir.Write("names.txt", "a\r\n");
  const Outcome refused = RunBatch({"--settings", settings, "--no", source, out / "new"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "Warning: Chosen parent folder is invalid or does not exist. I try to create it??\n");
  EXPECT_FALSE(std::filesystem::exists(out / "new"));

  // Without a terminal and without --yes, a question is answered No.
  EXPECT_EQ(RunBatch({"--settings", settings, source, out / "new"}).status, 1);
}

TEST_F(BatchCommand, YesAnswersEveryQuestion) {
  const std::string source = dir.Write("names.txt", "a\r\n");
  const Outcome run = RunBatch({"--settings", settings, "--yes", source, out / "new/deep"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "Warning: Chosen parent folder is invalid or does not exist. I try to create it??\n"
            "Quillon: Creation succesfull\n");
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
}

TEST_F(BatchCommand, HelpAndVersionGoToStandardOutputAndRunNothing) {
  const std::string source = dir.Write("names.txt", "a\r\n");
  const Outcome help = RunBatch({"--yes", "--help", source, out.path()});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind("usage: quillon-batch [--settings FILE] [--yes|--no] SOURCE "
                           "DESTINATION\n", 0), 0u);
  for (const char* option : {"--settings FILE", "--yes", "--no", "--help", "--version"}) {
    EXPECT_NE(help.out.find(std::string("\n  ") + option + " "), std::string::npos) << option;
  }
  const Outcome version = RunBatch({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "quillon-batch 3.0\n");
  EXPECT_EQ(version.err, "");
  EXPECT_FALSE(std::filesystem::exists(out / "a.txt"));
  // After "--" they are names like any other.
  const Outcome named = RunBatch({"--", "--help"});
  EXPECT_EQ(named.status, 2);
  EXPECT_EQ(named.out, "");
}

TEST_F(BatchCommand, AFailureOfFileInputExitsWithThree) {
  const std::string source = dir.Write("names.txt", "a\r\nb\r\n");
  dir.Write("settings.ini", "[Fill]\r\nKind=single\r\nText=1\r\nFile name=" + dir / "gone.txt" + "\r\n");
  const Outcome run = RunBatch({"--settings", settings, source, out.path()});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "Started...\n");
  EXPECT_EQ(run.err, "Quillon: File not found.\n");
}

TEST_F(BatchCommand, InterruptIsCancel) {
  std::string lines;
  for (int i = 0; i < 300000; ++i) lines += "n" + std::to_string(i) + "\r\n";
  const std::string source = dir.Write("names.txt", lines);
  const Outcome run = RunBatch({"--settings", settings, "--yes", source, out.path()},
                               "Really proceed??");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Cancelled! Not all created.\n"), std::string::npos) << run.out.substr(0, 200);
  EXPECT_NE(run.out.find("Existing files: 0/300000\n"), std::string::npos);
  EXPECT_EQ(run.out.find("Created files: 300000/300000"), std::string::npos);
}

}  // namespace
}  // namespace quillon
