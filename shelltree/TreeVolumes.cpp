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
  delete mount_notifier_;
  mount_notifier_ = nullptr;
  mount_table_ = ui::ToBytes(path);
  ReadVolumes(false);
  noticed_volumes_ = volumes_;
  mount_watch_ = std::make_unique<MountTableWatch>(mount_table_);
  if (mount_watch_->Descriptor() < 0) return;
  mount_notifier_ =
      new QSocketNotifier(mount_watch_->Descriptor(), QSocketNotifier::Exception, this);
  ui::ConnectCommand(mount_notifier_, &QSocketNotifier::activated, this, &TShellTree::DeviceChange);
}

void TShellTree::ReadVolumes(bool markLate) {
  const std::string table = ReadMountTable(mount_table_);
  all_mounts_ = ParseAllMounts(table);
  std::vector<std::string> late;
  volumes_ = ListVolumesOf(table, kVolumePatience, &late);
  if (!markLate) {
    if (!late.empty()) QTimer::singleShot(kVolumeLateMs, this, [this] { ReadVolumes(true); });
    return;
  }
  if (!root_node_ || root_node_->kind() != TShellNode::Kind::VirtualRoot) return;
  for (int i = 0; i < root_node_->childCount(); ++i) {
    TShellNode* node = root_node_->ChildNode(i);
    if (node->kind() != TShellNode::Kind::Volume) continue;
    SetUnavailable(node, std::find(late.begin(), late.end(), node->RelativeId()) != late.end());
  }
}

void TShellTree::DeviceChange() {
  const std::vector<Volume> before = noticed_volumes_;
  ReadVolumes(false);
  const std::set<std::string> changed = ChangedMountPoints(before, volumes_);
  noticed_volumes_ = volumes_;
  if (changed.empty() || !root_node_) return;

  const bool watcherState = watcher_refresh_;
  watcher_refresh_ = true;  // the shell's messages stay off meanwhile
  hold_selection_ = true;
  if (root_node_->kind() == TShellNode::Kind::VirtualRoot)
    ApplyListing(root_node_, VolumeListing());
  // A folder shown at a mount point now shows another file system: what was read below it
  // is gone, and it is read again when it expands.
  std::vector<TShellNode*> remounted;
  ForEachNode([&](TShellNode* node) {
    if (node != root_node_ && node->IsFolder() && changed.count(node->Path()))
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
    node->icon_key_ = -1;
    SetUnavailable(node, false);
    node->setText(0, node->GetDisplayText());
    node->UpdateImages();
  }
  if (root_node_->kind() == TShellNode::Kind::Folder && changed.count(root_node_->Path())) {
    StopMonitor(root_node_);
    ReadFolder(root_node_, Wait::No);
  }
  watcher_refresh_ = watcherState;
  hold_selection_ = false;
  if (!held_selection_.empty()) RestoreSelection(std::exchange(held_selection_, {}), root_node_);
  viewport()->update();
}

}  // namespace quillon
