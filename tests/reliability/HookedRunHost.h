// A recording run host that does something to the disk at a chosen moment of the run.
#pragma once

#include <functional>
#include <string>

#include "support/RecordingRunHost.h"

namespace quillon::testing {

class HookedRunHost : public RecordingRunHost {
 public:
  // After each line, with its 1-based number.
  std::function<void(int line)> after_line;
  // Between counting the source and reading it: the run records the source right after
  // counting it.
  std::function<void()> after_count;

  void HandlePendingEvents() override {
    RecordingRunHost::HandlePendingEvents();
    if (after_line) after_line(events_handled);
  }
  void RecordSource(const std::string& path) override {
    RecordingRunHost::RecordSource(path);
    if (after_count) after_count();
  }
};

}  // namespace quillon::testing
