#include "app/PlanModel.h"

#include <algorithm>

#include "util/ui/Seam.h"

namespace quillon {

void PlanHost::AppendReport(const std::string& line) { report.push_back(line); }

void PlanHost::LineDecided(const LineVerdict& verdict) {
  // A blank line names no file.
  const std::string_view file_name =
      verdict.outcome == LineOutcome::Blank ? std::string_view() : verdict.file_name;
  lines.push_back({verdict.line, std::string(file_name), verdict.fill_size, verdict.outcome,
                   std::string(verdict.reason)});
  report_at_last_line = report.size();
}

QString OutcomeText(LineOutcome outcome) {
  switch (outcome) {
    case LineOutcome::Created: return QStringLiteral("Created");
    case LineOutcome::ExistsAlready: return QStringLiteral("Exists already");
    case LineOutcome::Unable: return QStringLiteral("Unable to create");
    case LineOutcome::TooLong: return QStringLiteral("Too long");
    case LineOutcome::Blank: return QStringLiteral("Blank");
  }
  return {};
}

namespace {

// The outcomes in the order of their texts.
int OutcomeRank(LineOutcome outcome) {
  switch (outcome) {
    case LineOutcome::Blank: return 0;
    case LineOutcome::Created: return 1;
    case LineOutcome::ExistsAlready: return 2;
    case LineOutcome::TooLong: return 3;
    case LineOutcome::Unable: return 4;
  }
  return 5;
}

}  // namespace

PlanModel::PlanModel(QObject* parent) : QAbstractTableModel(parent) {}

void PlanModel::SetLines(std::vector<PlannedLine> lines) {
  beginResetModel();
  lines_ = std::move(lines);
  Rebuild();
  endResetModel();
}

void PlanModel::SetOutcomeFilter(std::optional<LineOutcome> outcome) {
  beginResetModel();
  filter_ = outcome;
  Rebuild();
  endResetModel();
}

void PlanModel::sort(int column, Qt::SortOrder order) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  sort_column_ = column;
  sort_order_ = order;
  Rebuild();
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void PlanModel::Rebuild() {
  shown_.clear();
  for (std::uint32_t i = 0; i < lines_.size(); ++i) {
    if (!filter_ || lines_[i].outcome == *filter_) shown_.push_back(i);
  }
  // The source's order is the order of its lines; other columns keep it among equals.
  const auto less = [this](std::uint32_t a, std::uint32_t b) {
    const PlannedLine& x = lines_[a];
    const PlannedLine& y = lines_[b];
    switch (sort_column_) {
      case FileNameColumn: return x.file_name < y.file_name;
      case FillSizeColumn: return x.fill_size < y.fill_size;
      case OutcomeColumn: return OutcomeRank(x.outcome) < OutcomeRank(y.outcome);
      case ReasonColumn: return x.reason < y.reason;
      default: return x.line < y.line;
    }
  };
  if (sort_column_ != LineColumn) std::stable_sort(shown_.begin(), shown_.end(), less);
  if (sort_order_ == Qt::DescendingOrder) std::reverse(shown_.begin(), shown_.end());
}

int PlanModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int PlanModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

QVariant PlanModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const PlannedLine& line = LineAt(index.row());
  if (role == Qt::TextAlignmentRole) {
    const bool number = index.column() == LineColumn || index.column() == FillSizeColumn;
    return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
  }
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  switch (index.column()) {
    case LineColumn: return line.line;
    case FileNameColumn: return ui::FromBytes(line.file_name);
    case FillSizeColumn: return line.fill_size;
    case OutcomeColumn: return OutcomeText(line.outcome);
    case ReasonColumn: return ui::FromBytes(line.reason);
    default: return {};
  }
}

QVariant PlanModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kHeaders[] = {"Line", "File name", "Fill size", "Outcome", "Reason"};
  return section >= 0 && section < 5 ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

}  // namespace quillon
