#include "app/DriveBox.h"

#include <QPainter>
#include <QSignalBlocker>

#include "util/ui/Controls.h"
#include "util/ui/Seam.h"

using quillon::ui::FromBytes;
using quillon::ui::ToBytes;

namespace quillon {

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {}

void TDriveComboBox::ReadVolumes() { SetVolumes(ListVolumes()); }

void TDriveComboBox::SetVolumes(std::vector<Volume> volumes) {
  const QSignalBlocker quiet(this);
  const QString shown = Drive();
  volumes_ = std::move(volumes);
  clear();
  for (const Volume& volume : volumes_) {
    const QString mount = FromBytes(volume.mount_point);
    addItem(volume.label.empty() || volume.label == volume.mount_point
                ? mount
                : mount + QStringLiteral("  [") + FromBytes(volume.label) + QStringLiteral("]"));
  }
  if (!shown.isEmpty()) ShowFolder(shown);
}

QString TDriveComboBox::Drive() const {
  const int index = currentIndex();
  if (index < 0 || index >= static_cast<int>(volumes_.size())) return QString();
  return FromBytes(volumes_[static_cast<std::size_t>(index)].mount_point);
}

void TDriveComboBox::ShowFolder(const QString& folder) {
  const Volume* volume = VolumeHoldingPath(volumes_, ToBytes(folder));
  if (!volume) return;
  const QSignalBlocker quiet(this);
  setCurrentIndex(static_cast<int>(volume - volumes_.data()));
}

void TDriveComboBox::showPopup() {
  ReadVolumes();
  QComboBox::showPopup();
}

void TDriveComboBox::paintEvent(QPaintEvent* event) {
  QComboBox::paintEvent(event);
  QPainter painter(this);
  ui::DrawFocusMark(this, painter, rect().adjusted(1, 1, -1, -1));
}

}  // namespace quillon
