#include "engine/RunUndo.h"

#include <algorithm>
#include <optional>

#include "util/DestinationFolder.h"
#include "util/IoError.h"
#include "util/Platform.h"

namespace quillon {

UndoCounts UndoRun(const RunJournal& journal, const ReportSink& report) {
  UndoCounts counts;
  std::optional<DestinationFolder> folder;
  if (!journal.destination.empty()) {
    folder.emplace(journal.destination);
    // The same path may name another folder by now: nothing in that one was made by the run.
    if (folder->IsOpen()) {
      const FileIdentity now = folder->Identity();
      const FileIdentity& then = journal.destination_identity;
      if (now.device != then.device || now.inode != then.inode) folder.reset();
    } else {
      folder.reset();
    }
  }
  // File systems keep birth times to as little as 2 seconds, rounded down.
  const std::int64_t born_by = journal.started_seconds - 2;
  for (const JournalFile& file : journal.files) {
    const FileIdentity& identity = file.identity;
    // Shown with the host's separator, as the user names the file.
    std::string shown = file.path;
    std::replace(shown.begin(), shown.end(), '/', kPathSeparator);
    RemoveResult result{RemoveOutcome::Gone};
    if (folder && identity.birth_known && identity.birth_seconds < born_by) {
      // Born before the run began: never the run's.
      result.outcome = RemoveOutcome::Changed;
    } else if (folder && !identity.TellsLaterFiles()) {
      report("Kept (cannot be told from a later file): " + shown);
      ++counts.kept;
      continue;
    } else if (folder) {
      result = folder->RemoveIfUnchanged(file.path, identity);
    }
    switch (result.outcome) {
      case RemoveOutcome::Removed:
        report("Removed: " + shown);
        ++counts.removed;
        continue;
      case RemoveOutcome::Failed:
        report("Not removed (" + IoErrorText(result.error) + "): " + shown);
        ++counts.not_removed;
        continue;
      case RemoveOutcome::Changed: report("Kept (changed since the run): " + shown); break;
      case RemoveOutcome::Gone: report("Kept (gone): " + shown); break;
    }
    ++counts.kept;
  }
  if (folder && journal.destination_created) {
    folder.reset();
    RemoveFolderIfEmpty(journal.destination, journal.destination_identity);
  }
  std::string summary = "Undone: " + std::to_string(counts.removed) + " removed, " +
                        std::to_string(counts.kept) + " kept";
  if (counts.not_removed != 0)
    summary += ", " + std::to_string(counts.not_removed) + " not removed";
  report(summary + ".");
  return counts;
}

}  // namespace quillon
