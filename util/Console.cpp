#include "util/Console.h"

#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace quillon {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

}  // namespace

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
