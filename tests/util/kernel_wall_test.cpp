// The kernel wall, raised in a child process: what it may still write, and what the kernel
// refuses it, whatever the program would do.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/HostFiles.h"
#include "support/TempDir.h"
#include "util/KernelWall.h"

namespace quillon {
namespace {

using testing::TempDir;

constexpr int kNoWall = 77;

int ErrorOf(int result) { return result < 0 ? errno : 0; }

int ErrorOfOpen(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags, 0600);
  if (fd < 0) return errno;
  close(fd);
  return 0;
}

struct WallCase {
  const char* what;
  std::function<int()> attempt;  // the error number, 0 when done
  int expected;
};

// Runs the cases in a child behind a wall around the folder; gives each one's error number,
// or nothing where the kernel has no wall.
std::optional<std::vector<int>> BehindWall(const std::string& folder,
                                           const std::vector<WallCase>& cases) {
  int results[2];
  if (pipe(results) != 0) throw std::runtime_error("no pipe");
  const pid_t child = fork();
  if (child == 0) {
    close(results[0]);
    if (AllowWritesOnlyBeneath({folder}) == WallOutcome::Unavailable) _exit(kNoWall);
    for (const WallCase& c : cases) {
      const int error = c.attempt();
      if (write(results[1], &error, sizeof error) != sizeof error) _exit(1);
    }
    _exit(0);
  }
  close(results[1]);
  std::vector<int> errors;
  for (int error; read(results[0], &error, sizeof error) == sizeof error;) errors.push_back(error);
  close(results[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kNoWall) return std::nullopt;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  return errors;
}

TEST(KernelWall, RefusesEveryWriteOutsideItsFolderAndLetsEverythingBeRead) {
  TempDir dir;
  const std::string inside = dir / "inside";
  const std::string outside = dir / "outside";
  mkdir(inside.c_str(), 0700);
  mkdir(outside.c_str(), 0700);
  const std::string kept_inside = dir.Write("inside/kept", "in");
  const std::string kept_outside = dir.Write("outside/kept", "out");

  const std::vector<WallCase> cases = {
      {"create inside", [&] { return ErrorOfOpen(inside + "/new", O_CREAT | O_EXCL | O_WRONLY); },
       0},
      {"make a subfolder inside and a file in it",
       [&] {
         if (mkdir((inside + "/sub").c_str(), 0700) != 0) return errno;
         return ErrorOfOpen(inside + "/sub/new", O_CREAT | O_EXCL | O_WRONLY);
       },
       0},
      {"rename inside",
       [&] { return ErrorOf(rename(kept_inside.c_str(), (inside + "/moved").c_str())); }, 0},
      {"create outside", [&] { return ErrorOfOpen(outside + "/new", O_CREAT | O_EXCL | O_WRONLY); },
       EACCES},
      {"write outside", [&] { return ErrorOfOpen(kept_outside, O_WRONLY); }, EACCES},
      {"empty outside", [&] { return ErrorOfOpen(kept_outside, O_RDONLY | O_TRUNC); }, EACCES},
      {"truncate outside", [&] { return ErrorOf(truncate(kept_outside.c_str(), 0)); }, EACCES},
      {"remove outside", [&] { return ErrorOf(unlink(kept_outside.c_str())); }, EACCES},
      {"make a folder outside", [&] { return ErrorOf(mkdir((outside + "/sub").c_str(), 0700)); },
       EACCES},
      {"link outside", [&] { return ErrorOf(symlink("kept", (outside + "/link").c_str())); },
       EACCES},
      {"a fifo outside", [&] { return ErrorOf(mkfifo((outside + "/fifo").c_str(), 0600)); },
       EACCES},
      {"move a file from inside out",
       [&] { return ErrorOf(rename((inside + "/new").c_str(), (outside + "/moved").c_str())); },
       EACCES},
      {"move a file from outside in",
       [&] { return ErrorOf(rename(kept_outside.c_str(), (inside + "/taken").c_str())); }, EACCES},
      {"hard link inside to a file outside",
       [&] { return ErrorOf(link(kept_outside.c_str(), (inside + "/linked").c_str())); }, EXDEV},
      {"read outside", [&] { return ErrorOfOpen(kept_outside, O_RDONLY); }, 0},
  };
  const std::optional<std::vector<int>> errors = BehindWall(inside, cases);
  if (!errors) GTEST_SKIP() << "the kernel has no wall to raise";
  ASSERT_EQ(errors->size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ((*errors)[i], cases[i].expected) << cases[i].what;
  }
  EXPECT_EQ(testing::ReadBytes(kept_outside), "out");
}

}  // namespace
}  // namespace quillon
