// The Windows side of the standard streams and of the user's interrupt: console handles and
// the console's control handler, which the system calls on a thread of its own.
#include <windows.h>

#include <atomic>

#include "util/Console.h"
#include "util/WindowsHost.h"

namespace quillon {
namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted = true;
  return TRUE;
}

}  // namespace

int StandardInput() { return AsFd(GetStdHandle(STD_INPUT_HANDLE)); }
int StandardOutput() { return AsFd(GetStdHandle(STD_OUTPUT_HANDLE)); }
int StandardError() { return AsFd(GetStdHandle(STD_ERROR_HANDLE)); }

bool IsTerminal(int fd) {
  DWORD mode;
  return GetConsoleMode(AsHandle(fd), &mode) != 0;
}

// Writes to a closed pipe already fail on Windows, and there is no file-size limit to meet.
void CatchInterrupts() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool Interrupted() { return interrupted; }

void ClearInterrupted() { interrupted = false; }

}  // namespace quillon
