// The commands around a run: undoing the last run by its journal, and saving the report.
#pragma once

namespace quillon {

class TReportMemo;

// Asks, with the count, whether to undo the window's last run, then undoes it into the
// report; the journal goes once undone. A notice when there is no run to undo.
void UndoLastRun(TReportMemo& report);

// Writes the report's lines to a file chosen in the save dialog, each ended by CR LF.
void SaveReport(const TReportMemo& report);

}  // namespace quillon
