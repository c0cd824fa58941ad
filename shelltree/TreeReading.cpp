// The folder tree's reading: folders read on a worker and taken into nodes (matching the nodes
// already there by name and identity), a placeholder while a volume does not answer, and the
// selection kept on an existing folder when a reading removes the one it was on.
#include <QApplication>
#include <QMetaMethod>
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "shelltree/ShellTree.h"
#include "util/FileSystem.h"
#include "util/FolderReading.h"
#include "util/Platform.h"
#include "util/ui/Seam.h"

namespace quillon {
namespace {

constexpr std::uint32_t kMovableAttributes = SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_CANMOVE;
// How long a user's action waits for a reading before it shows a placeholder instead.
constexpr auto kAnswerPatience = std::chrono::milliseconds(150);
// A reading not answered by then shows its volume as not answering.
constexpr int kUnavailableAfterMs = 2000;

bool IsWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
  for (; item; item = item->parent()) {
    if (item == ancestor) return true;
  }
  return false;
}

}  // namespace

std::uint64_t TShellTree::RegisterNode(TShellNode* node) {
  const std::uint64_t serial = next_serial_++;
  nodes_by_serial_.emplace(serial, node);
  return serial;
}

TShellNode* TShellTree::NodeBySerial(std::uint64_t serial) const {
  const auto found = nodes_by_serial_.find(serial);
  return found == nodes_by_serial_.end() ? nullptr : found->second;
}

std::string TShellTree::LaneOf(const std::string& path) const {
  const Volume* mount = VolumeHoldingPath(all_mounts_, path);
  return mount ? mount->mount_point : std::string(1, kPathSeparator);
}

bool TShellTree::WaitForAnswer(std::uint64_t ticket, const std::string& lane) {
  // A lane that hangs already is not waited on again.
  if (work_->Stalled(lane, kAnswerPatience)) return false;
  return work_->WaitFor(ticket, Clock::now() + kAnswerPatience);
}

bool TShellTree::Accepts(const FolderEntry& entry, const std::string& fullPath,
                         std::uint32_t attributes) {
  bool allow = true;
  if (!entry.folder) {
    if (file_mask_use_ && !MatchesAnyMask(entry.name, mask_list_)) return false;
    if (isSignalConnected(QMetaMethod::fromSignal(&TShellTree::OnFileAdd)))
      emit OnFileAdd(ui::FromBytes(fullPath), attributes, allow);
  } else if (isSignalConnected(QMetaMethod::fromSignal(&TShellTree::OnDirAdd))) {
    emit OnDirAdd(ui::FromBytes(fullPath), attributes, allow);
  }
  return allow;
}

bool TShellTree::AddChildItem(TShellNode* parent, const FolderEntry& entry,
                              const std::string& parentPath, std::uint32_t inherited,
                              std::unordered_map<std::string_view, TShellNode*>& existing,
                              QList<QTreeWidgetItem*>& added) {
  using Kind = TShellNode::Kind;
  Kind kind = entry.folder ? Kind::Folder : Kind::File;
  std::string fullPath;
  if (parent->kind() == Kind::VirtualRoot) {
    kind = entry.name == "~" ? Kind::Home : Kind::Volume;
    fullPath = kind == Kind::Home ? HomePath() : entry.name;
  } else {
    fullPath = JoinPath(parentPath, entry.name);
  }
  // The same name with another inode is another entry: a folder deleted and made again.
  TShellNode* child = nullptr;
  if (const auto found = existing.find(entry.name);
      found != existing.end() && !found->second->SeenInScan && found->second->kind() == kind &&
      (!found->second->inode_ || !entry.inode || found->second->inode_ == entry.inode))
    child = found->second;

  std::uint32_t attributes = SFGAO_FILESYSTEM | SFGAO_CANCOPY | SFGAO_CANLINK | inherited;
  if (entry.folder) attributes |= kFolderAttributes | SFGAO_DROPTARGET;
  if (entry.link) attributes |= SFGAO_LINK;
  if (IsHiddenName(entry.name)) attributes |= SFGAO_HIDDEN;
  if (child && child->ItemAttributes & SFGAO_HASSUBFOLDER) attributes |= SFGAO_HASSUBFOLDER;

  if (!Accepts(entry, fullPath, attributes)) return false;

  if (child) {
    child->ItemAttributes = attributes;
    const QString text = child->GetDisplayText();
    if (text != child->text(0)) {
      child->setText(0, text);
      child->sort_key_.reset();
    }
    if (!child->isExpanded() && child->IsFolder()) child->probed_ = false;
  } else {
    child = new TShellNode(this, kind, entry.name);
    child->ItemAttributes = attributes;
    child->setText(0, child->GetDisplayText());
    added.append(child);
  }
  child->inode_ = entry.inode;
  child->info_read_ = entry.stat_known;
  child->size_ = entry.size;
  child->modified_ = entry.modified;
  child->SeenInScan = true;
  child->UpdateImages();
  return true;
}

TShellTree::Listing TShellTree::VolumeListing() const {
  Listing listing;
  listing.readable = true;
  listing.entries.push_back({"~", true, false});
  for (const Volume& volume : volumes_)
    listing.entries.push_back({volume.mount_point, true, false});
  return listing;
}

void TShellTree::ReadChildren(TShellNode* node) { ReadFolder(node, Wait::Briefly); }

void TShellTree::ReadFolder(TShellNode* node, Wait wait) {
  if (!node || !node->IsFolder()) return;
  if (node->kind() == TShellNode::Kind::VirtualRoot) {
    ReadVolumes(false);  // never waits long: a mount that does not answer stays listed
    ApplyListing(node, VolumeListing());
    return;
  }
  const std::string path = node->Path();
  const std::string lane = LaneOf(path);
  if (node->read_ticket_) {  // one reading per folder at a time; a later change reads again
    node->read_again_ = true;
    if (wait == Wait::Briefly) WaitForAnswer(node->read_ticket_, lane);
    return;
  }
  const bool folders = options_ & TF_FOLDERS, files = options_ & TF_NONFOLDERS,
             hidden = options_ & TF_HIDDEN, stats = SortsByFileInfo();
  const bool wantWatch = upd_auto_thread_ && !node->MonitorStarted && monitor_;
  const std::uint32_t filter = notify_filter_;
  std::shared_ptr<FolderChangeNotifier> notifier = monitor_ ? monitor_->Notifier() : nullptr;
  const std::uint64_t serial = node->serial_;
  node->read_ticket_ = work_->Post(lane, [=, this]() -> BlockingWork::Answer {
    auto listing = std::make_shared<Listing>();
    // Watched first, so a change during the reading is reported, not lost.
    listing->wanted_watch = wantWatch;
    if (wantWatch) listing->watch = notifier->Add(path, filter);
    listing->readable = ScanFolder(
        path,
        [&](const FolderEntry& entry) {
          if ((entry.folder ? folders : files) && (hidden || !IsHiddenName(entry.name))) {
            listing->entries.push_back(entry);
            FolderEntry& added = listing->entries.back();
            if (stats && !entry.folder)
              added.stat_known =
                  FileSizeAndTime(JoinPath(path, entry.name), added.size, added.modified);
          }
          return true;
        },
        &listing->identity);
    listing->writable = listing->readable && IsWritableFolder(path);
    listing->gone = !listing->readable && !IsFolder(path);
    return [this, serial, listing] {
      if (TShellNode* read = NodeBySerial(serial)) {
        ApplyListing(read, *listing);
      } else if (listing->watch >= 0 && !watchers_.count(listing->watch) && monitor_) {
        monitor_->Remove(listing->watch);
      }
    };
  });
  if (wait == Wait::No) return;
  if (!watcher_refresh_) QApplication::setOverrideCursor(Qt::WaitCursor);
  const bool answered = WaitForAnswer(node->read_ticket_, lane);
  if (!watcher_refresh_) QApplication::restoreOverrideCursor();
  if (!answered) ShowPending(node);
}

void TShellTree::ShowPending(TShellNode* node) {
  if (!node->read_ticket_) return;
  SetUnavailable(node, false);  // a new try: not answering again only after the full wait
  bool shown = false;
  for (int i = 0; i < node->childCount() && !shown; ++i)
    shown = node->ChildNode(i)->kind() == TShellNode::Kind::Pending;
  if (!shown) {
    auto* placeholder = new TShellNode(this, TShellNode::Kind::Pending, std::string());
    node->insertChild(0, placeholder);
    placeholder->setText(0, placeholder->GetDisplayText());
    node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  }
  const std::uint64_t serial = node->serial_, ticket = node->read_ticket_;
  QTimer::singleShot(kUnavailableAfterMs, this, [this, serial, ticket] {
    TShellNode* waiting = NodeBySerial(serial);
    if (waiting && waiting->read_ticket_ == ticket) SetUnavailable(waiting, true);
  });
}

void TShellTree::SetUnavailable(TShellNode* node, bool unavailable) {
  if (node->unavailable_ == unavailable) return;
  node->unavailable_ = unavailable;
  if (unavailable) {
    node->setForeground(0, palette().brush(QPalette::Disabled, QPalette::Text));
    node->setToolTip(0, tr("Not answering"));
  } else {
    node->setData(0, Qt::ForegroundRole, QVariant());
    node->setData(0, Qt::ToolTipRole, QVariant());
  }
  for (int i = 0; i < node->childCount(); ++i) {
    TShellNode* child = node->ChildNode(i);
    if (child->kind() == TShellNode::Kind::Pending) child->setText(0, child->GetDisplayText());
  }
}

void TShellTree::ApplyListing(TShellNode* node, const Listing& listing) {
  ++reads_done_;
  node->read_ticket_ = 0;
  SetUnavailable(node, false);
  ClaimWatch(node, listing.wanted_watch, listing.watch);
  if (listing.gone) {  // its parent's reading removes it; its children stay until then
    if (node->read_again_) {
      node->read_again_ = false;
      ReadFolder(node, Wait::No);
    }
    return;
  }
  // Another folder under the same name: nothing read from the old one belongs to it.
  const bool otherFolder =
      node->identity_.Known() && listing.identity.Known() && !(node->identity_ == listing.identity);
  if (listing.identity.Known()) node->identity_ = listing.identity;
  std::uint32_t inherited = 0;
  if (node->kind() == TShellNode::Kind::Folder && listing.writable) inherited = kMovableAttributes;
  const std::string path = node->Path();

  const bool updates = updatesEnabled();
  setUpdatesEnabled(false);
  std::unordered_map<std::string_view, TShellNode*> existing;
  existing.reserve(node->childCount());
  for (int i = 0; i < node->childCount(); ++i) {
    TShellNode* child = node->ChildNode(i);
    child->SeenInScan = false;
    if (!otherFolder) existing.emplace(child->RelativeId(), child);
  }
  QList<QTreeWidgetItem*> added;
  for (const FolderEntry& entry : listing.entries)
    AddChildItem(node, entry, path, inherited, existing, added);
  std::string lostSelection;
  for (int i = node->childCount() - 1; i >= 0; --i) {
    TShellNode* child = node->ChildNode(i);
    if (child->SeenInScan) continue;
    if (lostSelection.empty()) lostSelection = TakeSelectionFrom(child, node);
    delete child;
  }
  if (!added.isEmpty()) {
    const bool sortedAlready = node->childCount() == 0;
    if (sortedAlready) {
      std::stable_sort(added.begin(), added.end(),
                       [](QTreeWidgetItem* a, QTreeWidgetItem* b) { return *a < *b; });
    }
    node->addChildren(added);
    if (!sortedAlready) SortChildrenOf(node);
  } else {
    SortChildrenOf(node);
  }
  node->probed_ = true;
  if (node->childCount() == 0 && node != root_node_)
    node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  setUpdatesEnabled(updates);

  if (!lostSelection.empty()) RestoreSelection(lostSelection, node);
  ContinueSelection(node);
  if (node->read_again_) {
    node->read_again_ = false;
    ReadFolder(node, Wait::No);
  }
}

std::string TShellTree::TakeSelectionFrom(TShellNode* doomed, TShellNode* keeper) {
  TShellNode* current = Selected();
  if (!current || !IsWithin(current, doomed)) return {};
  std::string lost = current->Path();
  if (lost.empty()) lost = doomed->Path();
  const QSignalBlocker quiet(this);
  setCurrentItem(keeper);
  return lost.empty() ? std::string(1, kPathSeparator) : lost;
}

void TShellTree::RestoreSelection(const std::string& lostPath, TShellNode* keeper) {
  if (hold_selection_) {  // several changes at once: the selection moves once, after them all
    if (held_selection_.empty()) held_selection_ = lostPath;
    return;
  }
  TShellNode* target = nullptr;
  // Only nodes already in the tree count: nothing is read on the way.
  for (std::string path = lostPath; !path.empty() && !target;
       path = IsRootPath(path) ? std::string() : ParentFolder(path)) {
    std::vector<std::string> ids;
    if (IdListOfPath(path, ids)) target = FindNodeByIdList(ids, false, true, true);
  }
  if (!target || target->kind() == TShellNode::Kind::Pending) target = keeper;
  {
    const QSignalBlocker quiet(this);
    setCurrentItem(target);
  }
  emit OnChange(target);
}

void TShellTree::DropChildren(TShellNode* node) {
  std::string lost;
  for (int i = 0; i < node->childCount() && lost.empty(); ++i)
    lost = TakeSelectionFrom(node->ChildNode(i), node);
  qDeleteAll(node->takeChildren());
  if (!lost.empty()) RestoreSelection(lost, node);
}

void TShellTree::RefreshChildren(TShellNode* node, bool recursive) {
  if (!node) return;
  ReadFolder(node, Wait::Briefly);
  if (!recursive) return;
  for (int i = 0; i < node->childCount(); ++i) {
    TShellNode* child = node->ChildNode(i);
    if (child->childCount() > 0 && child->isExpanded())
      RefreshChildren(child, true);
    else
      child->ChildrenRead = false;
  }
}

void TShellTree::RefreshTree() {
  if (!root_node_) return;
  const bool updates = updatesEnabled();
  setUpdatesEnabled(false);
  RefreshChildren(root_node_, true);
  setUpdatesEnabled(updates);
}

bool TShellTree::Settle(int milliseconds) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (true) {
    if (monitor_) monitor_->Drain();
    for (auto& [serial, due] : refresh_due_) due = Clock::now();
    RunDueRefreshes();
    const bool idle = work_->RunUntilIdle(deadline);
    if (monitor_) monitor_->Drain();
    if (idle && refresh_due_.empty()) {
      HideLeafButtons();
      return true;
    }
    if (Clock::now() >= deadline) return false;
  }
}

}  // namespace quillon
