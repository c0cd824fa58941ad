// The folder tree's selection as a path and back: finding a folder's node through the tree,
// expanding as it goes.
#include <algorithm>

#include "shelltree/ShellTree.h"
#include "util/Platform.h"
#include "util/ui/Seam.h"

namespace quillon::shelltree {

QString TShellTree::Path() const {
  const TShellNode* node = Selected();
  return node ? ui::FromBytes(node->Path()) : QString();
}

bool TShellTree::IdListOfPath(const std::string& path, std::vector<std::string>& idList) const {
  idList.clear();
  if (!rootNode_) return false;
  std::vector<std::string> components;
  if (rootNode_->kind() == TShellNode::Kind::VirtualRoot) {
    const Volume* volume = VolumeHoldingPath(volumes_, path);
    if (!volume || !ComponentsBelow(volume->mountPoint, path, components)) return false;
    idList.push_back(volume->mountPoint);
  } else {
    if (!ComponentsBelow(rootNode_->RelativeId(), path, components)) return false;
    idList.push_back(rootNode_->RelativeId());
  }
  idList.insert(idList.end(), components.begin(), components.end());
  return true;
}

TShellNode* TShellTree::FindNodeByIdList(const std::vector<std::string>& idList, bool expand,
                                         bool fromRoot, bool exact) {
  TShellNode* start = fromRoot ? rootNode_ : Selected();
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
  if (!windowCreated_) {
    pendingPath_ = path;
    return;
  }
  const std::string folder = NormalizeTreePath(ui::ToBytes(path));
  if (folder.empty()) return;
  std::vector<std::string> idList;
  if (!IdListOfPath(folder, idList)) return;
  TShellNode* node = FindNodeByIdList(idList, true, true, false);
  if (!node) return;
  ExpandNode(node);
  setCurrentItem(node);
  scrollToItem(node);
}

}  // namespace quillon::shelltree
