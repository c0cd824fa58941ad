// The commands around a run: undoing the last run by its journal, and saving the report.
#pragma once

namespace quillon {

class TReportMemo;

// Asks, with its destination and count, whether to undo the window's last run (No ready for
// Enter), then undoes it into the report; the journal goes once undone. A notice when there is
// no run to undo, as when the last run kept no journal.
void UndoLastRun(TReportMemo& report, bool last_run_unjournaled);

// Writes the report's lines to a file chosen in the save dialog, each ended by CR LF.
void SaveReport(const TReportMemo& report);

}  // namespace quillon
