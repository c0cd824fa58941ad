#include "app/FileLists.h"

#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/AnsweredWork.h"
#include "shelltree/DiscMonitor.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/ui/Commands.h"
#include "util/ui/Controls.h"
#include "util/ui/Seam.h"

using quillon::ui::FromBytes;
using quillon::ui::ToBytes;

namespace quillon {

QStringList ListMatchingFiles(const QString& folder, const QString& mask,
                              std::atomic<qsizetype>* seen) {
  // Matched as QDir::match matches: a whole name, letter case aside; made once for all names.
  std::vector<QRegularExpression> patterns;
  for (const QString& part : mask.split(';', Qt::SkipEmptyParts)) {
    const QString pattern = part.trimmed();
    if (pattern.isEmpty()) continue;
    patterns.emplace_back(QRegularExpression::wildcardToRegularExpression(
                              pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern),
                          QRegularExpression::CaseInsensitiveOption);
  }
  QStringList names;
  if (patterns.empty()) return names;

  std::error_code error;
  std::filesystem::directory_iterator entries(ToBytes(folder), error);
  if (error) ThrowIoError(error.value());
  for (const std::filesystem::directory_entry& entry : entries) {
    if (seen) ++*seen;
    std::error_code ignored;
    if (entry.is_directory(ignored)) continue;
    const QString name = FromBytes(entry.path().filename().string());
    if (std::any_of(patterns.begin(), patterns.end(), [&](const QRegularExpression& pattern) {
          return pattern.match(name).hasMatch();
        }))
      names << name;
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
// How long an action waits for a folder's answer before it goes on without it.
constexpr auto kAnswerPatience = std::chrono::milliseconds(40);
// A folder with more entries than this is not waited for: its listing takes a while.
constexpr qsizetype kLargeFolder = 5000;
// How many files the list adds between two looks at the window's events.
constexpr qsizetype kFilesAddedAtOnce = 2000;
// The folder entered last, in the order the user chose them.
const std::string kCurrentFolderLane = "current folder";

bool WaitBriefly(BlockingWork& work, std::uint64_t ticket) {
  return work.WaitFor(ticket, BlockingWork::Clock::now() + kAnswerPatience);
}

// Waits as WaitBriefly does, but gives up at once on a folder found to be large.
bool WaitWhileSmall(BlockingWork& work, std::uint64_t ticket, const std::atomic<qsizetype>& seen) {
  const auto deadline = BlockingWork::Clock::now() + kAnswerPatience;
  while (!work.WaitFor(
      ticket, std::min(deadline, BlockingWork::Clock::now() + std::chrono::milliseconds(5)))) {
    if (seen.load() > kLargeFolder || BlockingWork::Clock::now() >= deadline) return false;
  }
  return true;
}

}  // namespace

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);  // a folder of many files is laid out without measuring each
  work_ = new AnsweredWork(this);
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

void TFileListBox::setDirectory(const QString& folder, bool patient) {
  if (folder == directory_) return;
  directory_ = folder;
  Watch();
  Read(false, patient);
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

void TFileListBox::ReadAgain() { Read(true, true); }

void TFileListBox::setMask(const QString& mask) {
  mask_ = mask;
  Update();
}

QString TFileListBox::FileName() const {
  const QList<QListWidgetItem*> selected = selectedItems();
  if (selected.isEmpty() || directory_.isEmpty()) return QString();
  return FromBytes(JoinPath(ToBytes(directory_), ToBytes(selected.front()->text())));
}

void TFileListBox::Update() { Read(false, true); }

void TFileListBox::Read(bool again, bool patient) {
  const std::uint64_t request = ++request_;
  if (!again) {
    // The files of another folder, or of another mask, are never shown meanwhile.
    const QSignalBlocker quiet(this);
    clear();
  }
  if (directory_.isEmpty()) return;
  const QString folder = directory_, mask = mask_;
  const std::string path = ToBytes(folder);
  auto seen = std::make_shared<std::atomic<qsizetype>>(0);
  const std::uint64_t ticket = work_->work().Post(
      lane_of_ ? lane_of_(path) : path, [this, request, again, folder, mask, seen] {
        QElapsedTimer cost;
        cost.start();
        auto names = std::make_shared<QStringList>();
        std::exception_ptr failure;
        try {
          *names = ListMatchingFiles(folder, mask, seen.get());
        } catch (const IoError&) {
          failure = std::current_exception();
        }
        const qint64 cost_ms = cost.elapsed();
        return BlockingWork::Answer([this, request, again, names, failure, cost_ms] {
          if (request != request_) return;
          read_cost_ms_ = cost_ms;
          since_read_.start();
          // A folder that went while listed: the tree moves away from it and the list with it.
          if (failure && again) return;
          if (failure) std::rethrow_exception(failure);
          ShowFiles(names, again);
        });
      });
  if (patient) WaitWhileSmall(work_->work(), ticket, *seen);
}

void TFileListBox::ShowFiles(const std::shared_ptr<const QStringList>& names, bool again) {
  const QString selected =
      again && !selectedItems().isEmpty() ? selectedItems().front()->text() : QString();
  const int scrolled = verticalScrollBar()->value();
  {
    const QSignalBlocker quiet(this);
    clear();
  }
  AddFiles(names, 0, request_, [this, again, selected, scrolled] {
    if (!again) return;
    verticalScrollBar()->setValue(scrolled);
    if (selected.isEmpty()) return;
    const QList<QListWidgetItem*> same =
        findItems(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
    const QSignalBlocker quiet(this);
    if (!same.isEmpty()) setCurrentItem(same.front());
  });
}

// A folder of many files is added a part at a time, each part a few milliseconds' work, so the
// window handles its events in between; a newer reading stops the adding.
void TFileListBox::AddFiles(const std::shared_ptr<const QStringList>& names, qsizetype from,
                            std::uint64_t request, const std::function<void()>& done) {
  if (request != request_) return;
  const qsizetype to = std::min(names->size(), from + kFilesAddedAtOnce);
  {
    const QSignalBlocker quiet(this);
    addItems(names->mid(from, to - from));
  }
  if (to == names->size()) {
    done();
    return;
  }
  QTimer::singleShot(0, this,
                     [this, names, to, request, done] { AddFiles(names, to, request, done); });
}

bool TFileListBox::Settle(int milliseconds) {
  return work_->work().RunUntilIdle(BlockingWork::Clock::now() +
                                    std::chrono::milliseconds(milliseconds));
}

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  hide();
  work_ = new AnsweredWork(this);
}

void TDirectoryListBox::setDirectory(const QString& folder) {
  if (folder.isEmpty()) return;
  const QString normalised = QDir::cleanPath(QDir(folder).absolutePath());
  // Folders that differ in letter case are different folders here.
  if (normalised == directory_) return;
  const std::uint64_t request = ++request_;
  auto failure = std::make_shared<std::exception_ptr>();
  const std::uint64_t ticket =
      work_->work().Post(kCurrentFolderLane, [this, request, normalised, failure] {
        std::error_code error;
        std::filesystem::current_path(ToBytes(normalised), error);
        if (error) {
          try {
            ThrowIoError(error.value());
          } catch (const IoError&) {
            *failure = std::current_exception();
          }
        }
        // In time, the failure goes up to the caller; late, to the application error box.
        return BlockingWork::Answer([this, request, failure] {
          if (*failure && request == request_) std::rethrow_exception(*failure);
        });
      });
  // A folder that could not be entered in time is on a volume that the list need not wait for.
  const bool entered = WaitBriefly(work_->work(), ticket);
  directory_ = normalised;
  if (file_list_) file_list_->setDirectory(directory_, entered);
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
