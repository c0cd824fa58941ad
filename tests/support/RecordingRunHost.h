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
  int cancel_after_line = 0;
  int events_handled = 0;
  bool cancelled = false;
  std::int32_t last_line = 0, last_total = 0;
};

}  // namespace quillon::testing
