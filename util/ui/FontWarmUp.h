// Reading the desktop's font configuration is the longest step of a window's first text (5 ms
// here, more with many fonts installed). Begun on another core as the program starts, it runs
// while the application connects to the display, and the window finds it done.
#pragma once

#include <thread>

namespace quillon::ui {

class FontWarmUp {
 public:
  FontWarmUp();
  ~FontWarmUp();
  FontWarmUp(const FontWarmUp&) = delete;
  FontWarmUp& operator=(const FontWarmUp&) = delete;

  // Returns once the configuration is read: the first text may then be laid out. Without it a
  // first text laid out meanwhile reads the configuration a second time, at no other harm.
  void Wait();

 private:
  std::thread reading_;
};

}  // namespace quillon::ui
