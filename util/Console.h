// The batch command's console: the standard streams as descriptors (see UniqueFd.h), whether
// one is a terminal, and how a user stops a command.
#pragma once

namespace quillon {

int StandardInput();
int StandardOutput();
int StandardError();

// A terminal (a console on Windows), which shows text rather than stores it.
bool IsTerminal(int fd);

// From now on the user's interrupt marks the process as interrupted instead of ending it:
// Ctrl+C, and on POSIX SIGTERM and SIGHUP, on Windows Ctrl+Break. A write to a closed pipe or
// beyond the file-size limit fails as an error instead of ending the process.
void CatchInterrupts();
// Whether an interrupt came since the last ClearInterrupted.
bool Interrupted();
void ClearInterrupted();

}  // namespace quillon
