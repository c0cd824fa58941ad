#include "engine/ConversionRun.h"

#include <cmath>

#include "engine/Filling.h"
#include "engine/Naming.h"
#include "engine/Reasons.h"
#include "util/DestinationFolder.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/RunJournal.h"
#include "util/TextLineReader.h"
#include "util/UniqueFd.h"

namespace quillon {

std::int64_t SuccessPercent(std::int64_t succeeded, std::int64_t total) {
  // Nothing was to be created, and nothing failed.
  if (total == 0) return 100;
  return static_cast<std::int64_t>(
      std::nearbyint(static_cast<double>(succeeded) / static_cast<double>(total) * 100.0));
}

ConversionRun::ConversionRun(RunHost& host, const RunSettings& settings)
    : host_(host), settings_(settings) {}

RunResult ConversionRun::Run(const std::string& source, const std::string& destination) {
  planning_ = false;
  host_.RecordDestination(destination);
  return Perform(source, destination);
}

RunResult ConversionRun::Plan(const std::string& source, const std::string& destination) {
  planning_ = true;
  return Perform(source, destination);
}

RunResult ConversionRun::Perform(const std::string& source, const std::string& destination) {
  destination_created_ = false;
  host_.AppendReport("Started...");
  counts_ = RunCounts{};
  host_.ClearCancel();
  host_.SetRunning(true);
  try {
    if (!CheckRunInputs(source, destination)) {
      host_.SetRunning(false);
      return RunResult::Refused;
    }
    RunLines(destination);
  } catch (...) {
    host_.SetRunning(false);
    throw;
  }
  const bool cancelled = host_.CancelPressed();
  host_.SetRunning(false);
  AppendSummary(cancelled);
  return cancelled ? RunResult::Cancelled : RunResult::Finished;
}

bool ConversionRun::CheckRunInputs(const std::string& source, const std::string& destination) {
  // The window's folder lists change the current folder while a run handles its events, so
  // relative texts are tied to the folder that was current when the run started.
  source_path_ = AnchorToCurrentFolder(source);
  destination_path_ = AnchorToCurrentFolder(destination);
  bool verdict = true;
  // A link to nothing names no file, so it is refused here like a missing one.
  if (GetPathKind(source_path_) != 'f') {
    host_.ShowError(source + " does not exist! Please check complete path.");
    host_.AppendReport("Does not exist: " + source);
    verdict = false;
  }
  // The files are filled from this text: a run that could not read it would end at its first
  // file, half made.
  if (std::string_view(settings_.FillKind) == "single" && settings_.FillText &&
      !CheckFillTextFile()) {
    verdict = false;
  }
  counts_.LineTotal = CountLines(source_path_, host_, source, CancelCheck());
  // Cancel pressed while the lines were counted: nothing is asked, and no line is run.
  cancelled_in_count_ = host_.CancelPressed();
  if (cancelled_in_count_) return verdict;
  // A run already refused asks nothing more.
  if (verdict && counts_.LineTotal > kQuestionAbove && !planning_) {
    if (!host_.AskYesNo(std::to_string(counts_.LineTotal) +
                        " files to be created. Really proceed??")) {
      host_.AppendReport("User decides not to proceed.");
      verdict = false;
    }
  }
  if (!verdict) return false;

  if (!planning_) host_.RecordSource(source);
  return CheckDestination(destination);
}

bool ConversionRun::CheckFillTextFile() {
  // Read as each file's filling reads it: the text as it stands, from the current folder.
  const std::string& text_file = settings_.FillTextFile;
  if (GetPathKind(text_file) != 'f') {
    host_.ShowError(text_file.empty()
                        ? "No fill text file given! Please choose one in the fill options."
                        : text_file + " does not exist! Please check complete path.");
    host_.AppendReport("Fill text file does not exist: " + text_file);
    return false;
  }
  try {
    OpenTextFile(text_file).Close();
  } catch (const IoError&) {
    host_.ShowError("Can not read " + text_file);
    host_.AppendReport("Fill text file can not be read: " + text_file);
    return false;
  }
  return true;
}

bool ConversionRun::CheckDestination(const std::string& destination) {
  if (GetPathKind(destination_path_) != 'd') {
    host_.AppendReport("Parent folder does not exist: " + destination);
    if (!planning_ &&
        !host_.AskYesNo(
            "Chosen parent folder is invalid or does not exist. I try to create it??")) {
      return false;
    }
    if (planning_ ? FolderCouldBeForced(destination_path_) : ForceFolder(destination_path_)) {
      if (!planning_) host_.ShowNotice("Creation succesfull");
      host_.AppendReport("Parent folder created: " + destination);
      destination_created_ = true;
    } else {
      host_.ShowError("Unable to create " + destination +
                      ". Probably invalid drive or not writable or use of bad characters!");
      host_.AppendReport("Unable to create parent folder: " + destination);
      return false;
    }
  }
  return true;
}

std::function<bool()> ConversionRun::CancelCheck() {
  // Within a long line too: a line over the path limit is refused however it ends.
  return [this] {
    host_.HandlePendingEvents();
    return host_.CancelPressed();
  };
}

void ConversionRun::RunLines(const std::string& destination) {
  if (cancelled_in_count_) return;
  // The user agreed to the lines counted; lines added to the source meanwhile are not read, so
  // the totals stay true. A source that could not be counted has no such bound.
  const std::int32_t counted = counts_.LineTotal;
  TextLineReader reader(source_path_);
  reader.StopWhen(CancelCheck());
  // Every file is created beneath the folder as it stands now, wherever its path leads later.
  // A plan of a folder still to be made plans it empty.
  DestinationFolder folder = planning_ && destination_created_
                                 ? DestinationFolder::PlannedAsCreated(destination_path_)
                                 : DestinationFolder(destination_path_);
  if (journal_ && !planning_ && folder.IsOpen()) {
    journal_->Begin(destination_path_, folder.Identity(), destination_created_);
  }
  host_.LinesBegin(!planning_ && folder.IsOpen() ? destination_path_ : std::string());
  std::int32_t line_number = 0;
  LinePartsBuilder line;
  do {
    line.Start(settings_.FillKind, settings_.SizeSeparatorCode);
    reader.ReadLine(line);
    // A line left unread by Cancel is not decided.
    if (reader.Stopped()) break;
    ProcessLine(line.Finish(), ++line_number, destination, folder, reader);
    host_.LineReached(line_number, counts_.LineTotal);
    host_.HandlePendingEvents();
  } while (!reader.AtEnd() && !host_.CancelPressed() && (counted < 0 || line_number < counted));
  reader.Close();
}

void ConversionRun::ProcessLine(const LineParts& parts, std::int32_t line_number,
                                const std::string& destination, DestinationFolder& folder,
                                TextLineReader& source) {
  const RunSettings& settings = settings_;
  const ReportSink report = [this](const std::string& line) { host_.AppendReport(line); };

  const std::int32_t fill_size = FillSizeFor(parts, settings, report);
  // A name too long to keep is over the path limit whatever its replacements would give.
  const bool replace = settings.ReplaceInvalid && !parts.NameCut;
  if (replace) replaced_name_ = ReplaceInvalidChars(parts.Name, settings.InvalidReplacer, report);
  const std::string& name = replace ? replaced_name_ : parts.Name;
  OutputPath(destination, name, settings.OutputExtension, settings.ExtensionAlways, path_);
  const std::string_view file_name = std::string_view(path_).substr(destination.size() + 1);
  LineVerdict verdict{line_number, file_name, fill_size, LineOutcome::Blank, {}};

  if (parts.Blank) {
    if (!counts_.BlankMet) {
      host_.AppendReport("Blank line met... all blanks will be ignored.");
      counts_.BlankMet = true;
    }
    ++counts_.BlankCount;
    --counts_.LineTotal;
  } else if (parts.NameCut || path_.size() > kMaxPathLength) {
    reason_ =
        PathLimitReason(parts.NameCut ? destination.size() + 1 + parts.NameLength : path_.size(),
                        parts.NameCut, kMaxPathLength);
    host_.AppendRefusal(
        "Warning: file to be made longer than 127 characters. Forbidden. Possibly bad "
        "text-file given!",
        reason_);
    verdict.outcome = LineOutcome::TooLong;
  } else if (parts.Unheld != 0) {
    reason_ = UnheldCharacterText(parts.Unheld);
    report_line_.assign("Unable to create: ").append(name);
    host_.AppendRefusal(report_line_, reason_);
    verdict.outcome = LineOutcome::Unable;
  } else {
    CreatedFile file = planning_ ? folder.Plan(file_name, static_cast<std::uint64_t>(line_number))
                                 : folder.Create(file_name, NamingFor(fill_size));
    // Filled before its outcome is told: a name taken while it was filled makes it existing.
    if (!planning_ && file.outcome() == CreateOutcome::Created) {
      FillAndComplete(file, fill_size, parts, &source, settings);
    }
    switch (file.outcome()) {
      case CreateOutcome::ExistsAlready:
        report_line_.assign("Exists already: ").append(name);
        host_.AppendReport(report_line_);
        ++counts_.ExistingCount;
        reason_ = ExistsReason(static_cast<std::int64_t>(file.earlier()));
        verdict.outcome = LineOutcome::ExistsAlready;
        break;
      case CreateOutcome::Failed:
        reason_ = RefusalReason(file.failure());
        report_line_.assign("Unable to create: ").append(name);
        host_.AppendRefusal(report_line_, reason_);
        verdict.outcome = LineOutcome::Unable;
        break;
      case CreateOutcome::Created:
        // Recorded once whole and named: the journal never lists a file that is not.
        if (!planning_) {
          if (journal_) journal_->RecordFile(file.path(), file.descriptor());
          file.Close();
        }
        ++counts_.CreatedCount;
        reason_.clear();
        verdict.outcome = LineOutcome::Created;
        break;
    }
  }
  if (verdict.outcome != LineOutcome::Blank) verdict.reason = reason_;
  host_.LineDecided(verdict);
}

void ConversionRun::AppendSummary(bool cancelled) {
  const std::string total = "/" + std::to_string(counts_.LineTotal);
  host_.AppendReport(cancelled ? "Cancelled! Not all created." : "Finished!");
  if (counts_.BlankMet)
    host_.AppendReport("Blank lines met: " + std::to_string(counts_.BlankCount));
  host_.AppendReport("Created files: " + std::to_string(counts_.CreatedCount) + total);
  host_.AppendReport("Existing files: " + std::to_string(counts_.ExistingCount) + total);
  const std::int64_t succeeded =
      static_cast<std::int64_t>(counts_.CreatedCount) + counts_.ExistingCount;
  host_.AppendReport("Success ratio: " + std::to_string(succeeded) + total + " or " +
                     std::to_string(SuccessPercent(succeeded, counts_.LineTotal)) + "%");
}

}  // namespace quillon
