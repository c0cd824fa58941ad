#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#include "cli/BatchRun.h"

namespace quillon::testing {

void ExecBatch(const std::vector<std::string>& arguments) {
  std::vector<char*> argv{const_cast<char*>(QUILLON_BATCH_PATH)};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execv(QUILLON_BATCH_PATH, argv.data());
  _exit(127);
}

TerminalRun::TerminalRun(const std::vector<std::string>& arguments, bool answers_there)
    : terminal_(posix_openpt(O_RDWR | O_NOCTTY)) {
  if (terminal_ < 0 || grantpt(terminal_) != 0 || unlockpt(terminal_) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  const std::string side = ptsname(terminal_);
  child_ = fork();
  if (child_ == 0) {
    setsid();
    const int shown = open(side.c_str(), O_RDWR);
    dup2(answers_there ? shown : open("/dev/null", O_RDONLY), 0);
    dup2(shown, 1);
    dup2(shown, 2);
    close(terminal_);
    ExecBatch(arguments);
  }
}

TerminalRun::~TerminalRun() {
  close(terminal_);
  if (child_ > 0) waitpid(child_, nullptr, 0);
}

bool TerminalRun::WaitFor(const std::string& text) {
  char buffer[4096];
  // Once the command has ended, reading the terminal fails.
  while (text.empty() || shown_.find(text) == std::string::npos) {
    const ssize_t got = read(terminal_, buffer, sizeof buffer);
    if (got <= 0) return false;
    shown_.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

bool TerminalRun::Type(const std::string& text) {
  return write(terminal_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

int TerminalRun::Wait() {
  WaitFor({});
  int status = 0;
  waitpid(child_, &status, 0);
  child_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

namespace {

// Fills the pipe to its smallest capacity, so that the next write to it waits until its reader
// takes the filling; gives the filling's size.
std::size_t FillPipe(int write_end) {
  fcntl(write_end, F_SETPIPE_SZ, 4096);
  const int flags = fcntl(write_end, F_GETFL);
  fcntl(write_end, F_SETFL, flags | O_NONBLOCK);
  const std::string block(4096, '#');
  std::size_t filled = 0;
  for (ssize_t put; (put = write(write_end, block.data(), block.size())) > 0;) filled += put;
  fcntl(write_end, F_SETFL, flags);
  return filled;
}

// Whether the process waits inside a write to the descriptor, as Linux shows its system call.
bool WaitsWritingTo(pid_t process, int fd) {
  std::ifstream call("/proc/" + std::to_string(process) + "/syscall");
  long number = -1;
  std::string first_argument;
  if (!(call >> number >> first_argument)) return false;  // "running"
  return (number == SYS_write || number == SYS_writev) &&
         std::stol(first_argument, nullptr, 16) == fd;
}

}  // namespace

Outcome RunBatch(const std::vector<std::string>& arguments, const BatchOptions& options) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe");
  // The first message the command writes then waits for this process: the signal goes while it
  // waits, so it comes after everything before the message and before everything after it.
  std::size_t filling = options.interrupt_on.empty() ? 0 : FillPipe(err_pipe[1]);
  if (options.out_closed) close(out_pipe[0]);
  const pid_t child = fork();
  if (child == 0) {
    dup2(open("/dev/null", O_RDONLY), 0);
    dup2(options.out_file.empty() ? out_pipe[1] : open(options.out_file.c_str(), O_WRONLY), 1);
    dup2(options.err_file.empty() ? err_pipe[1] : open(options.err_file.c_str(), O_WRONLY), 2);
    if (!options.out_closed) close(out_pipe[0]);
    close(err_pipe[0]);
    if (!options.folder.empty() && chdir(options.folder.c_str()) != 0) _exit(126);
    ExecBatch(arguments);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  Outcome outcome;
  pollfd fds[2] = {{options.out_closed ? -1 : out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  bool waiting = filling > 0;  // for the command to wait on its first message
  int open_pipes = options.out_closed ? 1 : 2;
  while (open_pipes > 0) {
    if (waiting && WaitsWritingTo(child, 2)) {
      kill(child, options.signal);
      waiting = false;
    }
    // While the signal waits, standard error is left full (unless the command ended) and the
    // command looked at anew.
    fds[1].events = waiting ? 0 : POLLIN;
    poll(fds, 2, waiting ? 1 : -1);
    if (waiting && (fds[1].revents & POLLHUP)) waiting = false;
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
      std::size_t skipped = 0;
      if (i == 1) {
        skipped = std::min(filling, static_cast<std::size_t>(got));
        filling -= skipped;
      }
      (i == 0 ? outcome.out : outcome.err)
          .append(buffer + skipped, static_cast<std::size_t>(got) - skipped);
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!options.interrupt_on.empty() &&
      outcome.err.substr(0, outcome.err.find('\n')).find(options.interrupt_on) ==
          std::string::npos) {
    throw std::runtime_error("the signal was to come with \"" + options.interrupt_on +
                             "\", but the first message was: " + outcome.err);
  }
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

}  // namespace quillon::testing
