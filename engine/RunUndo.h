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
};

// Reports "Removed: ", "Kept (changed since the run): " or "Kept (gone): " and the file's
// path beneath the destination for each file, then "Undone: N removed, M kept.". Nothing
// outside the journal's destination is touched, no link is followed, and a destination that
// is no longer the folder the run used keeps everything in it.
UndoCounts UndoRun(const RunJournal& journal, const ReportSink& report);

}  // namespace quillon
