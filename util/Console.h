// The batch command's console: the standard streams as descriptors, whether one is a terminal,
// and the signals by which a user stops a command.
#pragma once

namespace quillon {

inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

bool IsTerminal(int fd);

// From now on Ctrl+C, SIGTERM and SIGHUP mark the process as interrupted instead of ending it,
// a closed pipe or a file-size limit makes a write fail instead of ending it.
void CatchInterrupts();
// Whether an interrupt came since the last ClearInterrupted.
bool Interrupted();
void ClearInterrupted();

}  // namespace quillon
