// The status-bar information never holds the window: a walk that does not end shows the
// waiting message at once while the window goes on, a later selection abandons it (its result
// is never shown), and closing the window does not wait for it.
#include <QCheckBox>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <memory>

#include "app/quillonU.h"
#include "shelltree/ShellTree.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"
#include "util/FileSystem.h"

using namespace quillon;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;

namespace {

const QString kWaiting = QStringLiteral("Calculating, please wait...");

// A flag that one thread sets and another waits for, shared with walks that outlive the test.
using Flag = std::shared_ptr<std::atomic<bool>>;
Flag NewFlag() { return std::make_shared<std::atomic<bool>>(false); }
void Raise(const Flag& flag) {
  flag->store(true);
  flag->notify_all();
}

// The window shown with the information on, its tree on the temporary folder.
std::unique_ptr<TmainF> ShownWindow(const TempDir& dir) {
  auto window = std::make_unique<TmainF>(dir / "quillon");
  window->show();
  window->infoCB->setChecked(true);
  window->ST1->SetPath(QString::fromStdString(dir.path()));
  return window;
}

}  // namespace

class StatusInfoTest : public QObject {
  Q_OBJECT

 private slots:
  void aWalkThatHangsIsWaitedForByNobodyAndAbandonedByTheNextSelection() {
    TempDir dir;
    RecordingSeam seam;
    std::filesystem::create_directory(dir / "hung");
    std::filesystem::create_directory(dir / "quick");
    dir.Write("quick/kilo", std::string(1000, 'k'));
    const Flag started = NewFlag(), abandoned = NewFlag();
    auto window = ShownWindow(dir);
    window->SetSizeWalk([started, abandoned](const std::string& path,
                                             const std::atomic<bool>& stop) -> std::uint64_t {
      if (!path.ends_with("hung")) return PathSize(path, &stop);
      Raise(started);
      stop.wait(false);  // as a walk on a mount that answers nothing until given up
      Raise(abandoned);
      return 999999;
    });
    QSignalSpy shown(window.get(), &TmainF::StatusInfoShown);

    window->ST1->SetPath(QString::fromStdString(dir / "hung"));
    QTRY_COMPARE(window->ST1->Path(), QString::fromStdString(dir / "hung"));
    QCOMPARE(window->StatusText(), kWaiting);
    started->wait(false);
    // The walk is under way and stuck; the window handles its events meanwhile.
    bool handled = false;
    QTimer::singleShot(0, window.get(), [&] { handled = true; });
    QTRY_VERIFY(handled);
    QCOMPARE(window->StatusText(), kWaiting);
    QVERIFY(!abandoned->load());

    window->ST1->SetPath(QString::fromStdString(dir / "quick"));
    abandoned->wait(false);
    QVERIFY(shown.wait());
    const QString quick =
        "1.000 bytes; Created: " + QString::fromStdString(PathDateText(dir / "quick"));
    QCOMPARE(window->StatusText(), quick);
    // Every answer taken in: the abandoned walk's result was dropped.
    QVERIFY(window->SettleStatusInfo());
    QCOMPARE(window->StatusText(), quick);
    QCOMPARE(shown.count(), 1);
  }

  void anotherStatusTextAbandonsTheWalk() {
    TempDir dir;
    RecordingSeam seam;
    std::filesystem::create_directory(dir / "slow");
    const Flag started = NewFlag(), release = NewFlag();
    auto window = ShownWindow(dir);
    window->SetSizeWalk([started, release](const std::string& path, const std::atomic<bool>&) {
      if (path.ends_with("slow")) {
        Raise(started);
        release->wait(false);
      }
      return std::uint64_t(5);
    });
    window->ST1->SetPath(QString::fromStdString(dir / "slow"));
    started->wait(false);
    window->infoCB->click();  // unticked: emptied at once
    QCOMPARE(window->StatusText(), QString());
    Raise(release);
    QVERIFY(window->SettleStatusInfo());
    QCOMPARE(window->StatusText(), QString());
  }

  void closingTheWindowDoesNotWaitForAWalk() {
    TempDir dir;
    RecordingSeam seam;
    std::filesystem::create_directory(dir / "stuck");
    // This walk heeds nothing but the test: as one stuck in a call that does not return.
    const Flag started = NewFlag(), release = NewFlag(), ended = NewFlag();
    auto window = ShownWindow(dir);
    window->SetSizeWalk(
        [started, release, ended](const std::string& path, const std::atomic<bool>&) {
          if (path.ends_with("stuck")) {
            Raise(started);
            release->wait(false);
            Raise(ended);
          }
          return std::uint64_t(0);
        });
    window->ST1->SetPath(QString::fromStdString(dir / "stuck"));
    started->wait(false);
    window->close();
    window.reset();
    QVERIFY(!ended->load());
    Raise(release);
    ended->wait(false);
  }
};

QTEST_MAIN(StatusInfoTest)
#include "StatusInfoTest.moc"
