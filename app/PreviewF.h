// The preview window: what a run of the source into the destination would do, line by line,
// planned on the disk as it stands, with the summary the run would end with.
#pragma once

#include <QWidget>
#include <string>

#include "engine/RunSettings.h"

class QComboBox;
class QLabel;
class QTableView;

namespace quillon {

class PlanModel;

class TPreviewF : public QWidget {
  Q_OBJECT

 public:
  explicit TPreviewF(QWidget* parent = nullptr);

  // Plans the run with the settings as they stand and shows it.
  void ShowPlan(const RunSettings& settings, const std::string& source,
                const std::string& destination);
  PlanModel* Model() const { return model_; }

  QLabel* summaryL;
  QComboBox* outcomeCB;
  QTableView* planV;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void outcomeCBChange();

  PlanModel* model_;
};

}  // namespace quillon
