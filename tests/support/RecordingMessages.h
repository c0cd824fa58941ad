// The one recorder of the core's messages for tests: records every box as "Title: text" (a
// question as "Question: text") and answers questions from a queue. Host is the interface
// recorded: MessageHost, or one built on it (RecordingRunHost).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "util/MessageHost.h"

namespace quillon::testing {

template <typename Host = MessageHost>
class RecordingMessages : public Host {
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

  std::vector<std::string> boxes;
  std::deque<bool> answers;  // an empty queue answers No
};

}  // namespace quillon::testing
