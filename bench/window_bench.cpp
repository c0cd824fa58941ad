// Benchmarks of the window on the offscreen platform. The cases, all of them when none is
// named:
//   runs     100,000 lines in the main window, against the same run through the engine alone
//            in the same process, the engine keeping its journal where the window keeps it:
//            into an empty folder, and with every file existing (100,000 report lines); each
//            side runs --repeat times (5 unless told), taking turns, every run in a fresh folder
//            that nothing deletes before the case ends (a file system creates slowly for a while
//            after a mass delete), and the best run of each side counts. Also how long the
//            window went without handling its events during a run, and how soon a press on
//            Cancel stopped one.
//   report   a run reporting 1,000,000 "Exists already" lines, in a process of its own: the
//            window's resident memory after it, which must stay under 80 MB.
//   startup  from a process's start to its main window's first paint: Quillon against
//            startup-floor (a minimal Qt program with a tree view and a list), taking turns,
//            the medians of the starts; at most 1.25 times the floor.
//   window-bench [--dir FOLDER] [--repeat N] [runs] [report] [startup]
// The runs happen in a fresh folder made inside FOLDER (default: the temporary folder).
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <vector>

#include "ChildProcess.h"
#include "FirstPaint.h"
#include "app/QuillonApplication.h"
#include "app/ReportMemo.h"
#include "app/Windows.h"
#include "app/quillonU.h"
#include "engine/ConversionRun.h"
#include "shelltree/ShellTree.h"
#include "support/RecordingRunHost.h"
#include "support/RecordingSeam.h"
#include "support/ResidentMemory.h"
#include "support/TempDir.h"
#include "util/Platform.h"
#include "util/RunJournal.h"
#include "util/ui/StartUpWarmUp.h"
#include "window_disk_bench.h"

using quillon::QuillonApplication;
using quillon::QuillonWindows;
using quillon::TmainF;
using quillon::testing::ProcessMemory;
using quillon::testing::RecordingRunHost;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;

namespace {

constexpr int kLines = 100000;

struct Options {
  std::string dir = std::filesystem::temp_directory_path().string();
  int repeat = 5;
};

// A fresh folder inside a parent the caller names, removed with everything in it.
class FreshFolder {
 public:
  explicit FreshFolder(const std::string& parent) {
    std::string pattern = parent + "/window-bench-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~FreshFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  bool ok() const { return !path_.empty(); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double EngineRun(const std::string& source, const std::string& destination,
                 std::size_t& report_lines) {
  RecordingRunHost host;
  host.answers = {true};
  quillon::RunSettings settings;
  const std::string journal_path = quillon::LastRunJournalPath();
  const double seconds = Seconds([&] {
    quillon::JournalWriter journal(journal_path);
    quillon::ConversionRun run(host, settings);
    run.KeepJournal(&journal);
    run.Run(source, destination);
    journal.Close();
  });
  report_lines = host.report.size();
  return seconds;
}

double WindowRun(TmainF& window, RecordingSeam& seam, const std::string& source,
                 const std::string& destination, int& report_lines, qint64& longest_gap_ms) {
  window.RunM->clear();
  window.AddsourceE->setText(QString::fromStdString(source));
  window.adddestE->setText(QString::fromStdString(destination));
  seam.answers = {true};
  // A timer that wants to fire every 5 ms shows how long the window kept its events waiting.
  QElapsedTimer since_tick;
  longest_gap_ms = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (since_tick.isValid()) longest_gap_ms = std::max(longest_gap_ms, since_tick.elapsed());
    since_tick.start();
  });
  ticker.start(5);
  const double seconds = Seconds([&] { window.RunB->click(); });
  ticker.stop();
  report_lines = window.RunM->blockCount();
  return seconds;
}

constexpr const char* kFirstPaintChild = "--first-paint-child";
constexpr const char* kReportChild = "--report-child";
constexpr double kMegabyte = 1024.0 * 1024.0;

// A start of the program as its entry makes it, in a program folder of its own, ended at the
// first paint of its main window.
int FirstPaintChild(int argc, char** argv) {
  const std::string program_folder = argv[2];
  quillon::ui::StartUpWarmUp warm_up;
  QuillonApplication application(argc, argv, &warm_up);
  QuillonWindows windows(program_folder + "/quillon");
  FirstPaintReporter reporter(windows.mainF.get());
  windows.mainF->show();
  return application.exec();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool StartupCase() {
  constexpr int kStarts = 15;
  const std::string self = quillon::ExecutablePath();
  const std::string floor_program = quillon::FolderOfPath(self) + "/startup-floor";
  TempDir program_folder;
  std::vector<double> quillon, floor;
  // A first round of each is not counted: the program's very first start makes its history
  // files, and both fill the file cache. Then each goes first in turn.
  for (int round = 0; round <= kStarts; ++round) {
    for (int turn = 0; turn < 2; ++turn) {
      const bool quillon_turn = (turn == 0) == (round % 2 == 0);
      std::string output;
      double seconds = 0;
      const bool ok = quillon_turn ? RunChild({self, kFirstPaintChild, program_folder.path()},
                                              output, seconds, true)
                                   : RunChild({floor_program}, output, seconds, true);
      if (!ok) {
        std::printf("startup: %s did not paint\n", quillon_turn ? "Quillon" : "startup-floor");
        return false;
      }
      if (round > 0) (quillon_turn ? quillon : floor).push_back(seconds);
    }
  }
  const double ratio = Median(quillon) / Median(floor);
  const double best_ratio = *std::min_element(quillon.begin(), quillon.end()) /
                            *std::min_element(floor.begin(), floor.end());
  const bool ok = ratio <= 1.25;
  std::printf(
      "startup quillon=%.3f floor=%.3f ratio=%.2f (medians of %d starts each, offscreen; "
      "best of them: ratio=%.2f) %s\n",
      Median(quillon), Median(floor), ratio, kStarts, best_ratio, ok ? "ok" : "MISSED");
  std::fflush(stdout);
  return ok;
}

// A run whose 1,000,000 lines all name files that exist, in a window of a process of its own,
// so its memory is the window's alone.
int ReportChild(int argc, char** argv) {
  constexpr int kNames = 1000;
  constexpr int kReportLines = 1'000'000;
  QApplication application(argc, argv);
  TempDir dir;
  RecordingSeam seam;
  const std::string destination = dir / "dest";
  std::filesystem::create_directory(destination);
  for (int i = 0; i < kNames; ++i) {
    std::ofstream(destination + "/name" + std::to_string(i) + ".txt");
  }
  {
    std::ofstream source(dir / "names.txt", std::ios::binary);
    for (int i = 0; i < kReportLines; ++i) source << "name" << i % kNames << "\r\n";
  }
  TmainF window(dir / "quillon");
  window.show();
  QCoreApplication::processEvents();
  const std::int64_t before = ProcessMemory();
  window.AddsourceE->setText(QString::fromStdString(dir / "names.txt"));
  window.adddestE->setText(QString::fromStdString(destination));
  seam.answers = {true};
  window.RunB->click();
  QCoreApplication::processEvents();
  const std::int64_t after = ProcessMemory();
  const std::int64_t highest = ProcessMemory("VmHWM");
  // The text of the report lines, counted without building it.
  std::int64_t text = 0;
  for (int i = 0; i < kReportLines; ++i) {
    text += std::string("Exists already: name").size() + std::to_string(i % kNames).size();
  }
  const int lines = window.RunM->blockCount();
  const bool ok = lines > kReportLines && after < 80 * kMegabyte;
  std::printf(
      "report-1m lines=%d window-rss=%.1f MB (before the run %.1f MB, at its highest "
      "%.1f MB; %.1f bytes a report line beyond its text) %s\n",
      lines, after / kMegabyte, before / kMegabyte, highest / kMegabyte,
      double(after - before - text) / kReportLines, ok ? "ok" : "MISSED");
  return ok ? 0 : 1;
}

bool ReportCase() {
  std::string output;
  double seconds = 0;
  const bool ok = RunChild({quillon::ExecutablePath(), kReportChild}, output, seconds);
  std::printf("%s", output.empty() ? "report-1m: the run did not end\n" : output.c_str());
  std::fflush(stdout);
  return ok;
}

}  // namespace

namespace {

bool RunsCase(int argc, char** argv, const Options& options) {
  QApplication application(argc, argv);
  FreshFolder dir(options.dir);
  if (!dir.ok()) {
    std::printf("runs: cannot make a folder in %s\n", options.dir.c_str());
    return false;
  }
  RecordingSeam seam;
  {
    std::ofstream source(dir / "names.txt", std::ios::binary);
    for (int i = 0; i < kLines; ++i) source << "name" << i << "\r\n";
  }
  const std::string source = dir / "names.txt";

  TmainF window(dir / "quillon");
  window.show();
  QCoreApplication::processEvents();

  // The sides take turns as engine, window, window, engine, ..., so neither profits from
  // going first or last, and the best run of each counts.
  bool ok = true;
  for (const char* name : {"empty", "existing"}) {
    const bool fresh = std::string(name) == "empty";
    double engine = 1e9, in_window = 1e9;
    std::size_t engine_lines = 0;
    int window_lines = 0;
    qint64 gap = 0, longest_gap = 0;
    for (int round = 0; round < 2 * options.repeat; ++round) {
      const bool window_turn = round % 4 == 1 || round % 4 == 2;
      const std::string side = window_turn ? "window" : "engine";
      // The existing case runs again into the folders the empty case filled.
      const std::string folder = dir / (side + std::to_string(round));
      if (fresh) std::filesystem::create_directory(folder);
      // The folder tree shows the run folders and watches them: what it was told of the last
      // run is taken in before the next one, so that no run pays for the one before.
      window.ST1->Settle();
      QCoreApplication::processEvents();
      if (window_turn) {
        in_window = std::min(in_window, WindowRun(window, seam, source, folder, window_lines, gap));
        longest_gap = std::max(longest_gap, gap);
      } else {
        engine = std::min(engine, EngineRun(source, folder, engine_lines));
      }
    }
    const double ratio = in_window / engine;
    std::printf(
        "%s window=%.3f engine=%.3f ratio=%.2f (best of %d runs each; report lines: window %d, "
        "engine %zu; longest wait for events %lld ms)\n",
        name, in_window, engine, ratio, options.repeat, window_lines, engine_lines,
        static_cast<long long>(longest_gap));
    std::fflush(stdout);
    ok = ok && ratio <= 1.5 && static_cast<std::size_t>(window_lines) == engine_lines;
  }

  // Cancel pressed 300 ms into a run with every file existing, its names given ten times over
  // so it lasts well beyond that: the time until the run ended.
  {
    std::ofstream repeated(dir / "repeated.txt", std::ios::binary);
    for (int i = 0; i < 10 * kLines; ++i) repeated << "name" << i % kLines << "\r\n";
  }
  window.AddsourceE->setText(QString::fromStdString(dir / "repeated.txt"));
  window.RunM->clear();
  seam.answers = {true};
  QElapsedTimer since_press;
  QTimer::singleShot(300, &window, [&] {
    since_press.start();
    window.cancelB->click();
  });
  window.RunB->click();
  const qint64 latency = since_press.isValid() ? since_press.elapsed() : -1;
  const bool cancelled = window.RunM->toPlainText().contains("Cancelled! Not all created.");
  std::printf("cancel stopped the run %lld ms after the press (%s)\n",
              static_cast<long long>(latency), cancelled ? "cancelled" : "NOT cancelled");
  ok = ok && cancelled && latency >= 0 && latency < 200;

  window.close();
  std::printf("runs: %s (the window's runs within 1.5 times the engine's, Cancel within 200 ms)\n",
              ok ? "ok" : "MISSED");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == kFirstPaintChild && argc > 2) return FirstPaintChild(argc, argv);
  if (first == kReportChild) return ReportChild(argc, argv);
  if (first == kFirstRunChild && argc > 4) return FirstRunChild(argc, argv);
  Options options;
  std::set<std::string> named;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool valued = (argument == "--dir" || argument == "--repeat") && i + 1 < argc;
    if (valued && argument == "--dir") {
      options.dir = argv[++i];
    } else if (valued) {
      options.repeat = std::atoi(argv[++i]);
    } else if (argument == "runs" || argument == "report" || argument == "startup" ||
               argument == "select" || argument == "first-run") {
      named.insert(argument);
    } else {
      options.repeat = 0;
      break;
    }
  }
  if (options.repeat < 1) {
    std::fprintf(stderr,
                 "usage: window-bench [--dir FOLDER] [--repeat N] [runs] [report] "
                 "[startup] [select] [first-run]\n");
    return 2;
  }
  const auto wanted = [&](const char* name) { return named.empty() || named.count(name) > 0; };
  bool ok = true;
  if (wanted("runs")) ok = RunsCase(argc, argv, options) && ok;
  if (wanted("report")) ok = ReportCase() && ok;
  if (wanted("startup")) ok = StartupCase() && ok;
  if (wanted("select")) {
    QApplication application(argc, argv);
    ok = SelectCases(options.dir) && ok;
  }
  if (wanted("first-run")) ok = FirstRunCase(options.dir, options.repeat) && ok;
  std::printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
