// The folder tree's volumes: the mount table watched for mounts and unmounts, each mount point
// asked on its own lane (a mount that does not answer stays listed and shows as unavailable),
// and the nodes at changed mount points brought up to date.
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "shelltree/ShellTree.h"
#include "util/ui/Commands.h"
#include "util/ui/Seam.h"

namespace quillon {
namespace {

// How long a reading of the volumes waits for the mount points together.
constexpr auto kVolumePatience = std::chrono::milliseconds(20);
// A mount point that has not answered by then shows as unavailable.
constexpr int kVolumeLateMs = 2000;

}  // namespace

void TShellTree::SetMountTable(const QString& path) {
  delete mountNotifier_;
  mountNotifier_ = nullptr;
  mountTable_ = ui::ToBytes(path);
  ReadVolumes(false);
  noticedVolumes_ = volumes_;
  mountWatch_ = std::make_unique<MountTableWatch>(mountTable_);
  if (mountWatch_->Descriptor() < 0) return;
  mountNotifier_ =
      new QSocketNotifier(mountWatch_->Descriptor(), QSocketNotifier::Exception, this);
  ui::ConnectCommand(mountNotifier_, &QSocketNotifier::activated, this, &TShellTree::DeviceChange);
}

void TShellTree::ReadVolumes(bool markLate) {
  allMounts_ = ParseAllMounts(ReadMountTable(mountTable_));
  std::vector<std::string> late;
  volumes_ = ListVolumes(mountTable_, kVolumePatience, &late);
  if (!markLate) {
    if (!late.empty()) QTimer::singleShot(kVolumeLateMs, this, [this] { ReadVolumes(true); });
    return;
  }
  if (!rootNode_ || rootNode_->kind() != TShellNode::Kind::VirtualRoot) return;
  for (int i = 0; i < rootNode_->childCount(); ++i) {
    TShellNode* node = rootNode_->ChildNode(i);
    if (node->kind() != TShellNode::Kind::Volume) continue;
    SetUnavailable(node, std::find(late.begin(), late.end(), node->RelativeId()) != late.end());
  }
}

void TShellTree::DeviceChange() {
  const std::vector<Volume> before = noticedVolumes_;
  ReadVolumes(false);
  const std::set<std::string> changed = ChangedMountPoints(before, volumes_);
  noticedVolumes_ = volumes_;
  if (changed.empty() || !rootNode_) return;

  const bool watcherState = watcherRefresh_;
  watcherRefresh_ = true;  // the shell's messages stay off meanwhile
  holdSelection_ = true;
  if (rootNode_->kind() == TShellNode::Kind::VirtualRoot) ApplyListing(rootNode_, VolumeListing());
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
    DropChildren(node);
    node->ChildrenRead = false;
    node->probed_ = false;
    node->identity_ = {};
    node->iconKey_ = -1;
    SetUnavailable(node, false);
    node->setText(0, node->GetDisplayText());
    node->UpdateImages();
  }
  if (rootNode_->kind() == TShellNode::Kind::Folder && changed.count(rootNode_->Path())) {
    StopMonitor(rootNode_);
    ReadFolder(rootNode_, Wait::No);
  }
  watcherRefresh_ = watcherState;
  holdSelection_ = false;
  if (!heldSelection_.empty()) RestoreSelection(std::exchange(heldSelection_, {}), rootNode_);
  viewport()->update();
}

}  // namespace quillon
