#include "app/FileLists.h"

#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "shelltree/DiscMonitor.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/ui/Commands.h"
#include "util/ui/Controls.h"
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

namespace {

// Changes are gathered as the folder tree gathers them: the first read at once, then at most
// one every 100 ms, or four times the last reading's cost for a large folder, so that a run
// into the listed folder keeps its pace; never later than a second.
constexpr qint64 kReadGapMs = 100;
constexpr qint64 kLatestReadMs = 1000;

}  // namespace

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  ui::RepaintOnFocus(this, viewport());
  monitor_ = new TDiscMonitor(
      [this](const std::vector<TDiscMonitor::Event>& events) {
        for (const TDiscMonitor::Event& event : events) {
          if (!event.folder || event.kind == TDiscMonitor::Event::Kind::Overflow) {
            FolderChanged();
            return;
          }
        }
      },
      this);
  read_timer_ = new QTimer(this);
  read_timer_->setSingleShot(true);
  connect(read_timer_, &QTimer::timeout, this, &TFileListBox::ReadAgain);
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

void TFileListBox::paintEvent(QPaintEvent* event) {
  QListWidget::paintEvent(event);
  QPainter painter(viewport());
  ui::DrawFocusMark(this, painter, viewport()->rect());
}

void TFileListBox::setDirectory(const QString& folder) {
  if (folder == directory_) return;
  directory_ = folder;
  Watch();
  Update();
}

void TFileListBox::Watch() {
  if (watch_ >= 0) monitor_->Remove(watch_);
  watch_ = -1;
  read_timer_->stop();
  if (directory_.isEmpty() || !monitor_->IsValid()) return;
  watch_ = monitor_->Add(ToBytes(directory_), kNotifyFileName);
}

void TFileListBox::HoldReading(bool hold) {
  held_ = hold;
  if (!held_ && changed_while_held_) FolderChanged();
}

void TFileListBox::FolderChanged() {
  changed_while_held_ = held_;
  if (held_ || read_timer_->isActive()) return;
  const qint64 gap = std::min(kLatestReadMs, std::max(kReadGapMs, 4 * read_cost_ms_));
  const qint64 since = since_read_.isValid() ? since_read_.elapsed() : gap;
  read_timer_->start(static_cast<int>(std::max<qint64>(0, gap - since)));
}

void TFileListBox::ReadAgain() {
  const QString selected = selectedItems().isEmpty() ? QString() : selectedItems().front()->text();
  const int scrolled = verticalScrollBar()->value();
  try {
    Update();
  } catch (const IoError&) {
    // The folder went: the tree moves away from it and the list with it.
    return;
  }
  verticalScrollBar()->setValue(scrolled);
  if (selected.isEmpty()) return;
  const QList<QListWidgetItem*> same =
      findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (same.isEmpty()) return;
  const QSignalBlocker quiet(this);
  setCurrentItem(same.front());
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
  QElapsedTimer cost;
  cost.start();
  clear();
  if (directory_.isEmpty()) return;
  addItems(ListMatchingFiles(directory_, mask_));
  read_cost_ms_ = cost.elapsed();
  since_read_.start();
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
