// A run host for tests: records the boxes (see RecordingMessages), report lines and state
// changes, and can press Cancel after a given line.
#pragma once

#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "support/RecordingMessages.h"

namespace quillon::testing {

class RecordingRunHost : public RecordingMessages<RunHost> {
 public:
  void AppendReport(const std::string& line) override { report.push_back(line); }
  void AppendRefusal(const std::string& line, std::string_view reason) override {
    report.push_back(line);
    refusals.push_back(line + "  [" + std::string(reason) + "]");
  }
  void LineDecided(const LineVerdict& verdict) override {
    static constexpr const char* kOutcomes[] = {"blank", "too long", "exists", "created", "unable"};
    decided.push_back(std::to_string(verdict.line) + " " + std::string(verdict.file_name) + " " +
                      std::to_string(verdict.fill_size) + " " +
                      kOutcomes[static_cast<int>(verdict.outcome)] + " " +
                      std::string(verdict.reason));
  }
  void HandlePendingEvents() override {
    ++events_handled;
    if (cancel_after_line > 0 && events_handled == cancel_after_line) cancelled = true;
  }
  bool CancelPressed() override { return cancelled; }
  void ClearCancel() override { cancelled = false; }
  void SetRunning(bool running) override { states.push_back(running ? "running" : "idle"); }
  void LineReached(std::int32_t line, std::int32_t total) override {
    last_line = line;
    last_total = total;
  }
  void RecordDestination(const std::string& path) override { folders.push_back(path); }
  void RecordSource(const std::string& path) override { files.push_back(path); }

  std::vector<std::string> report, states, folders, files;
  // Refused lines with their reasons; each line's outcome: "number file size outcome reason".
  std::vector<std::string> refusals, decided;
  int cancel_after_line = 0;
  int events_handled = 0;
  bool cancelled = false;
  std::int32_t last_line = 0, last_total = 0;
};

}  // namespace quillon::testing
