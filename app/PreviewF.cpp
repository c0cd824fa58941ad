#include "app/PreviewF.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

#include "app/PlanModel.h"
#include "util/ui/Seam.h"

namespace quillon {
namespace {

constexpr LineOutcome kFilterOutcomes[] = {LineOutcome::Created, LineOutcome::ExistsAlready,
                                           LineOutcome::Unable, LineOutcome::TooLong,
                                           LineOutcome::Blank};

// The predicted report but for its lines of single source lines: the checks, then the summary.
QString SummaryOf(const PlanHost& host) {
  QStringList shown;
  // The checks' lines, as far as they go before the first line's outcome.
  const bool created_folder =
      host.report.size() > 2 && host.report[2].starts_with("Parent folder created: ");
  if (host.lines.empty()) {
    for (const std::string& line : host.report) shown << ui::FromBytes(line);
  } else {
    if (created_folder) shown << ui::FromBytes(host.report[2]);
    for (std::size_t i = host.report_at_last_line; i < host.report.size(); ++i) {
      shown << ui::FromBytes(host.report[i]);
    }
  }
  return shown.join(QStringLiteral("   "));
}

}  // namespace

TPreviewF::TPreviewF(QWidget* parent) : QWidget(parent, Qt::Window), model_(new PlanModel(this)) {
  setObjectName(QStringLiteral("PreviewF"));
  setWindowTitle(QStringLiteral("Preview"));
  resize(900, 520);

  summaryL = new QLabel(this);
  summaryL->setObjectName(QStringLiteral("summaryL"));
  summaryL->setWordWrap(true);
  summaryL->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* filterL = new QLabel(QStringLiteral("&Show:"), this);
  outcomeCB = new QComboBox(this);
  outcomeCB->setObjectName(QStringLiteral("outcomeCB"));
  outcomeCB->addItem(QStringLiteral("All lines"));
  for (const LineOutcome outcome : kFilterOutcomes) outcomeCB->addItem(OutcomeText(outcome));
  filterL->setBuddy(outcomeCB);

  planV = new QTableView(this);
  planV->setObjectName(QStringLiteral("planV"));
  planV->setModel(model_);
  planV->setSortingEnabled(true);
  planV->sortByColumn(PlanModel::LineColumn, Qt::AscendingOrder);
  planV->setSelectionBehavior(QAbstractItemView::SelectRows);
  planV->setWordWrap(false);
  planV->verticalHeader()->hide();
  // Fixed row heights and column widths: nothing is measured over 100,000 rows.
  planV->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  planV->verticalHeader()->setDefaultSectionSize(planV->fontMetrics().height() + 6);
  planV->horizontalHeader()->setStretchLastSection(true);
  const int digit = planV->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  planV->setColumnWidth(PlanModel::LineColumn, digit * 8);
  planV->setColumnWidth(PlanModel::FileNameColumn, digit * 36);
  planV->setColumnWidth(PlanModel::FillSizeColumn, digit * 10);
  planV->setColumnWidth(PlanModel::OutcomeColumn, digit * 17);

  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(filterL);
  filterRow->addWidget(outcomeCB);
  filterRow->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filterRow);
  layout->addWidget(planV, 1);
  layout->addWidget(summaryL);

  connect(outcomeCB, &QComboBox::currentIndexChanged, this, &TPreviewF::outcomeCBChange);
}

void TPreviewF::ShowPlan(const RunSettings& settings, const std::string& source,
                         const std::string& destination) {
  PlanHost host;
  ConversionRun(host, settings).Plan(source, destination);
  summaryL->setText(SummaryOf(host));
  model_->SetLines(std::move(host.lines));
  setWindowTitle(QStringLiteral("Preview: ") + ui::FromBytes(source) + QStringLiteral(" into ") +
                 ui::FromBytes(destination));
}

void TPreviewF::outcomeCBChange() {
  const int index = outcomeCB->currentIndex();
  model_->SetOutcomeFilter(index <= 0 ? std::nullopt
                                      : std::optional<LineOutcome>(kFilterOutcomes[index - 1]));
}

void TPreviewF::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace quillon
