#include "reliability/ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "support/TempDir.h"

namespace quillon::testing {
namespace {

constexpr uid_t kUnprivilegedId = 65534;

// The batch command where the unprivileged user can reach it. The build folder may lie inside a
// private folder (a home or a checkout of mode 0700), so a copy goes into a folder of its own,
// removed when the tests end.
const std::string& ReachableBatchPath() {
  static const TempDir folder;
  static const std::string path = [] {
    const std::string copy = folder / "quillon-batch";
    std::filesystem::copy_file(QUILLON_BATCH_PATH, copy);
    chmod(folder.path().c_str(), 0755);
    chmod(copy.c_str(), 0755);
    return copy;
  }();
  return path;
}

bool DropsPrivileges(const ChildLimits& limits) { return limits.unprivileged && geteuid() == 0; }

// In the child only: applies the limits, or ends the child at once.
void ApplyLimits(const ChildLimits& limits) {
  if (DropsPrivileges(limits)) {
    if (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedId) != 0 ||
        setuid(kUnprivilegedId) != 0) {
      _exit(120);
    }
  }
  if (limits.file_size) {
    const rlimit limit{*limits.file_size, *limits.file_size};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(121);
  }
  if (limits.address_space) {
    const rlimit limit{*limits.address_space, *limits.address_space};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(121);
  }
  if (limits.seconds > 0) alarm(limits.seconds);
}

int StatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

BatchResult RunBatch(const std::vector<std::string>& arguments, const std::string& work_folder,
                     const ChildLimits& limits, const std::string& stdout_path) {
  const std::string out_path = stdout_path.empty() ? work_folder + "/batch.out" : stdout_path;
  const std::string err_path = work_folder + "/batch.err";
  std::vector<std::string> argv_text{DropsPrivileges(limits) ? ReachableBatchPath()
                                                             : std::string(QUILLON_BATCH_PATH)};
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argv_text) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || out < 0 || err < 0) _exit(122);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    ApplyLimits(limits);
    execv(argv[0], argv.data());
    _exit(123);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) throw std::runtime_error("wait4 failed");
  }
  BatchResult result;
  result.exit_status = StatusOf(status);
  result.max_rss_kib = usage.ru_maxrss;
  if (stdout_path.empty()) result.out = ReadBytes(out_path);
  result.err = ReadBytes(err_path);
  std::filesystem::remove(err_path);
  if (stdout_path.empty()) std::filesystem::remove(out_path);
  return result;
}

RunningChild StartInChild(const std::function<std::string()>& body, const ChildLimits& limits) {
  int channel[2];
  if (pipe(channel) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    close(channel[0]);
    signal(SIGXFSZ, SIG_IGN);
    ApplyLimits(limits);
    std::string text;
    int code = 0;
    try {
      text = body();
    } catch (const std::exception& error) {
      text = std::string("threw: ") + error.what();
      code = 1;
    }
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t written = write(channel[1], text.data() + done, text.size() - done);
      if (written <= 0) _exit(124);
      done += static_cast<std::size_t>(written);
    }
    _exit(code);
  }
  close(channel[1]);
  return {pid, channel[0]};
}

bool ChildEnded(const RunningChild& child) {
  pollfd entry{child.channel, POLLIN, 0};
  return poll(&entry, 1, 0) > 0;
}

ChildResult FinishChild(const RunningChild& child) {
  ChildResult result;
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(child.channel, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    result.text.append(chunk, static_cast<std::size_t>(got));
  }
  close(child.channel);
  int status = 0;
  while (waitpid(child.pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  result.exit_status = StatusOf(status);
  return result;
}

ChildResult RunInChild(const std::function<std::string()>& body, const ChildLimits& limits) {
  return FinishChild(StartInChild(body, limits));
}

bool CanDropPrivileges() {
  if (geteuid() != 0) return true;  // permission bits already hold
  const std::string& batch = ReachableBatchPath();
  const ChildResult probe = RunInChild(
      [&batch] { return std::string(access(batch.c_str(), X_OK) == 0 ? "ok" : "unreachable"); },
      {{}, true});
  return probe.exit_status == 0 && probe.text == "ok";
}

void OpenToUnprivileged(const std::string& path, bool writable) {
  chmod(path.c_str(), writable ? 0777 : 0755);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Repeat(const std::string& piece, std::size_t count) {
  std::string text;
  text.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

std::vector<std::string> TreeOf(const std::string& folder) {
  std::vector<std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::string relative = std::filesystem::relative(entry.path(), folder).string();
    if (entry.is_directory() && !entry.is_symlink()) relative += '/';
    entries.push_back(relative);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace quillon::testing
