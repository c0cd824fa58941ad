// Widget tests: waiting for what the event loop does, never for a time.
#pragma once

#include <QCoreApplication>
#include <QTimer>

namespace quillon::testing {

// The longest a widget test waits for something to happen: a guard that only stops a hung
// test, never a limit on how soon it happens (that is the benchmarks' to hold).
constexpr int kGuardMs = 60000;

// Handles every event and zero-time call queued so far, and what they queue in turn ahead of a
// marker queued now: a check after it sees whatever they did, however busy the machine.
inline void HandleQueuedEvents() {
  bool reached = false;
  QTimer::singleShot(0, QCoreApplication::instance(), [&reached] { reached = true; });
  while (!reached) QCoreApplication::processEvents();
}

}  // namespace quillon::testing
