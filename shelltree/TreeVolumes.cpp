// The folder tree's volumes: the mount table watched for mounts and unmounts, and the nodes
// at changed mount points brought up to date.
#include <QSignalBlocker>
#include <QSocketNotifier>

#include "shelltree/ShellTree.h"
#include "util/ui/Seam.h"

namespace quillon::shelltree {

void TShellTree::SetMountTable(const QString& path) {
  delete mountNotifier_;
  mountNotifier_ = nullptr;
  mountTable_ = ui::ToBytes(path);
  volumes_ = noticedVolumes_ = ListVolumes(mountTable_);
  mountWatch_ = std::make_unique<MountTableWatch>(mountTable_);
  if (mountWatch_->Descriptor() < 0) return;
  mountNotifier_ =
      new QSocketNotifier(mountWatch_->Descriptor(), QSocketNotifier::Exception, this);
  connect(mountNotifier_, &QSocketNotifier::activated, this, [this] { DeviceChange(); });
}

void TShellTree::DeviceChange() {
  const std::vector<Volume> before = noticedVolumes_;
  const std::vector<Volume> now = ListVolumes(mountTable_);
  const std::set<std::string> changed = ChangedMountPoints(before, now);
  volumes_ = noticedVolumes_ = now;
  if (changed.empty() || !rootNode_) return;

  const bool watcherState = watcherRefresh_;
  watcherRefresh_ = true;  // the shell's messages stay off meanwhile
  if (rootNode_->kind() == TShellNode::Kind::VirtualRoot) RefreshChildren(rootNode_, false);
  // A folder shown at a mount point now shows another file system: what was read below it
  // is gone, and it is read again when it expands.
  std::vector<TShellNode*> remounted;
  ForEachNode([&](TShellNode* node) {
    if (node != rootNode_ && node->IsFolder() && changed.count(node->Path()))
      remounted.push_back(node);
  });
  for (TShellNode* node : remounted) {
    {
      const QSignalBlocker blocker(this);
      collapseItem(node);
    }
    StopMonitorsBelow(node);
    StopMonitor(node);
    qDeleteAll(node->takeChildren());
    node->ChildrenRead = false;
    node->probed_ = false;
    node->iconKey_ = -1;
    node->setText(0, node->GetDisplayText());
    node->UpdateImages();
  }
  if (rootNode_->kind() == TShellNode::Kind::Folder && changed.count(rootNode_->Path())) {
    StopMonitor(rootNode_);
    RefreshChildren(rootNode_, false);
  }
  watcherRefresh_ = watcherState;
  viewport()->update();
}

}  // namespace quillon::shelltree
