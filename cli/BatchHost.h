// The batch command's host of a run: report lines on standard output, message boxes on
// standard error, questions answered by a flag or on the terminal, Ctrl+C as Cancel.
#pragma once

#include <cstdio>
#include <optional>

#include "engine/ConversionRun.h"

namespace quillon {

class BatchHost : public RunHost {
 public:
  // answer: Yes or No to every question; nothing asks on the terminal (No without one).
  BatchHost(std::optional<bool> answer, std::FILE* report, std::FILE* messages);

  void ShowNotice(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;

  void AppendReport(const std::string& line) override;
  void HandlePendingEvents() override {}
  bool CancelPressed() override;
  void ClearCancel() override;
  void SetRunning(bool) override {}
  void LineReached(std::int32_t, std::int32_t) override {}
  // The batch command never writes the history files.
  void RecordDestination(const std::string&) override {}
  void RecordSource(const std::string&) override {}

  // Makes Ctrl+C a press on Cancel.
  static void CatchInterrupt();

 private:
  void Box(const char* title, const std::string& text);

  std::optional<bool> answer_;
  std::FILE* report_;
  std::FILE* messages_;
};

}  // namespace quillon
