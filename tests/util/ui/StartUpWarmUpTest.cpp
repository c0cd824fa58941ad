// The start-up work done on another core ends whatever becomes of the start: with the
// application's part done once it started, or without it when the program ends first.
#include <QFontDatabase>
#include <QTest>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "util/ui/StartUpWarmUp.h"

using quillon::ui::StartUpWarmUp;

namespace {

// Ends the test program with a message when its scope has not ended within a minute, which
// only a hang takes: a warm-up that never ends fails at once instead of at the suite's timeout.
// How long the warm-up takes is window-bench's start-up case.
class HangGuard {
 public:
  explicit HangGuard(const char* what)
      : watchdog_([this, what] {
          std::unique_lock lock(mutex_);
          if (!changed_.wait_for(lock, std::chrono::minutes(1), [this] { return ended_; })) {
            std::fprintf(stderr, "FAIL: %s never ended\n", what);
            std::abort();
          }
        }) {}
  ~HangGuard() {
    {
      const std::lock_guard lock(mutex_);
      ended_ = true;
    }
    changed_.notify_all();
    watchdog_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ended_ = false;
  std::thread watchdog_;
};

}  // namespace

class StartUpWarmUpTest : public QObject {
  Q_OBJECT

 private slots:
  void endsWhenThereIsNoApplicationToWaitFor() {
    const HangGuard guard("a warm-up without an application");
    StartUpWarmUp warm_up;  // the program ends before its application starts
  }

  void endsOnceTheApplicationHasStarted() {
    const HangGuard guard("a warm-up after the application started");
    StartUpWarmUp warm_up;
    warm_up.ApplicationStarted();
    // The first text may now be laid out, while the lists are being made.
    QVERIFY(!QFontDatabase::families().isEmpty());
    warm_up.Finish();
    warm_up.Finish();  // as the application and then the warm-up itself end it
  }
};

QTEST_MAIN(StartUpWarmUpTest)
#include "StartUpWarmUpTest.moc"
