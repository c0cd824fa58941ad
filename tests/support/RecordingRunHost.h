// A run host for tests: records report lines, boxes and state changes, answers questions from
// a queue, and can press Cancel after a given line.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"

namespace quillon::testing {

class RecordingRunHost : public RunHost {
 public:
  void ShowNotice(const std::string& text) override { boxes.push_back("Quillon: " + text); }
  void ShowError(const std::string& text) override { boxes.push_back("Error: " + text); }
  void ShowWarning(const std::string& text) override { boxes.push_back("Warning: " + text); }
  void ShowInformation(const std::string& text) override {
    boxes.push_back("Information: " + text);
  }
  bool AskYesNo(const std::string& question) override {
    boxes.push_back("Question: " + question);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
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

  std::vector<std::string> report, boxes, states, folders, files;
  std::deque<bool> answers;  // an empty queue answers No
  int cancel_after_line = 0;
  int events_handled = 0;
  bool cancelled = false;
  std::int32_t last_line = 0, last_total = 0;
};

}  // namespace quillon::testing
