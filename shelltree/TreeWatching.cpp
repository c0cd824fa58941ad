// The folder tree's watch bookkeeping: which nodes share each watch of the change
// notification, and what a report makes the tree read again.
#include <algorithm>

#include "shelltree/ShellTree.h"
#include "util/FileSystem.h"
#include "util/Platform.h"

namespace quillon::shelltree {

void TShellTree::StartMonitor(TShellNode* node) {
  if (node->MonitorStarted || !updAutoThread_ || !node->IsFolder()) return;
  const std::string path = node->Path();
  if (!path.empty() && monitor_) {
    const int watch = monitor_->Add(path, notifyFilter_);
    if (watch >= 0) {
      node->watch_ = watch;
      watchers_[watch].push_back(node);
    }
  }
  node->MonitorStarted = true;
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
  if (node == rootNode_) rootNode_ = nullptr;
  StopMonitor(node);
}

bool TShellTree::EventConcerns(const TShellNode* node, const TDiscMonitor::Event& event) const {
  if (event.name.empty()) return false;  // the folder itself: its parent's watch reports it
  if (!(options_ & TF_HIDDEN) && IsHiddenName(event.name)) return false;
  using Kind = TDiscMonitor::Event::Kind;
  const bool nameChange = event.kind == Kind::Created || event.kind == Kind::Deleted;
  const std::uint32_t filter = notifyFilter_;
  if (event.folder) return nameChange ? (filter & kNotifyDirName) : (filter & kNotifyAttributes);
  if (filter & kNotifyFileName) return true;
  // Listing folders only, an entry that is no folder matters only as a link to one.
  if (!nameChange || !(filter & kNotifyDirName)) return false;
  if (event.kind == Kind::Created) return IsFolder(JoinPath(node->Path(), event.name));
  for (int i = 0; i < node->childCount(); ++i) {
    const TShellNode* child = node->ChildNode(i);
    if (child->IsFolder() && child->RelativeId() == event.name) return true;
  }
  return false;
}

void TShellTree::WatchEvents(const std::vector<TDiscMonitor::Event>& events) {
  std::vector<int> due;
  bool lost = false;
  for (const TDiscMonitor::Event& event : events) {
    if (event.kind == TDiscMonitor::Event::Kind::Overflow) {
      lost = true;
      continue;
    }
    const auto found = watchers_.find(event.watch);
    if (found == watchers_.end()) continue;
    if (event.kind == TDiscMonitor::Event::Kind::WatchEnded) {
      for (TShellNode* node : found->second) node->watch_ = -1;
      watchers_.erase(found);
      continue;
    }
    if (std::find(due.begin(), due.end(), event.watch) != due.end()) continue;
    for (const TShellNode* node : found->second) {
      if (EventConcerns(node, event)) {
        due.push_back(event.watch);
        break;
      }
    }
  }
  if (lost) {
    due.clear();
    for (const auto& [watch, nodes] : watchers_) due.push_back(watch);
  }
  if (!updAutoThread_) return;
  for (const int watch : due) {
    const auto found = watchers_.find(watch);
    if (found == watchers_.end()) continue;
    const std::vector<TShellNode*> nodes = found->second;
    for (TShellNode* node : nodes) {
      // An earlier refresh of this batch may have removed the node.
      const auto still = watchers_.find(watch);
      if (still == watchers_.end() ||
          std::find(still->second.begin(), still->second.end(), node) == still->second.end())
        continue;
      FolderChanged(node);
    }
  }
}

void TShellTree::FolderChanged(TShellNode* node) {
  if (!node || !updAutoThread_) return;
  if (node->refreshing_) {
    node->refreshAgain_ = true;
    return;
  }
  const bool wasWatcherRefresh = watcherRefresh_;
  watcherRefresh_ = true;  // no messages while a watcher's report is handled
  node->refreshing_ = true;
  do {
    node->refreshAgain_ = false;
    RefreshChildren(node, false);
  } while (node->refreshAgain_);
  node->refreshing_ = false;
  watcherRefresh_ = wasWatcherRefresh;
}

void TShellTree::ChangeNotifyFilter(std::uint32_t filter) {
  notifyFilter_ = filter;
  // A watch's filter is changed through its folder's present path, which an in-place
  // rename of the folder or of one above it may have changed since the watch began.
  std::vector<int> failed;
  for (const auto& [watch, nodes] : watchers_) {
    const int now = monitor_->Add(nodes.front()->Path(), filter);
    if (now == watch) continue;
    failed.push_back(watch);
    if (now >= 0 && !watchers_.count(now)) monitor_->Remove(now);
  }
  for (const int watch : failed) {
    for (TShellNode* node : watchers_[watch]) node->watch_ = -1;
    watchers_.erase(watch);
    monitor_->Remove(watch);
  }
}

}  // namespace quillon::shelltree
