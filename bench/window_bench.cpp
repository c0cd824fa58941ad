// A run of 100,000 lines in the main window on the offscreen platform, against the same run
// through the engine alone in the same process: once into an empty folder, once with every
// file existing (100,000 report lines). Also how long the window went without handling its
// events during a run, and how soon a press on Cancel stopped one.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/ReportMemo.h"
#include "app/quillonU.h"
#include "engine/ConversionRun.h"
#include "support/RecordingRunHost.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"

using quillon::TmainF;
using quillon::testing::RecordingRunHost;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;

namespace {

constexpr int kLines = 100000;

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
  const double seconds =
      Seconds([&] { quillon::ConversionRun(host, settings).Run(source, destination); });
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

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  TempDir dir;
  RecordingSeam seam;
  {
    std::ofstream source(dir / "names.txt", std::ios::binary);
    for (int i = 0; i < kLines; ++i) source << "name" << i << "\r\n";
  }
  const std::string source = dir / "names.txt";

  TmainF window(dir / "quillon");
  window.show();
  QCoreApplication::processEvents();

  // Each side runs twice, in the order engine, window, window, engine, and its faster run
  // counts, so neither profits from going first or last.
  bool ok = true;
  for (const char* name : {"empty", "existing"}) {
    const bool fresh = std::string(name) == "empty";
    double engine = 1e9, in_window = 1e9;
    std::size_t engine_lines = 0;
    int window_lines = 0;
    qint64 gap = 0, longest_gap = 0;
    for (int round = 0; round < 4; ++round) {
      const bool window_turn = round == 1 || round == 2;
      const std::string side = window_turn ? "window" : "engine";
      // The existing case runs again into the first folders the empty case filled.
      const std::string folder = dir / (side + (fresh         ? std::to_string(round)
                                                : window_turn ? "1"
                                                              : "0"));
      if (fresh) std::filesystem::create_directory(folder);
      if (window_turn) {
        in_window = std::min(in_window, WindowRun(window, seam, source, folder, window_lines, gap));
        longest_gap = std::max(longest_gap, gap);
      } else {
        engine = std::min(engine, EngineRun(source, folder, engine_lines));
      }
    }
    const double ratio = in_window / engine;
    std::printf(
        "%s window=%.3f engine=%.3f ratio=%.2f (report lines: window %d, engine %zu; "
        "longest wait for events %lld ms)\n",
        name, in_window, engine, ratio, window_lines, engine_lines,
        static_cast<long long>(longest_gap));
    std::fflush(stdout);
    ok = ok && ratio <= 1.5 && static_cast<std::size_t>(window_lines) == engine_lines;
  }

  // Cancel pressed 300 ms into a run with every file existing: the time until the run ended.
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
  std::printf("%s\n", ok ? "PASS: the window's runs stay within 1.5 times the engine's" : "FAIL");
  return ok ? 0 : 1;
}
