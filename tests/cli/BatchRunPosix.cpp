#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

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

Outcome RunBatch(const std::vector<std::string>& arguments, const BatchOptions& options) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe");
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
  bool interrupted = false;
  int open_pipes = options.out_closed ? 1 : 2;
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
    if (!interrupted && !options.interrupt_on.empty() &&
        outcome.err.find(options.interrupt_on) != std::string::npos) {
      kill(child, options.signal);
      interrupted = true;
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

}  // namespace quillon::testing
