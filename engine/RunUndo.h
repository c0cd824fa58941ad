// Taking a run back by its journal: each file it created goes when it is still as the run left
// it, and the destination it created goes when that leaves it empty.
#pragma once

#include <cstdint>

#include "engine/Naming.h"
#include "util/RunJournal.h"

namespace quillon {

struct UndoCounts {
  std::int64_t removed = 0;
  std::int64_t kept = 0;
  std::int64_t not_removed = 0;  // the run's files the host refused to remove
};

// Reports "Removed: ", "Kept (changed since the run): ", "Kept (gone): ", "Kept (cannot be
// told from a later file): " or "Not removed (" the host's reason "): " and the file's path
// beneath the destination for each file, then "Undone: N removed, M kept." (with ", K not
// removed" before the dot when the host refused some). Nothing outside the journal's
// destination is touched, no link is followed, and a destination that is no longer the folder
// the run used keeps everything in it. A file is removed only where its identity tells it from
// any later file in its place (see FileIdentity::TellsLaterFiles), and never when it was born
// before the run began.
UndoCounts UndoRun(const RunJournal& journal, const ReportSink& report);

}  // namespace quillon
