// The folder tree's expand buttons (decided by probes on a worker for the rows on screen),
// expanding and collapsing, and expand-all.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QStatusTipEvent>
#include <QTimer>
#include <memory>

#include "shelltree/ShellTree.h"
#include "util/FolderReading.h"
#include "util/ui/Seam.h"

namespace quillon {
namespace {

// Expand-all stops after this many nodes shown or this long, whichever comes first.
constexpr int kExpandAllNodes = 10000;
constexpr auto kExpandAllTime = std::chrono::seconds(2);
// Each slice of expand-all gives the window back after this long.
constexpr auto kExpandAllSlice = std::chrono::milliseconds(20);

}  // namespace

std::uint64_t TShellTree::RequestProbe(TShellNode* node) {
  if (node->probed_) return 0;
  if (node->probe_ticket_) return node->probe_ticket_;
  const bool folders = options_ & TF_FOLDERS, files = options_ & TF_NONFOLDERS,
             hidden = options_ & TF_HIDDEN, masked = file_mask_use_;
  const std::vector<std::string> masks = mask_list_;
  const std::string path = node->Path();
  const std::uint64_t serial = node->serial_;
  node->probe_ticket_ = work_->Post(LaneOf(path), [=, this]() -> BlockingWork::Answer {
    const bool found = FolderHasEntry(path, [&](const FolderEntry& entry) {
      if (!hidden && IsHiddenName(entry.name)) return false;
      if (entry.folder) return folders;
      return files && (!masked || MatchesAnyMask(entry.name, masks));
    });
    return [this, serial, found] {
      if (TShellNode* probed = NodeBySerial(serial)) ApplyProbe(probed, found);
    };
  });
  return node->probe_ticket_;
}

void TShellTree::ApplyProbe(TShellNode* node, bool hasChildren) {
  node->probe_ticket_ = 0;
  if (node->probed_) return;
  node->probed_ = true;
  if (node->isExpanded()) return;
  if (hasChildren) {
    node->ItemAttributes |= SFGAO_HASSUBFOLDER;
    node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return;
  }
  node->ItemAttributes &= ~std::uint32_t(SFGAO_HASSUBFOLDER);
  // Children read earlier are gone from the folder by now.
  DropChildren(node);
  node->ChildrenRead = false;
  // Each change of a button lays out the whole tree again: the buttons of a page of leaves go
  // together, once scrolling pauses.
  pending_leaves_.push_back(node->serial_);
  leaf_timer_->start(150);
}

void TShellTree::HideLeafButtons() {
  leaf_timer_->stop();
  for (const std::uint64_t serial : pending_leaves_) {
    TShellNode* node = NodeBySerial(serial);
    if (node && !node->isExpanded() && node->childCount() == 0 &&
        !(node->ItemAttributes & SFGAO_HASSUBFOLDER))
      node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  }
  pending_leaves_.clear();
}

std::vector<std::pair<std::uint64_t, std::string>> TShellTree::RequestVisibleProbes() {
  std::vector<std::pair<std::uint64_t, std::string>> asked;
  if (!root_node_) return asked;
  const int bottom = viewport()->height();
  for (QTreeWidgetItem* item = itemAt(QPoint(1, 1)); item; item = itemBelow(item)) {
    if (visualItemRect(item).top() > bottom) break;
    auto* node = static_cast<TShellNode*>(item);
    if (node->probed_) continue;
    if (node->isExpanded()) {
      node->probed_ = true;
    } else if (const std::uint64_t ticket = RequestProbe(node)) {
      asked.emplace_back(ticket, LaneOf(node->Path()));
    }
  }
  return asked;
}

// A folder without subfolders is watched while it is on screen, so that its first subfolder
// brings its expand button; watches of folders scrolled away end, so a large folder scrolled
// through leaves no watch behind.
std::vector<std::pair<std::uint64_t, std::string>> TShellTree::WatchVisibleLeaves() {
  std::vector<std::pair<std::uint64_t, std::string>> asked;
  std::unordered_set<TShellNode*> shown;
  if (root_node_ && upd_auto_thread_) {
    const int bottom = viewport()->height();
    for (QTreeWidgetItem* item = itemAt(QPoint(1, 1)); item; item = itemBelow(item)) {
      if (visualItemRect(item).top() > bottom) break;
      auto* node = static_cast<TShellNode*>(item);
      if (node->probed_ && node->IsFolder() && !node->isExpanded() && node->childCount() == 0 &&
          !(node->ItemAttributes & SFGAO_HASSUBFOLDER) && node != root_node_)
        shown.insert(node);
    }
  }
  for (TShellNode* node : leaf_watches_) {
    if (shown.count(node) || node->isExpanded()) continue;
    StopMonitor(node);
    node->probed_ = false;  // decided and watched again when it shows again
  }
  for (TShellNode* node : shown) {
    if (const std::uint64_t ticket = StartMonitor(node))
      asked.emplace_back(ticket, LaneOf(node->Path()));
  }
  leaf_watches_ = std::move(shown);
  return asked;
}

void TShellTree::UpdateExpandButtons() {
  const auto deadline = Clock::now() + std::chrono::milliseconds(150);
  auto wait = [&](const std::vector<std::pair<std::uint64_t, std::string>>& asked) {
    for (const auto& [ticket, lane] : asked) {
      if (!work_->Stalled(lane, std::chrono::milliseconds(150))) work_->WaitFor(ticket, deadline);
    }
  };
  wait(RequestVisibleProbes());
  wait(WatchVisibleLeaves());
  HideLeafButtons();
}

void TShellTree::paintEvent(QPaintEvent* event) {
  RequestVisibleProbes();  // the answers repaint the rows they decide
  WatchVisibleLeaves();
  QTreeWidget::paintEvent(event);
}

void TShellTree::ExpandNode(TShellNode* node) {
  if (node && !node->isExpanded()) expandItem(node);
}

void TShellTree::NodeExpanded(QTreeWidgetItem* item) {
  auto* node = static_cast<TShellNode*>(item);
  bool allow = expand_allowed_;
  emit OnExpanding(node, allow);
  if (!allow) {
    const QSignalBlocker blocker(this);
    collapseItem(node);
    return;
  }
  node->UpdateImages();
  if (upd_auto_ || !node->ChildrenRead) {
    RefreshChildren(node, upd_auto_rec_);
    node->ChildrenRead = true;
  }
  RestartStoppedBelow(node);
}

void TShellTree::NodeCollapsed(QTreeWidgetItem* item) {
  auto* node = static_cast<TShellNode*>(item);
  node->UpdateImages();
  StopMonitorsBelow(node);
}

void TShellTree::StopMonitorsBelow(TShellNode* node) {
  for (int i = 0; i < node->childCount(); ++i) {
    TShellNode* child = node->ChildNode(i);
    StopMonitor(child);
    if (child->isExpanded())
      StopMonitorsBelow(child);
    else if (child->childCount() == 0 && child->IsFolder())
      child->probed_ = false;  // decided (and watched) again when it shows
  }
}

// Expanded folders below a node that collapsed lost their watches; showing them again
// reads them again, which watches them again.
void TShellTree::RestartStoppedBelow(TShellNode* node) {
  for (int i = 0; i < node->childCount(); ++i) {
    TShellNode* child = node->ChildNode(i);
    if (!child->isExpanded()) continue;
    if (!child->MonitorStarted && upd_auto_thread_) ReadFolder(child, Wait::Briefly);
    RestartStoppedBelow(child);
  }
}

void TShellTree::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Asterisk && Selected()) {
    event->accept();
    ExpandAll(Selected());
    return;
  }
  TShellNode* before = Selected();
  QTreeWidget::keyPressEvent(event);
  // A folder chosen with the keyboard counts as a click, as a keyboard user means it to.
  if (Selected() && Selected() != before) emit OnClick();
}

// Expands the folders below a node breadth first, in slices that give the window back, never
// through a symbolic link (a link to a folder above would never end).
void TShellTree::ExpandAll(TShellNode* from) {
  expand_queue_.assign(1, from->serial_);
  expand_next_ = 0;
  expand_start_ = from->serial_;
  expand_count_ = 0;
  expand_began_ = Clock::now();
  if (!expanding_all_) QTimer::singleShot(0, this, &TShellTree::ExpandAllStep);
  expanding_all_ = true;
}

void TShellTree::ExpandAllStep() {
  const auto sliceEnd = Clock::now() + kExpandAllSlice;
  QString stopped;
  while (expand_next_ < expand_queue_.size() && Clock::now() < sliceEnd) {
    if (expand_count_ >= kExpandAllNodes) {
      stopped = tr("Expand all stopped after 10,000 folders; expand further by hand");
      break;
    }
    if (Clock::now() - expand_began_ > kExpandAllTime) {
      stopped = tr("Expand all stopped after 2 seconds; expand further by hand");
      break;
    }
    const std::uint64_t serial = expand_queue_[expand_next_++];
    TShellNode* node = NodeBySerial(serial);
    if (!node || !node->IsFolder() || (node->IsLink() && serial != expand_start_)) continue;
    ExpandNode(node);
    expand_count_ += node->childCount();
    for (int i = 0; i < node->childCount(); ++i) {
      TShellNode* child = node->ChildNode(i);
      if (child->IsFolder() && !child->IsLink()) expand_queue_.push_back(child->serial_);
    }
  }
  if (stopped.isEmpty() && expand_next_ < expand_queue_.size()) {
    QTimer::singleShot(0, this, &TShellTree::ExpandAllStep);
    return;
  }
  expanding_all_ = false;
  expand_queue_.clear();
  if (!stopped.isEmpty()) {
    QStatusTipEvent tip(stopped);
    QCoreApplication::sendEvent(window(), &tip);
  }
}

}  // namespace quillon
