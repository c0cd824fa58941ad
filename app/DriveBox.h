// The drive box: the mounted volumes, each shown by its mount point and label. The user's pick
// is reported by activated(); the program shows a folder's volume without a report.
#pragma once

#include <QComboBox>
#include <QString>
#include <vector>

#include "util/Volumes.h"

namespace quillon {

class TDriveComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TDriveComboBox(QWidget* parent = nullptr);

  // Reads the host's volumes again.
  void ReadVolumes();
  void SetVolumes(std::vector<Volume> volumes);
  // The mount point of the volume shown, or empty.
  QString Drive() const;
  // Shows the volume that holds the folder, without reporting a change.
  void ShowFolder(const QString& folder);
  // Volumes come and go while the program runs: the list is read again each time it opens.
  void showPopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<Volume> volumes_;
};

}  // namespace quillon
