#include "util/ui/StartUpWarmUp.h"

#include <fontconfig/fontconfig.h>

#include <QFontDatabase>
#include <QImageReader>
#include <system_error>

#include "util/Platform.h"

namespace quillon::ui {

StartUpWarmUp::StartUpWarmUp() {
  try {
    thread_ = StartBeside([this] { WarmUp(); });
  } catch (const std::system_error&) {
    // No thread to spare: the toolkit does this work itself when it first needs it.
  }
}

StartUpWarmUp::~StartUpWarmUp() { Finish(); }

void StartUpWarmUp::ApplicationStarted() {
  std::unique_lock<std::mutex> lock(mutex_);
  application_started_ = true;
  changed_.notify_all();
  if (thread_.joinable()) changed_.wait(lock, [this] { return fonts_read_; });
}

void StartUpWarmUp::Finish() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    finishing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void StartUpWarmUp::WarmUp() {
  // The toolkit's own first call then finds the configuration loaded and returns at once.
  FcInit();
  std::unique_lock<std::mutex> lock(mutex_);
  fonts_read_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return application_started_ || finishing_; });
  if (!application_started_) return;
  lock.unlock();
  // Each list is made once a process and may be made from any thread: a first text or picture
  // meanwhile waits for it rather than making it again.
  QFontDatabase::families();
  QImageReader::supportedImageFormats();
}

}  // namespace quillon::ui
