#include "app/WindowRunHost.h"

#include <QCoreApplication>
#include <optional>

#include "util/RunJournal.h"
#include "util/ui/Seam.h"

namespace quillon {
namespace {

constexpr int kFlushMilliseconds = 60;
constexpr int kEventsMilliseconds = 4;

}  // namespace

WindowRunHost::WindowRunHost(RunView& view, bool& cancelled) : view_(view), cancelled_(cancelled) {}

bool WindowRunHost::EventsDue(std::int64_t elapsed_ms, std::int32_t line, std::int32_t line_total) {
  return elapsed_ms < 0 || elapsed_ms >= kEventsMilliseconds || line >= line_total;
}

void WindowRunHost::Run(const RunSettings& settings, const std::string& source,
                        const std::string& destination) {
  since_flush_.invalidate();
  std::optional<JournalWriter> journal;
  std::string unkept;  // why the run keeps no journal
  if (const std::string path = LastRunJournalPath(); !path.empty()) {
    journal.emplace(path, JournalWriter::Failures::LeaveTheRunUnjournaled);
  } else if (const std::string folder = StateFolderPath(); !folder.empty()) {
    unkept = "unable to make the folder " + folder;
  } else {
    unkept = "the user has no folder for the window's state";
  }
  RunResult result = RunResult::Refused;
  try {
    ConversionRun run(*this, settings);
    if (journal) run.KeepJournal(&*journal);
    result = run.Run(source, destination);
    if (journal) journal->Close();
  } catch (...) {
    // The lines before the failure are shown before the failure is told.
    TellJournal(journal ? journal->Begun() : true, journal ? journal->Failure() : unkept);
    FlushReport();
    if (running_) SetRunning(false);
    throw;
  }
  TellJournal(journal ? journal->Begun() : result != RunResult::Refused,
              journal ? journal->Failure() : unkept);
  FlushReport();
}

void WindowRunHost::TellJournal(bool begun, const std::string& failure) {
  // A run refused at its checks made nothing to undo: the last run's journal stands.
  if (!begun) return;
  last_run_unjournaled_ = !failure.empty();
  if (last_run_unjournaled_) {
    AppendReport("Journal not kept: " + failure + ". This run cannot be undone.");
  }
}

// Every box shows what the report held before it.
MessageHost& WindowRunHost::Boxes() {
  FlushReport();
  return boxes_;
}

void WindowRunHost::ShowNotice(const std::string& text) { Boxes().ShowNotice(text); }
void WindowRunHost::ShowError(const std::string& text) { Boxes().ShowError(text); }
void WindowRunHost::ShowWarning(const std::string& text) { Boxes().ShowWarning(text); }
void WindowRunHost::ShowInformation(const std::string& text) { Boxes().ShowInformation(text); }
bool WindowRunHost::AskYesNo(const std::string& question) { return Boxes().AskYesNo(question); }

void WindowRunHost::AppendRefusal(const std::string& line, std::string_view reason) {
  pending_reasons_.emplace_back(pending_lines_, std::string(reason));
  AppendReport(line);
}

void WindowRunHost::AppendReport(const std::string& line) {
  pending_report_.append(line).push_back('\n');
  ++pending_lines_;
  if (!since_flush_.isValid() || since_flush_.elapsed() >= kFlushMilliseconds) FlushReport();
}

void WindowRunHost::HandlePendingEvents() {
  const qint64 elapsed = since_events_.isValid() ? since_events_.elapsed() : -1;
  if (!EventsDue(elapsed, line_reached_, line_total_)) return;
  if (since_flush_.elapsed() >= kFlushMilliseconds) FlushReport();
  QCoreApplication::processEvents();
  since_events_.start();
}

void WindowRunHost::SetRunning(bool running) {
  running_ = running;
  if (running) {
    line_reached_ = 0;
    line_total_ = 0;
  } else {
    FlushReport();
  }
  view_.ShowRunning(running);
}

void WindowRunHost::LineReached(std::int32_t line, std::int32_t line_total) {
  line_reached_ = line;
  line_total_ = line_total;
}

void WindowRunHost::RecordDestination(const std::string& destination) {
  view_.RecordFolder(ui::FromBytes(destination));
}

void WindowRunHost::RecordSource(const std::string& source) {
  view_.RecordFile(ui::FromBytes(source));
}

void WindowRunHost::FlushReport() {
  if (!pending_report_.empty()) {
    pending_report_.pop_back();  // the last line's "\n"
    view_.ShowReportBytes(pending_report_);
    pending_report_.clear();
    for (const auto& [line, reason] : pending_reasons_) {
      view_.ShowLineReason(pending_lines_ - 1 - line, reason);
    }
    pending_reasons_.clear();
    pending_lines_ = 0;
  }
  since_flush_.start();
  if (running_) view_.ShowProgress(line_reached_, line_total_);
}

}  // namespace quillon
