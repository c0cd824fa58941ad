// The POSIX side of the standard streams and of the user's interrupt: signals.
#include <unistd.h>

#include <csignal>
#include <initializer_list>

#include "util/Console.h"

namespace quillon {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

}  // namespace

int StandardInput() { return STDIN_FILENO; }
int StandardOutput() { return STDOUT_FILENO; }
int StandardError() { return STDERR_FILENO; }

bool IsTerminal(int fd) { return isatty(fd) == 1; }

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  // A file-size limit shows as a failed write ("Disk full"), not as a killed process.
  std::signal(SIGXFSZ, SIG_IGN);
}

bool Interrupted() { return interrupted != 0; }

void ClearInterrupted() { interrupted = 0; }

}  // namespace quillon
