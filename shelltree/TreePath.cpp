// The folder tree's selection as a path and back: finding a folder's node through the tree,
// expanding as it goes.
#include <algorithm>
#include <utility>

#include "shelltree/ShellTree.h"
#include "util/Platform.h"
#include "util/ui/Seam.h"

namespace quillon {

QString TShellTree::Path() const {
  const TShellNode* node = Selected();
  return node ? ui::FromBytes(node->Path()) : QString();
}

bool TShellTree::IdListOfPath(const std::string& path, std::vector<std::string>& idList) const {
  idList.clear();
  if (!root_node_) return false;
  std::vector<std::string> components;
  if (root_node_->kind() == TShellNode::Kind::VirtualRoot) {
    const Volume* volume = VolumeHoldingPath(volumes_, path);
    if (!volume || !ComponentsBelow(volume->mount_point, path, components)) return false;
    idList.push_back(volume->mount_point);
  } else {
    if (!ComponentsBelow(root_node_->RelativeId(), path, components)) return false;
    idList.push_back(root_node_->RelativeId());
  }
  idList.insert(idList.end(), components.begin(), components.end());
  return true;
}

TShellNode* TShellTree::FindNodeByIdList(const std::vector<std::string>& idList, bool expand,
                                         bool fromRoot, bool exact) {
  TShellNode* start = fromRoot ? root_node_ : Selected();
  if (!start) return nullptr;
  const std::vector<std::string> startIds = start->AbsoluteIdList();
  if (idList.size() < startIds.size() ||
      !std::equal(startIds.begin(), startIds.end(), idList.begin()))
    return nullptr;
  if (idList.size() == startIds.size()) return start;
  if (expand) ExpandNode(start);
  TShellNode* node = start;
  std::size_t consumed = startIds.size();
  for (std::size_t i = startIds.size(); i < idList.size(); ++i) {
    TShellNode* match = nullptr;
    for (int c = 0; c < node->childCount() && !match; ++c) {
      if (node->ChildNode(c)->RelativeId() == idList[i]) match = node->ChildNode(c);
    }
    if (!match) break;
    node = match;
    consumed = i + 1;
    if (consumed < idList.size()) {
      if (expand) ExpandNode(node);
      if (!node->isExpanded()) return nullptr;
    }
  }
  if (exact && consumed != idList.size()) return nullptr;
  return node;
}

void TShellTree::SetPath(const QString& path) {
  if (path == Path()) return;
  if (!window_created_) {
    pending_path_ = path;
    return;
  }
  // Finding the existing folder asks the file system, on the lane of the path's volume; an
  // answer that comes late still selects, unless the selection or Path moved meanwhile.
  const std::string wanted = ui::ToBytes(path);
  const std::uint64_t request = ++path_request_;
  const TShellNode* before = Selected();
  const std::uint64_t selected = before ? before->serial_ : 0;
  const std::string lane = LaneOf(CleanPath(wanted));
  const std::uint64_t ticket = work_->Post(lane, [this, wanted, request, selected] {
    const std::string folder = NormalizeTreePath(wanted);
    return BlockingWork::Answer([this, folder, request, selected] {
      const TShellNode* now = Selected();
      if (request == path_request_ && (now ? now->serial_ : 0) == selected) SelectFolder(folder);
    });
  });
  WaitForAnswer(ticket, lane);
}

void TShellTree::SelectFolder(const std::string& folder) {
  if (folder.empty()) return;
  std::vector<std::string> idList;
  if (!IdListOfPath(folder, idList)) return;
  TShellNode* node = FindNodeByIdList(idList, true, true, false);
  if (!node) return;
  ExpandNode(node);
  setCurrentItem(node);
  scrollToItem(node);
  // Stopped at a folder whose reading has not answered yet: the rest of the way follows when
  // it answers, unless the selection or Path moved meanwhile.
  pending_selection_ = {};
  if (node->read_ticket_ && node->Path() != folder)
    pending_selection_ = {folder, path_request_, node->serial_};
}

void TShellTree::ContinueSelection(TShellNode* node) {
  if (pending_selection_.folder.empty() || pending_selection_.stoppedAt != node->serial_) return;
  const PendingSelection pending = std::exchange(pending_selection_, {});
  if (pending.request == path_request_ && Selected() == node) SelectFolder(pending.folder);
}

}  // namespace quillon
