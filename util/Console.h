// The batch command's console: the standard streams as descriptors (see UniqueFd.h), whether
// one is a terminal, what a terminal is sent, and how a user stops a command.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

#ifdef _WIN32
// A console reads the ANSI code page, whose bytes 0x80 to 0x9F are characters of its own.
inline constexpr bool kTerminalReadsUtf8 = false;
#else
inline constexpr bool kTerminalReadsUtf8 = true;
#endif

int StandardInput();
int StandardOutput();
int StandardError();

// A terminal (a console on Windows), which shows text rather than stores it.
bool IsTerminal(int fd);

// The text with what a terminal would obey rather than show written out, so that a name cannot
// retitle or reprogram the terminal, or reorder the rest of its line: the C0 controls but tab,
// and DEL, as \xNN; where the terminal reads UTF-8, the C1 controls U+0080 to U+009F and the
// bidirectional embeddings, overrides and isolates (U+202A to U+202E, U+2066 to U+2069) as
// \uNNNN, and the bytes 0x80 to 0x9F outside a valid UTF-8 sequence (which an 8-bit terminal
// takes as C1 controls) as \xNN.
std::string ShownOnTerminal(std::string_view text);

// From now on the user's interrupt marks the process as interrupted instead of ending it:
// Ctrl+C, and on POSIX SIGTERM and SIGHUP, on Windows Ctrl+Break. A write to a closed pipe or
// beyond the file-size limit fails as an error instead of ending the process.
void CatchInterrupts();
// Whether an interrupt came since the last ClearInterrupted.
bool Interrupted();
void ClearInterrupted();

}  // namespace quillon
