// The folder tree's watch bookkeeping: which nodes share each watch of the change
// notification, and what a report makes the tree read again.
#include <QTimer>
#include <algorithm>
#include <utility>

#include "shelltree/ShellTree.h"
#include "util/FileSystem.h"
#include "util/FolderReading.h"
#include "util/Platform.h"

namespace quillon {
namespace {

// New entries of a folder listed for its subfolders only are asked one by one whether they
// are links to folders, up to this many; more are answered by reading the folder again.
constexpr std::size_t kNamesAskedOneByOne = 64;

}  // namespace

std::uint64_t TShellTree::StartMonitor(TShellNode* node) {
  if (node->MonitorStarted || !upd_auto_thread_ || !node->IsFolder()) return 0;
  node->MonitorStarted = true;  // also when no watch comes of it, as with no path at all
  const std::string path = node->Path();
  if (path.empty() || !monitor_) return 0;
  // Watching walks the path, which waits on a volume that does not answer: a worker does it.
  // It looks again for entries afterwards, so a subfolder made meanwhile is not missed.
  const bool folders = options_ & TF_FOLDERS, files = options_ & TF_NONFOLDERS,
             hidden = options_ & TF_HIDDEN;
  const std::uint32_t filter = notify_filter_;
  std::shared_ptr<FolderChangeNotifier> notifier = monitor_->Notifier();
  const std::uint64_t serial = node->serial_;
  return work_->Post(LaneOf(path), [=, this]() -> BlockingWork::Answer {
    const int watch = notifier->Add(path, filter);
    const bool found = FolderHasEntry(path, [&](const FolderEntry& entry) {
      return (hidden || !IsHiddenName(entry.name)) && (entry.folder ? folders : files);
    });
    return [this, serial, watch, found] {
      TShellNode* watched = NodeBySerial(serial);
      if (!watched || !watched->MonitorStarted || watched->watch_ >= 0) {
        if (watch >= 0 && !watchers_.count(watch) && monitor_) monitor_->Remove(watch);
        return;
      }
      if (watch >= 0) {
        watched->watch_ = watch;
        watchers_[watch].push_back(watched);
        if (stray_watches_.erase(watch)) FolderChanged(watched);
      }
      if (found && !watched->isExpanded() && watched->childCount() == 0) FolderChanged(watched);
    };
  });
}

void TShellTree::StopMonitor(TShellNode* node) {
  node->MonitorStarted = false;
  const int watch = node->watch_;
  if (watch < 0) return;
  node->watch_ = -1;
  const auto found = watchers_.find(watch);
  if (found == watchers_.end()) return;
  std::erase(found->second, node);
  if (!found->second.empty()) return;
  watchers_.erase(found);
  if (monitor_) monitor_->Remove(watch);
}

bool TShellTree::IsMonitored(const TShellNode* node) const { return node && node->watch_ >= 0; }

void TShellTree::ForgetNode(TShellNode* node) {
  if (node == root_node_) root_node_ = nullptr;
  StopMonitor(node);
  nodes_by_serial_.erase(node->serial_);
  refresh_due_.erase(node->serial_);
  leaf_watches_.erase(node);
}

void TShellTree::ClaimWatch(TShellNode* node, bool wanted, int watch) {
  const bool keep = wanted && !node->MonitorStarted && upd_auto_thread_;
  if (keep) {
    node->MonitorStarted = true;  // also when the folder could not be watched, as it is tried
    if (watch >= 0) {
      node->watch_ = watch;
      watchers_[watch].push_back(node);
      // Changes reported before this reading was taken in may be missing from it.
      if (stray_watches_.erase(watch)) FolderChanged(node);
    }
  } else if (watch >= 0 && watch != node->watch_ && !watchers_.count(watch) && monitor_) {
    monitor_->Remove(watch);
  }
  if (!node->MonitorStarted && upd_auto_thread_ && node->Path().empty())
    node->MonitorStarted = true;  // nothing to watch: the virtual root
}

TShellTree::Concern TShellTree::EventConcerns(const TShellNode* node,
                                              const TDiscMonitor::Event& event) const {
  if (event.name.empty()) return Concern::No;  // the folder itself: its parent's watch reports it
  if (!(options_ & TF_HIDDEN) && IsHiddenName(event.name)) return Concern::No;
  using Kind = TDiscMonitor::Event::Kind;
  const bool nameChange = event.kind == Kind::Created || event.kind == Kind::Deleted;
  const std::uint32_t filter = notify_filter_;
  auto yes = [](bool concerns) { return concerns ? Concern::Yes : Concern::No; };
  if (event.folder)
    return yes(nameChange ? (filter & kNotifyDirName) : (filter & kNotifyAttributes));
  if (filter & kNotifyFileName) return Concern::Yes;
  // Listing folders only, an entry that is no folder matters only as a link to one.
  if (!nameChange || !(filter & kNotifyDirName)) return Concern::No;
  if (event.kind == Kind::Created) return Concern::IfFolder;
  for (int i = 0; i < node->childCount(); ++i) {
    const TShellNode* child = node->ChildNode(i);
    if (child->IsFolder() && child->RelativeId() == event.name) return Concern::Yes;
  }
  return Concern::No;
}

void TShellTree::WatchEvents(const std::vector<TDiscMonitor::Event>& events) {
  using Kind = TDiscMonitor::Event::Kind;
  std::vector<TShellNode*> due, ended;
  // New entries that may be links to folders, by folder node: one question to a worker for
  // each folder, however many files a run has just made there.
  std::unordered_map<TShellNode*, std::vector<std::string>> maybe_folders;
  bool lost = false;
  for (const TDiscMonitor::Event& event : events) {
    if (event.kind == Kind::Overflow) {
      lost = true;
      continue;
    }
    const auto found = watchers_.find(event.watch);
    if (found == watchers_.end()) {
      // A reading that added this watch has not been taken in yet.
      if (stray_watches_.size() >= 4096) stray_watches_.clear();  // long gone watches
      if (event.kind != Kind::WatchEnded) stray_watches_.insert(event.watch);
      continue;
    }
    if (event.kind == Kind::WatchEnded) {  // the folder went, or its volume was unmounted
      for (TShellNode* node : found->second) {
        node->watch_ = -1;
        node->MonitorStarted = false;  // watched again when the folder is there again
        ended.push_back(node);
      }
      watchers_.erase(found);
      continue;
    }
    for (TShellNode* node : found->second) {
      if (std::find(due.begin(), due.end(), node) != due.end()) continue;
      switch (EventConcerns(node, event)) {
        case Concern::No: break;
        case Concern::Yes: due.push_back(node); break;
        case Concern::IfFolder: maybe_folders[node].push_back(event.name); break;
      }
    }
  }
  if (changes_held_) {
    if (lost) {
      for (const auto& [watch, nodes] : watchers_)
        for (TShellNode* node : nodes) held_changes_.insert(node->serial_);
    }
    for (TShellNode* node : due) held_changes_.insert(node->serial_);
    for (const auto& [node, names] : maybe_folders) held_changes_.insert(node->serial_);
    due.clear();
    maybe_folders.clear();
    lost = false;
  }
  for (auto& [node, names] : maybe_folders) {
    if (std::find(due.begin(), due.end(), node) != due.end()) continue;
    // Many new entries at once: one reading of the folder answers for all of them.
    if (names.size() > kNamesAskedOneByOne) {
      due.push_back(node);
      continue;
    }
    // Whether a new entry is a link to a folder is asked on a worker: the link may lead to a
    // mount that does not answer.
    const std::string folder = node->Path();
    const std::uint64_t serial = node->serial_;
    work_->Post(LaneOf(folder),
                [this, folder, serial, names = std::move(names)]() -> BlockingWork::Answer {
                  for (const std::string& name : names) {
                    if (IsFolder(JoinPath(folder, name))) {
                      return [this, serial] { FolderChanged(NodeBySerial(serial)); };
                    }
                  }
                  return nullptr;
                });
  }
  if (lost) {
    due.clear();
    for (const auto& [watch, nodes] : watchers_) due.insert(due.end(), nodes.begin(), nodes.end());
  }
  if (!upd_auto_thread_) return;
  for (TShellNode* node : due) FolderChanged(node);
  // A folder whose watch ended is read again if it is still shown open: when it is there
  // again (made anew, or its volume back), the reading watches it again.
  for (TShellNode* node : ended) {
    if (node->isExpanded() || node == root_node_) FolderChanged(node);
  }
}

void TShellTree::HoldChanges(bool hold) {
  changes_held_ = hold;
  if (hold) return;
  for (const std::uint64_t serial : std::exchange(held_changes_, {}))
    FolderChanged(NodeBySerial(serial));
}

// Re-reads for change reports are gathered per folder: at most one every 100 ms, the first
// at once, the last change always read.
void TShellTree::FolderChanged(TShellNode* node) {
  if (!node || !upd_auto_thread_) return;
  ScheduleRefresh(node,
                  std::max(Clock::now(), node->last_refresh_ + std::chrono::milliseconds(100)));
}

void TShellTree::ScheduleRefresh(TShellNode* node, Clock::time_point due) {
  if (!refresh_due_.emplace(node->serial_, due).second) return;  // one is on its way
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
  if (!refresh_timer_->isActive() || refresh_timer_->remainingTime() > wait.count())
    refresh_timer_->start(std::max<int>(0, int(wait.count())));
}

void TShellTree::RunDueRefreshes() {
  const auto now = Clock::now();
  std::vector<std::uint64_t> ready;
  auto next = Clock::time_point::max();
  for (const auto& [serial, due] : refresh_due_) {
    if (due <= now)
      ready.push_back(serial);
    else
      next = std::min(next, due);
  }
  for (const std::uint64_t serial : ready) {
    refresh_due_.erase(serial);
    TShellNode* node = NodeBySerial(serial);
    if (!node || !upd_auto_thread_) continue;
    node->last_refresh_ = now;
    const bool wasWatcherRefresh = watcher_refresh_;
    watcher_refresh_ = true;  // no messages while a watcher's report is handled
    ReadFolder(node, Wait::No);
    watcher_refresh_ = wasWatcherRefresh;
  }
  if (next != Clock::time_point::max()) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
    refresh_timer_->start(std::max<int>(0, int(wait.count())));
  }
}

void TShellTree::ChangeNotifyFilter(std::uint32_t filter) {
  notify_filter_ = filter;
  if (!monitor_) return;
  // A watch's filter is changed through its folder's present path, which an in-place rename
  // of the folder or of one above it may have changed since the watch began; walking the path
  // is a worker's job. A watch that the new path does not give back has ended.
  std::shared_ptr<FolderChangeNotifier> notifier = monitor_->Notifier();
  for (const auto& [watch, nodes] : watchers_) {
    const std::string path = nodes.front()->Path();
    work_->Post(LaneOf(path), [this, notifier, path, filter, watch]() -> BlockingWork::Answer {
      const int now = notifier->Add(path, filter);
      if (now == watch) return nullptr;
      return [this, watch, now] {
        if (const auto found = watchers_.find(watch); found != watchers_.end()) {
          for (TShellNode* node : found->second) node->watch_ = -1;
          watchers_.erase(found);
          monitor_->Remove(watch);
        }
        if (now >= 0 && !watchers_.count(now)) monitor_->Remove(now);
      };
    });
  }
}

}  // namespace quillon
