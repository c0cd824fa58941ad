// The window as the host of a run: report lines are gathered and shown in batches, and pending
// events are handled every few milliseconds, so Cancel stays responsive without slowing the run
// down. The window shows what the host hands it through RunView.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/ConversionRun.h"
#include "util/ui/SeamMessageHost.h"

namespace quillon {

// What the window shows of a run, and the histories a run records its paths in.
class RunView {
 public:
  // Lines to add at the end of the report pane, as the run wrote them, each but the last
  // followed by "\n".
  virtual void ShowReportBytes(std::string_view lines) = 0;
  // The reason of a refused line just shown, counted from the last line shown (0 the last).
  virtual void ShowLineReason(int lines_before_last, const std::string& reason) = 0;
  // The line reached (1-based) of the line total; both 0 until the first line is done.
  virtual void ShowProgress(int line, int line_total) = 0;
  // Running: Cancel enabled, Run and Clear disabled, the progress shown; idle: the reverse.
  virtual void ShowRunning(bool running) = 0;
  virtual void RecordFile(const QString& path) = 0;
  virtual void RecordFolder(const QString& path) = 0;

 protected:
  ~RunView() = default;
};

class WindowRunHost : public RunHost {
 public:
  // cancelled: the window's flag that Cancel sets.
  WindowRunHost(RunView& view, bool& cancelled);

  // One whole run with the settings as they stand. The report is shown up to the end, also
  // when a failure of file input or output ends the run and goes up to the caller. The run's
  // journal replaces the last run's once the run reaches its lines (LastRunJournalPath); a
  // journal that fails leaves the run going on without it, told once in the report.
  void Run(const RunSettings& settings, const std::string& source, const std::string& destination);
  bool Running() const { return running_; }
  // Whether the last run that reached its lines kept no journal: none is there to undo, even
  // where an earlier run's journal could not be taken away.
  bool LastRunUnjournaled() const { return last_run_unjournaled_; }

  // Whether a run handles the window's events after a line: at most every few milliseconds,
  // so long runs keep their pace, but always on the first line and the last counted ones, so a
  // press on Cancel during the last line still cancels. A negative elapsed time is the first.
  static bool EventsDue(std::int64_t elapsed_ms, std::int32_t line, std::int32_t line_total);

  void ShowNotice(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;

  void AppendReport(const std::string& line) override;
  void AppendRefusal(const std::string& line, std::string_view reason) override;
  bool CancelPressed() override { return cancelled_; }
  void ClearCancel() override { cancelled_ = false; }
  void HandlePendingEvents() override;
  void SetRunning(bool running) override;
  void LineReached(std::int32_t line, std::int32_t line_total) override;
  void RecordDestination(const std::string& destination) override;
  void RecordSource(const std::string& source) override;

 private:
  void FlushReport();
  // Tells in the report when a run that began its lines keeps no journal, and remembers it.
  void TellJournal(bool begun, const std::string& failure);
  // The boxes, once the report shows every line before them.
  MessageHost& Boxes();

  RunView& view_;
  bool& cancelled_;
  ui::SeamMessageHost boxes_;
  bool running_ = false;
  std::string pending_report_;  // report lines not yet shown, each ended by "\n"
  int pending_lines_ = 0;
  // Reasons of refused lines not yet shown, by their place among the pending lines.
  std::vector<std::pair<int, std::string>> pending_reasons_;
  QElapsedTimer since_flush_;
  QElapsedTimer since_events_;
  int line_reached_ = 0;
  int line_total_ = 0;
  bool last_run_unjournaled_ = false;
};

}  // namespace quillon
