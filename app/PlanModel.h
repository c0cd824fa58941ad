// The plan of a run as the preview shows it: the host that gathers it and a table model over
// its lines, sorted and filtered by an index over the rows rather than by a proxy, so 100,000
// lines open, sort and filter at once.
#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "util/ui/SeamMessageHost.h"

namespace quillon {

struct PlannedLine {
  std::int32_t line = 0;
  std::string file_name;
  std::int32_t fill_size = 0;
  LineOutcome outcome = LineOutcome::Blank;
  std::string reason;
};

// A plan's host: it keeps the report and every line's outcome, and tells boxes through the
// seam. A plan asks nothing and cannot be cancelled.
class PlanHost : public RunHost {
 public:
  void ShowNotice(const std::string& text) override { boxes_.ShowNotice(text); }
  void ShowError(const std::string& text) override { boxes_.ShowError(text); }
  void ShowWarning(const std::string& text) override { boxes_.ShowWarning(text); }
  void ShowInformation(const std::string& text) override { boxes_.ShowInformation(text); }
  bool AskYesNo(const std::string& question) override { return boxes_.AskYesNo(question); }
  void AppendReport(const std::string& line) override;
  void LineDecided(const LineVerdict& verdict) override;
  bool CancelPressed() override { return false; }
  void ClearCancel() override {}

  std::vector<std::string> report;
  std::vector<PlannedLine> lines;
  // Report lines there were when the last line was decided: the summary follows them.
  std::size_t report_at_last_line = 0;

 private:
  ui::SeamMessageHost boxes_;
};

QString OutcomeText(LineOutcome outcome);

class PlanModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { LineColumn, FileNameColumn, FillSizeColumn, OutcomeColumn, ReasonColumn };

  explicit PlanModel(QObject* parent = nullptr);

  void SetLines(std::vector<PlannedLine> lines);
  // Only the lines of that outcome; all lines for none.
  void SetOutcomeFilter(std::optional<LineOutcome> outcome);
  const PlannedLine& LineAt(int row) const { return lines_[shown_[static_cast<std::size_t>(row)]]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void sort(int column, Qt::SortOrder order) override;

 private:
  void Rebuild();

  std::vector<PlannedLine> lines_;
  std::vector<std::uint32_t> shown_;  // indexes into lines_, in the order shown
  std::optional<LineOutcome> filter_;
  int sort_column_ = LineColumn;
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
};

}  // namespace quillon
