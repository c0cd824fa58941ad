#include "app/FileLists.h"

#include <QDir>
#include <QMouseEvent>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "util/IoError.h"
#include "util/Platform.h"
#include "util/ui/Commands.h"
#include "util/ui/Seam.h"

using quillon::ui::FromBytes;
using quillon::ui::ToBytes;

namespace quillon {

QStringList ListMatchingFiles(const QString& folder, const QString& mask) {
  QStringList patterns;
  for (const QString& part : mask.split(';', Qt::SkipEmptyParts)) {
    const QString pattern = part.trimmed();
    if (pattern.isEmpty()) continue;
    patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
  }
  QStringList names;
  if (patterns.isEmpty()) return names;

  std::error_code error;
  std::filesystem::directory_iterator entries(ToBytes(folder), error);
  if (error) ThrowIoError(error.value());
  for (const std::filesystem::directory_entry& entry : entries) {
    std::error_code ignored;
    if (entry.is_directory(ignored)) continue;
    const QString name = FromBytes(entry.path().filename().string());
    if (QDir::match(patterns, name)) names << name;
  }
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
  });
  return names;
}

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  ui::ConnectCommand(this, &QListWidget::itemSelectionChanged, this, [this] {
    if (selectedItems().isEmpty()) return;
    selected_during_press_ = true;
    emit Click();
  });
  ui::ConnectCommand(this, &QListWidget::itemClicked, this, [this] {
    if (!selected_during_press_) emit Click();
  });
}

void TFileListBox::mousePressEvent(QMouseEvent* event) {
  selected_during_press_ = false;
  QListWidget::mousePressEvent(event);
}

void TFileListBox::setDirectory(const QString& folder) {
  if (folder == directory_) return;
  directory_ = folder;
  Update();
}

void TFileListBox::setMask(const QString& mask) {
  mask_ = mask;
  Update();
}

QString TFileListBox::FileName() const {
  const QList<QListWidgetItem*> selected = selectedItems();
  if (selected.isEmpty() || directory_.isEmpty()) return QString();
  return FromBytes(JoinPath(ToBytes(directory_), ToBytes(selected.front()->text())));
}

void TFileListBox::Update() {
  const QSignalBlocker quiet(this);
  clear();
  if (directory_.isEmpty()) return;
  addItems(ListMatchingFiles(directory_, mask_));
}

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  hide();
}

void TDirectoryListBox::setDirectory(const QString& folder) {
  if (folder.isEmpty()) return;
  const QString normalised = QDir::cleanPath(QDir(folder).absolutePath());
  // Folders that differ in letter case are different folders here.
  if (normalised == directory_) return;
  std::error_code error;
  std::filesystem::current_path(ToBytes(normalised), error);
  if (error) ThrowIoError(error.value());
  directory_ = normalised;
  if (file_list_) file_list_->setDirectory(directory_);
  emit Change(directory_);
}

TFilterComboBox::TFilterComboBox(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  hide();
}

void TFilterComboBox::setFilter(const QString& filter) {
  filter_ = filter;
  if (file_list_) file_list_->setMask(Mask());
}

QString TFilterComboBox::Mask() const { return filter_.section('|', 1, 1); }

}  // namespace quillon
