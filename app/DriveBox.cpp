#include "app/DriveBox.h"

#include <QSignalBlocker>

#include "util/ui/Seam.h"

using quillon::ui::FromBytes;
using quillon::ui::ToBytes;

TDriveComboBox::TDriveComboBox(QWidget* parent) : QComboBox(parent) {}

void TDriveComboBox::ReadVolumes() { SetVolumes(quillon::ListVolumes()); }

void TDriveComboBox::SetVolumes(std::vector<quillon::Volume> volumes) {
  const QSignalBlocker quiet(this);
  const QString shown = Drive();
  volumes_ = std::move(volumes);
  clear();
  for (const quillon::Volume& volume : volumes_) {
    const QString mount = FromBytes(volume.mountPoint);
    addItem(volume.label.empty() || volume.label == volume.mountPoint
                ? mount
                : mount + QStringLiteral("  [") + FromBytes(volume.label) + QStringLiteral("]"));
  }
  if (!shown.isEmpty()) ShowFolder(shown);
}

QString TDriveComboBox::Drive() const {
  const int index = currentIndex();
  if (index < 0 || index >= static_cast<int>(volumes_.size())) return QString();
  return FromBytes(volumes_[static_cast<std::size_t>(index)].mountPoint);
}

void TDriveComboBox::ShowFolder(const QString& folder) {
  const quillon::Volume* volume = quillon::VolumeHoldingPath(volumes_, ToBytes(folder));
  if (!volume) return;
  const QSignalBlocker quiet(this);
  setCurrentIndex(static_cast<int>(volume - volumes_.data()));
}

void TDriveComboBox::showPopup() {
  ReadVolumes();
  QComboBox::showPopup();
}
