// The batch command's standard streams and the user's interrupt, on any host.
#pragma once

namespace quillon {

// Descriptors (see UniqueFd.h) of the standard streams.
int StandardInput();
int StandardOutput();
int StandardError();

// A terminal (a console on Windows), which shows text rather than stores it.
bool IsTerminal(int fd);

// From now on the user's interrupt sets a flag instead of ending the process: Ctrl+C, and on
// POSIX SIGTERM and SIGHUP, on Windows Ctrl+Break. A write to a closed pipe or beyond the
// file-size limit fails as an error instead of ending the process.
void CatchInterrupts();
bool Interrupted();
void ClearInterrupted();

}  // namespace quillon
