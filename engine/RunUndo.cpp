#include "engine/RunUndo.h"

#include <algorithm>
#include <optional>

#include "util/DestinationFolder.h"
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
  for (const JournalFile& file : journal.files) {
    const RemoveOutcome outcome =
        folder ? folder->RemoveIfUnchanged(file.path, file.identity) : RemoveOutcome::Gone;
    // Shown with the host's separator, as the user names the file.
    std::string shown = file.path;
    std::replace(shown.begin(), shown.end(), '/', kPathSeparator);
    switch (outcome) {
      case RemoveOutcome::Removed:
        report("Removed: " + shown);
        ++counts.removed;
        break;
      case RemoveOutcome::Changed:
        report("Kept (changed since the run): " + shown);
        ++counts.kept;
        break;
      case RemoveOutcome::Gone:
        report("Kept (gone): " + shown);
        ++counts.kept;
        break;
    }
  }
  if (folder && journal.destination_created) {
    folder.reset();
    RemoveFolderIfEmpty(journal.destination, journal.destination_identity);
  }
  report("Undone: " + std::to_string(counts.removed) + " removed, " + std::to_string(counts.kept) +
         " kept.");
  return counts;
}

}  // namespace quillon
