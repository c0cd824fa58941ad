// For the start-up case: a program started by window-bench writes one byte to its standard
// output once its window has painted for the first time, and ends there, so the time from its
// start to that byte is what starting costs the user.
#pragma once

#include <unistd.h>

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

class FirstPaintReporter : public QObject {
 public:
  explicit FirstPaintReporter(QWidget* window) { window->installEventFilter(this); }

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      // Once the whole first paint pass is done, the children's included.
      QTimer::singleShot(0, [] {
        [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, "p", 1);
        _exit(0);
      });
    }
    return false;
  }

 private:
  bool seen_ = false;
};
