// The Run command: checks, the line loop and the summary, driven through a host.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/RunSettings.h"
#include "util/MessageHost.h"

namespace quillon {

class DestinationFolder;
class JournalWriter;
class TextLineReader;
struct LineParts;

// What became of one source line, or what will when it is planned.
enum class LineOutcome { Blank, TooLong, ExistsAlready, Created, Unable };

struct LineVerdict {
  std::int32_t line = 0;       // 1-based number of the source line
  std::string_view file_name;  // as joined to the destination, extension included
  std::int32_t fill_size = 0;  // the bytes the file gets (a single text not counted)
  LineOutcome outcome = LineOutcome::Blank;
  std::string_view reason;  // why it is not created, or why it exists; empty otherwise
};

// What a run needs from the program that starts it: its boxes, its report and a way to be
// cancelled. The window, the batch command and the tests implement it; the hooks with bodies
// are for a host that shows the run as it goes, and do nothing elsewhere.
class RunHost : public MessageHost {
 public:
  virtual void AppendReport(const std::string& line) = 0;
  // A line refused by the run ("Unable to create: ", "Warning: file to be made longer..."),
  // with its reason, for a host that shows reasons.
  virtual void AppendRefusal(const std::string& line, std::string_view /*reason*/) {
    AppendReport(line);
  }
  // Each line's outcome, after its report lines.
  virtual void LineDecided(const LineVerdict& /*verdict*/) {}
  virtual bool CancelPressed() = 0;
  virtual void ClearCancel() = 0;

  // The window handles its pending messages here, so a press on Cancel is seen.
  virtual void HandlePendingEvents() {}
  // Running: Cancel enabled, Run and Clear disabled; idle: the reverse.
  virtual void SetRunning(bool /*running*/) {}
  // The line reached (1-based) of the current line total, after each line.
  virtual void LineReached(std::int32_t /*line*/, std::int32_t /*line_total*/) {}
  // The line loop begins, its inputs open: from now on the run writes beneath this folder
  // alone (empty: nowhere, as a plan or a destination that could not be opened).
  virtual void LinesBegin(const std::string& /*written_folder*/) {}
  // The destination into both folder histories, the source into both file histories.
  virtual void RecordDestination(const std::string& /*destination*/) {}
  virtual void RecordSource(const std::string& /*source*/) {}
};

struct RunCounts {
  std::int32_t LineTotal = 0;
  std::int32_t CreatedCount = 0;
  std::int32_t ExistingCount = 0;
  std::int32_t BlankCount = 0;
  bool BlankMet = false;
};

enum class RunResult { Finished, Cancelled, Refused };

class ConversionRun {
 public:
  // The settings are read for each line as they stand then, so they must outlive the run.
  ConversionRun(RunHost& host, const RunSettings& settings);
  ConversionRun(RunHost& host, RunSettings&& settings) = delete;

  // One whole run. Throws IoError when file input or output fails during the loop; the host
  // has then been set idle again and the source is closed.
  RunResult Run(const std::string& source, const std::string& destination);

  // The same run, planned: every check and every line decided as the run would on the disk as
  // it stands, nothing created, filled or changed. It asks nothing: a count over the limit is
  // taken as agreed, a missing destination as created when it could be. Lines created by
  // earlier lines exist already for later ones. Histories are left alone.
  RunResult Plan(const std::string& source, const std::string& destination);

  // Journal of the files Run creates, written as it goes; null for none. Must outlive the run.
  void KeepJournal(JournalWriter* journal) { journal_ = journal; }

  // The verdict of the checks on source and destination; fills LineTotal.
  bool CheckRunInputs(const std::string& source, const std::string& destination);

  const RunCounts& counts() const { return counts_; }

  static constexpr std::size_t kMaxPathLength = 127;
  static constexpr std::int32_t kQuestionAbove = 100;

 private:
  RunResult Perform(const std::string& source, const std::string& destination);
  // The single text's file, when the files are filled from it: there and readable.
  bool CheckFillTextFile();
  bool CheckDestination(const std::string& destination);
  void RunLines(const std::string& destination);
  // Asked between reads within a line: handles the host's events, then asks for Cancel.
  std::function<bool()> CancelCheck();
  void ProcessLine(const LineParts& parts, std::int32_t line_number, const std::string& destination,
                   DestinationFolder& folder, TextLineReader& source);
  void AppendSummary(bool cancelled);

  RunHost& host_;
  const RunSettings& settings_;
  RunCounts counts_;
  bool planning_ = false;
  bool destination_created_ = false;
  bool cancelled_in_count_ = false;
  JournalWriter* journal_ = nullptr;
  // Where the source and destination texts point in the file system. The texts themselves
  // are what the report shows and the path limit counts.
  std::string source_path_;
  std::string destination_path_;
  // Each line's name, path and report line, in memory the next line reuses.
  std::string replaced_name_;
  std::string path_;
  std::string report_line_;
  std::string reason_;
};

// "Success ratio: " line's percentage: rounded half to even; 100 for a total of 0.
std::int64_t SuccessPercent(std::int64_t succeeded, std::int64_t total);

}  // namespace quillon
