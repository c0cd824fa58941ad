// Work of the first window that needs no window, done on another core while the application
// starts: reading the desktop's font configuration, the longest step of the first text (5 ms
// here, more with many fonts), then making the toolkit's lists of the fonts and of the image
// formats. The window finds them made.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace quillon::ui {

class StartUpWarmUp {
 public:
  // Begins with the font configuration at once, before the application exists.
  StartUpWarmUp();
  // Finish() first.
  ~StartUpWarmUp();
  StartUpWarmUp(const StartUpWarmUp&) = delete;
  StartUpWarmUp& operator=(const StartUpWarmUp&) = delete;

  // Called by the application once it exists: its lists may be made from now on. Returns once
  // the configuration is read, so the first text may be laid out. Without it a text laid out
  // meanwhile reads the configuration a second time, at no other harm.
  void ApplicationStarted();
  // Returns once all is done; called before the application goes. Without an application
  // started, only the configuration is read.
  void Finish();

 private:
  void WarmUp();

  std::mutex mutex_;
  std::condition_variable changed_;
  bool fonts_read_ = false;
  bool application_started_ = false;
  bool finishing_ = false;
  std::thread thread_;
};

}  // namespace quillon::ui
