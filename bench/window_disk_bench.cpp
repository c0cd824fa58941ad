#include "window_disk_bench.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "ChildProcess.h"
#include "app/FileLists.h"
#include "app/quillonU.h"
#include "shelltree/ShellTree.h"
#include "shelltree/TreeTestSupport.h"
#include "support/RecordingSeam.h"
#include "support/UnansweringMount.h"
#include "util/Platform.h"

using quillon::TmainF;
using quillon::TShellNode;
using quillon::testing::ChildNamed;
using quillon::testing::RecordingSeam;
using quillon::testing::UnansweringMount;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 200000;

// A new folder inside a parent the caller names, removed with everything in it.
class NewFolder {
 public:
  explicit NewFolder(const std::string& parent) {
    std::string pattern = parent + "/window-disk-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~NewFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteNames(const std::string& path, int count) {
  std::ofstream source(path, std::ios::binary);
  for (int i = 0; i < count; ++i) source << "name" << i << "\r\n";
}

// The longest the window's event loop went without handling its events (a timer that wants to
// fire every 5 ms tells), from act until done holds or the time is up, and for 200 ms after.
struct Stall {
  qint64 longest_ms = 0;
  qint64 done_after_ms = -1;
};

Stall MeasureStall(const std::function<void()>& act, const std::function<bool()>& done,
                   int patience_ms) {
  Stall stall;
  QElapsedTimer gap, clock;
  QTimer ticks;
  ticks.setInterval(5);
  QObject::connect(&ticks, &QTimer::timeout,
                   [&] { stall.longest_ms = std::max(stall.longest_ms, gap.restart()); });
  gap.start();
  clock.start();
  ticks.start();
  QTimer::singleShot(0, act);
  qint64 quiet_from = -1;
  while (clock.elapsed() < patience_ms) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (stall.done_after_ms < 0 && done()) {
      stall.done_after_ms = clock.elapsed();
      quiet_from = clock.elapsed();
    }
    if (quiet_from >= 0 && clock.elapsed() - quiet_from > 200) break;
  }
  stall.longest_ms = std::max(stall.longest_ms, gap.elapsed());
  return stall;
}

// The window with the information on, its tree at the folder, which is expanded.
void ShowWindowAt(TmainF& window, const std::string& folder) {
  window.show();
  QCoreApplication::processEvents();
  window.infoCB->setChecked(true);
  window.ST1->SetPath(QString::fromStdString(folder));
  window.ST1->Settle();
  window.ST1->Selected()->setExpanded(true);
  window.ST1->Settle();
  window.SettleStatusInfo();
  QCoreApplication::processEvents();
}

bool Report(const char* name, const Stall& stall, double limit, const char* what) {
  const bool ok = stall.longest_ms / 1000.0 <= limit;
  std::printf(
      "CASE %s stall=%.3fs limit=%.3fs (%s %s) %s\n", name, stall.longest_ms / 1000.0, limit, what,
      stall.done_after_ms < 0
          ? "never"
          : ("after " + std::to_string(stall.done_after_ms / 1000.0).substr(0, 5) + " s").c_str(),
      ok ? "ok" : "MISSED");
  std::fflush(stdout);
  return ok;
}

bool LargeFolderCase(const std::string& parent) {
  NewFolder dir(parent);
  fs::create_directory(dir / "large");
  for (int i = 0; i < kFiles; ++i) {
    const int fd = open((dir / ("large/name" + std::to_string(i) + ".txt")).c_str(),
                        O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
  }
  RecordingSeam seam;
  TmainF window(dir / "quillon");
  ShowWindowAt(window, dir.path());
  TShellNode* large = ChildNamed(window.ST1->Selected(), "large");
  if (!large) {
    std::printf("select-200k: the tree does not show the folder\n");
    return false;
  }
  const Stall stall = MeasureStall([&] { window.ST1->setCurrentItem(large); },
                                   [&] {
                                     return window.StatusText().contains("bytes; Created: ") &&
                                            window.FileListBox1->count() == kFiles;
                                   },
                                   60000);
  window.close();
  return Report("select-200k-files", stall, 0.100, "size shown and the files listed");
}

bool UnansweringCase(const std::string& parent) {
  NewFolder dir(parent);
  fs::create_directory(dir / "hung");
  RecordingSeam seam;
  auto window = std::make_unique<TmainF>(dir / "quillon");
  ShowWindowAt(*window, dir.path());
  TShellNode* node = ChildNamed(window->ST1->Selected(), "hung");
  UnansweringMount mount(dir / "hung");
  if (!mount.ok()) {
    std::printf("select-unanswering-mount skipped: %s\n", mount.why().c_str());
    return true;
  }
  mount.EndAfter(10s);  // a window that waits on it stops waiting then
  const Stall stall =
      MeasureStall([&] { window->ST1->setCurrentItem(node); },
                   [&] { return window->StatusText() == "Calculating, please wait..."; }, 3000);
  QElapsedTimer closing;
  closing.start();
  window->close();
  window.reset();
  const qint64 closed_ms = closing.elapsed();
  const bool ok = Report("select-unanswering-mount", stall, 0.250, "waiting message shown");
  std::printf("CASE close-while-unanswering quillon=%.3fs limit=0.250s %s\n", closed_ms / 1000.0,
              closed_ms <= 250 ? "ok" : "MISSED");
  return ok && closed_ms <= 250;
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool SelectCases(const std::string& parent) {
  const bool large = LargeFolderCase(parent);
  const bool unanswering = UnansweringCase(parent);
  return large && unanswering;
}

int FirstRunChild(int argc, char** argv) {
  const std::string program_folder = argv[2], source = argv[3], destination = argv[4];
  QApplication application(argc, argv);
  RecordingSeam seam;
  seam.answers = {true};
  TmainF window(program_folder + "/quillon");
  window.show();
  QCoreApplication::processEvents();
  // As a user picks the destination: its parent shown in the tree, the folder clicked, and
  // Add selected; then the source typed and Run.
  window.ST1->SetPath(QString::fromStdString(quillon::FolderOfPath(destination)));
  window.ST1->Settle();
  window.ST1->Selected()->setExpanded(true);
  window.ST1->Settle();
  TShellNode* node = ChildNamed(window.ST1->Selected(), fs::path(destination).filename());
  if (!node) return 1;
  window.ST1->setCurrentItem(node);
  window.ST1Click();
  window.ST1->Settle();
  QCoreApplication::processEvents();
  window.adddestB->click();
  if (window.adddestE->text().toStdString() != destination) return 1;
  window.AddsourceE->setText(QString::fromStdString(source));
  const double seconds = Seconds([&] { window.RunB->click(); });
  std::printf("%.3f\n", seconds);
  std::fflush(stdout);
  _exit(0);  // ends here, as a user closing the window would not be timed
}

bool FirstRunCase(const std::string& parent, int repeat) {
  NewFolder dir(parent);
  if (!dir.ok()) return false;
  const std::string source = dir / "names.txt";
  WriteNames(source, kFiles);
  const std::string self = quillon::ExecutablePath();
  const std::string batch =
      quillon::FolderOfPath(quillon::FolderOfPath(self)) + "/cli/quillon-batch";
  double in_window = 1e9, batch_best = 1e9;
  int made = 0;
  // Every run into a new folder, none removed before the case ends: a file system creates
  // slowly for a while after a mass delete. The sides take turns at going first.
  for (int round = 0; round < 2 * repeat; ++round) {
    const bool window_turn = round % 4 == 1 || round % 4 == 2;
    const std::string folder = dir / ("run" + std::to_string(round));
    fs::create_directory(folder);
    std::string output;
    double first_byte = 0;
    if (window_turn) {
      // A program folder and a state folder of its own: the window's very first run.
      const std::string home = dir / ("home" + std::to_string(round));
      fs::create_directories(home + "/state");
      setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
      if (RunChild({self, kFirstRunChild, home, source, folder}, output, first_byte, true))
        in_window = std::min(in_window, std::atof(output.c_str()));
    } else {
      double whole = 0;
      whole = Seconds([&] {
        if (RunChild({batch, "--yes", source, folder}, output, first_byte, true)) ++made;
      });
      batch_best = std::min(batch_best, whole);
    }
  }
  const double ratio = in_window / batch_best;
  const bool ok = made == repeat && in_window < 1e9 && ratio <= 1.5;
  std::printf(
      "CASE first-run-200k window=%.3f batch=%.3f ratio=%.2f (at most 1.50; best of %d runs "
      "each, every one into a new folder, the window's its first) %s\n",
      in_window, batch_best, ratio, repeat, ok ? "ok" : "MISSED");
  std::fflush(stdout);
  return ok;
}
