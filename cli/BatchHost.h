// The batch command's host of a run: report lines on standard output, message boxes on
// standard error, each line ended as the host ends them; questions answered by a flag or on
// the terminal; the user's interrupt (see CatchInterrupts) as Cancel. A write that fails ends
// the run with IoError.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "engine/ConversionRun.h"

namespace quillon {

class BatchHost : public RunHost {
 public:
  // answer: Yes or No to every question; nothing asks on the terminal (No without one).
  BatchHost(std::optional<bool> answer, int report_fd, int messages_fd);

  void ShowNotice(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;

  // The batch command shows no progress and never writes the history files.
  void AppendReport(const std::string& line) override;
  // With reasons shown, a refused line ends in two blanks and its reason in brackets.
  void AppendRefusal(const std::string& line, std::string_view reason) override;
  void ShowReasons(bool show) { show_reasons_ = show; }
  // Where the kernel can, it refuses every write outside the run's folder and the journal's
  // from now on; throws IoError when it has the means but refuses them.
  void LinesBegin(const std::string& written_folder) override;
  // The folder of the journal, which the run writes in too.
  void KeepJournalIn(std::string folder) { journal_folder_ = std::move(folder); }
  bool CancelPressed() override;
  void ClearCancel() override;

  // Writes the report lines still held; throws IoError.
  void FlushReport();
  // What ended the run, as the program's own box, after what the report holds; a failure to
  // write it is ignored, as nothing is left to tell it with.
  void TellFailure(const std::string& text) noexcept;

 private:
  void Box(const char* title, const std::string& text);

  std::optional<bool> answer_;
  int report_fd_;
  int messages_fd_;
  // A terminal gets control bytes shown, not obeyed; a pipe or a file gets them as they are.
  bool report_terminal_;
  bool messages_terminal_;
  std::string pending_report_;
  bool show_reasons_ = false;
  std::string journal_folder_;
};

}  // namespace quillon
