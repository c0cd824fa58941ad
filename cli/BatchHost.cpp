#include "cli/BatchHost.h"

#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>

namespace quillon {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

}  // namespace

BatchHost::BatchHost(std::optional<bool> answer, std::FILE* report, std::FILE* messages)
    : answer_(answer), report_(report), messages_(messages) {}

void BatchHost::CatchInterrupt() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

void BatchHost::Box(const char* title, const std::string& text) {
  std::fflush(report_);
  std::fprintf(messages_, "%s: %s\n", title, text.c_str());
  std::fflush(messages_);
}

void BatchHost::ShowNotice(const std::string& text) { Box(kProgramTitle, text); }
void BatchHost::ShowError(const std::string& text) { Box("Error", text); }
void BatchHost::ShowWarning(const std::string& text) { Box("Warning", text); }
void BatchHost::ShowInformation(const std::string& text) { Box("Information", text); }

bool BatchHost::AskYesNo(const std::string& question) {
  Box("Warning", question);
  if (answer_) return *answer_;
  if (!isatty(STDIN_FILENO)) return false;
  std::fputs("[y/N] ", messages_);
  std::fflush(messages_);
  std::string reply;
  if (!std::getline(std::cin, reply)) return false;
  return reply == "y" || reply == "Y" || reply == "yes" || reply == "Yes";
}

void BatchHost::AppendReport(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), report_);
  std::fputc('\n', report_);
}

bool BatchHost::CancelPressed() { return interrupted != 0; }

void BatchHost::ClearCancel() { interrupted = 0; }

}  // namespace quillon
