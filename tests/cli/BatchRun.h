// Runs the batch command as a child process, standard input from the null device, and gives
// its exit status and what it wrote.
#pragma once

#include <string>
#include <vector>

#include "support/HostFiles.h"

namespace quillon::testing {

// Lines written for the host's tools end as the host ends them.
inline const std::string kEnd = kOnWindows ? "\r\n" : "\n";

// The lines, each ended as the host ends them.
inline std::string Text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + kEnd;
  return text;
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

struct BatchOptions {
  // The folder current for the command; this one's when empty.
  std::string folder;
  // Standard output or error to this file instead of a pipe read back.
  std::string out_file;
  std::string err_file;
  // Standard output to a pipe nobody reads from.
  bool out_closed = false;
#ifndef _WIN32
  // Sends the signal while the command waits to write its first message, which must hold this
  // text: the signal comes after all the command did before, however busy the machine.
  std::string interrupt_on;
  int signal = 0;
#endif
};

Outcome RunBatch(const std::vector<std::string>& arguments, const BatchOptions& options = {});

#ifndef _WIN32
// In a child process: becomes the batch command with these arguments.
[[noreturn]] void ExecBatch(const std::vector<std::string>& arguments);

// The batch command with standard output and error on a terminal, and with answers_there also
// its standard input, where it then asks its questions.
class TerminalRun {
 public:
  explicit TerminalRun(const std::vector<std::string>& arguments, bool answers_there = true);
  ~TerminalRun();
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;

  // Reads what the command shows until the text appears; false when the command ended first.
  bool WaitFor(const std::string& text);
  bool Type(const std::string& text);
  // Reads to the end; the exit status, or 128 and the signal.
  int Wait();
  const std::string& Shown() const { return shown_; }

 private:
  int terminal_;
  int child_ = -1;
  std::string shown_;
};
#endif

}  // namespace quillon::testing
