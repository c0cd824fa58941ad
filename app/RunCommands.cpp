#include "app/RunCommands.h"

#include <string>

#include "app/ReportMemo.h"
#include "engine/RunUndo.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/RunJournal.h"
#include "util/ui/Seam.h"

namespace quillon {

void UndoLastRun(TReportMemo& report, bool last_run_unjournaled) {
  if (last_run_unjournaled) {
    ui::ShowNotice(QStringLiteral("No run to undo: the last run kept no journal."));
    return;
  }
  const std::string path = LastRunJournalPath();
  const std::optional<RunJournal> journal = path.empty() ? std::nullopt : ReadRunJournal(path);
  if (!journal || journal->files.empty()) {
    ui::ShowNotice(QStringLiteral("No run to undo: the last run created no files."));
    return;
  }
  const QString count = QString::number(journal->files.size());
  if (!ui::AskYesNo(QStringLiteral("Undo the last run in ") + ui::FromBytes(journal->destination) +
                        QStringLiteral("? Its ") + count +
                        QStringLiteral(" created files are removed where unchanged since."),
                    ui::DefaultAnswer::No)) {
    return;
  }
  std::string lines;
  UndoRun(*journal, [&lines](const std::string& line) { lines.append(line).push_back('\n'); });
  lines.pop_back();
  report.AppendBytes(lines);
  RemoveFile(path);
}

void SaveReport(const TReportMemo& report) {
  const std::optional<QString> file = ui::CurrentSeam().SaveFile(
      {QStringLiteral("Save report"), QStringLiteral("Txt-files (*.txt)|*.txt|All files (*.*)|*.*"),
       QString()});
  if (!file) return;
  std::string text;
  for (const QString& line : report.toPlainText().split(QLatin1Char('\n'))) {
    if (report.blockCount() == 0) break;
    text.append(ui::ToBytes(line)).append("\r\n");
  }
  try {
    ReplaceFileAtomically(ui::ToBytes(*file), text);
  } catch (const IoError& error) {
    ui::ShowError(QStringLiteral("Unable to save the report to ") + *file + QStringLiteral(": ") +
                  QString::fromLocal8Bit(error.what()));
  }
}

}  // namespace quillon
