#include "cli/BatchHost.h"

#include <iostream>
#include <string>
#include <vector>

#include "util/Console.h"
#include "util/FileSystem.h"
#include "util/KernelWall.h"
#include "util/Platform.h"

namespace quillon {
namespace {

constexpr std::size_t kReportFlushAt = 64 * 1024;

}  // namespace

BatchHost::BatchHost(std::optional<bool> answer, int report_fd, int messages_fd)
    : answer_(answer),
      report_fd_(report_fd),
      messages_fd_(messages_fd),
      report_terminal_(IsTerminal(report_fd)),
      messages_terminal_(IsTerminal(messages_fd)) {}

void BatchHost::FlushReport() {
  std::string lines;
  lines.swap(pending_report_);
  WriteAllTo(report_fd_, lines);
}

void BatchHost::Box(const char* title, const std::string& text) {
  FlushReport();
  WriteAllTo(messages_fd_, std::string(title) + ": " +
                               (messages_terminal_ ? ShownOnTerminal(text) : text) +
                               std::string(kOutputLineEnd));
}

void BatchHost::TellFailure(const std::string& text) noexcept {
  try {
    FlushReport();
  } catch (...) {
  }
  try {
    Box(kProgramTitle, text);
  } catch (...) {
  }
}

void BatchHost::ShowNotice(const std::string& text) { Box(kProgramTitle, text); }
void BatchHost::ShowError(const std::string& text) { Box("Error", text); }
void BatchHost::ShowWarning(const std::string& text) { Box("Warning", text); }
void BatchHost::ShowInformation(const std::string& text) { Box("Information", text); }

bool BatchHost::AskYesNo(const std::string& question) {
  Box("Warning", question);
  if (answer_) return *answer_;
  if (!IsTerminal(StandardInput())) return false;
  WriteAllTo(messages_fd_, "[y/N] ");
  std::string reply;
  if (!std::getline(std::cin, reply)) return false;
  return reply == "y" || reply == "Y" || reply == "yes" || reply == "Yes";
}

void BatchHost::AppendReport(const std::string& line) {
  pending_report_ += report_terminal_ ? ShownOnTerminal(line) : line;
  pending_report_ += kOutputLineEnd;
  if (pending_report_.size() >= kReportFlushAt) FlushReport();
}

void BatchHost::AppendRefusal(const std::string& line, std::string_view reason) {
  if (!show_reasons_) return AppendReport(line);
  AppendReport(line + "  [" + std::string(reason) + "]");
}

void BatchHost::LinesBegin(const std::string& written_folder) {
  std::vector<std::string> folders;
  for (const std::string& folder : {written_folder, journal_folder_}) {
    if (!folder.empty()) folders.push_back(folder);
  }
  AllowWritesOnlyBeneath(folders);
}

bool BatchHost::CancelPressed() { return Interrupted(); }

void BatchHost::ClearCancel() { ClearInterrupted(); }

}  // namespace quillon
