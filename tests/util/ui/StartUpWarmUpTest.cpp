// The start-up work done on another core ends whatever becomes of the start: with the
// application's part done once it started, or without it when the program ends first.
#include <QFontDatabase>
#include <QTest>
#include <chrono>

#include "util/ui/StartUpWarmUp.h"

using quillon::ui::StartUpWarmUp;

class StartUpWarmUpTest : public QObject {
  Q_OBJECT

 private slots:
  void endsWhenThereIsNoApplicationToWaitFor() {
    const auto start = std::chrono::steady_clock::now();
    {
      StartUpWarmUp warm_up;  // the program ends before its application starts
    }
    QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(10));
  }

  void endsOnceTheApplicationHasStarted() {
    const auto start = std::chrono::steady_clock::now();
    StartUpWarmUp warm_up;
    warm_up.ApplicationStarted();
    // The first text may now be laid out, while the lists are being made.
    QVERIFY(!QFontDatabase::families().isEmpty());
    warm_up.Finish();
    warm_up.Finish();  // as the application and then the warm-up itself end it
    QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(10));
  }
};

QTEST_MAIN(StartUpWarmUpTest)
#include "StartUpWarmUpTest.moc"
