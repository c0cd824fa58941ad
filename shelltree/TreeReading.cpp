// The folder tree's reading: folders read into nodes (matching the nodes already there), the
// order of the children, the expand buttons, and expanding and collapsing.
#include <QApplication>
#include <QSignalBlocker>
#include <QMetaMethod>
#include <algorithm>

#include "shelltree/ShellTree.h"
#include "util/FolderReading.h"
#include "util/Platform.h"
#include "util/ui/Seam.h"

namespace quillon::shelltree {
namespace {

constexpr std::uint32_t kMovableAttributes = SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_CANMOVE;

int CompareAsciiNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

std::string_view ExtensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
}

}  // namespace

bool TShellTree::Accepts(const FolderEntry& entry, const std::string& fullPath,
                         std::uint32_t attributes) {
  bool allow = true;
  if (!entry.folder) {
    if (fileMaskUse_ && !MatchesAnyMask(entry.name, maskList_)) return false;
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
  TShellNode* child = nullptr;
  if (const auto found = existing.find(entry.name);
      found != existing.end() && !found->second->SeenInScan && found->second->kind() == kind)
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
    if (text != child->text(0)) child->setText(0, text);
    if (!child->isExpanded() && child->IsFolder()) child->probed_ = false;
    child->infoRead_ = false;
  } else {
    child = new TShellNode(this, kind, entry.name);
    child->ItemAttributes = attributes;
    child->setText(0, child->GetDisplayText());
    added.append(child);
  }
  child->SeenInScan = true;
  child->UpdateImages();
  if (!parent->MonitorStarted) StartMonitor(parent);
  return true;
}

void TShellTree::ReadChildren(TShellNode* node) {
  if (!node || !node->IsFolder()) return;
  const bool virtualRoot = node->kind() == TShellNode::Kind::VirtualRoot;
  const std::string path = node->Path();
  std::vector<FolderEntry> entries;
  std::uint32_t inherited = 0;
  if (virtualRoot) {
    volumes_ = ListVolumes(mountTable_);
    entries.push_back({"~", true, false});
    for (const Volume& volume : volumes_) entries.push_back({volume.mountPoint, true, false});
  } else {
    const bool folders = options_ & TF_FOLDERS, files = options_ & TF_NONFOLDERS,
               hidden = options_ & TF_HIDDEN;
    ScanFolder(path, [&](const FolderEntry& entry) {
      if ((entry.folder ? folders : files) && (hidden || !IsHiddenName(entry.name)))
        entries.push_back(entry);
      return true;
    });
    if (node->kind() == TShellNode::Kind::Folder && IsWritableFolder(path))
      inherited = kMovableAttributes;
  }

  const bool updates = updatesEnabled();
  setUpdatesEnabled(false);
  if (!watcherRefresh_) QApplication::setOverrideCursor(Qt::WaitCursor);

  std::unordered_map<std::string_view, TShellNode*> existing;
  existing.reserve(node->childCount());
  for (int i = 0; i < node->childCount(); ++i) {
    TShellNode* child = node->ChildNode(i);
    child->SeenInScan = false;
    existing.emplace(child->RelativeId(), child);
  }
  QList<QTreeWidgetItem*> added;
  for (const FolderEntry& entry : entries)
    AddChildItem(node, entry, path, inherited, existing, added);
  for (int i = node->childCount() - 1; i >= 0; --i) {
    if (!node->ChildNode(i)->SeenInScan) delete node->child(i);
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
  if (node->childCount() == 0 && node != rootNode_)
    node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);

  if (!watcherRefresh_) QApplication::restoreOverrideCursor();
  setUpdatesEnabled(updates);
}

void TShellTree::RefreshChildren(TShellNode* node, bool recursive) {
  if (!node) return;
  ReadChildren(node);
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
  if (!rootNode_) return;
  const bool updates = updatesEnabled();
  setUpdatesEnabled(false);
  RefreshChildren(rootNode_, true);
  setUpdatesEnabled(updates);
}

int TShellTree::CompareNodes(const TShellNode& a, const TShellNode& b) const {
  using Kind = TShellNode::Kind;
  // The home shortcut leads, the volumes follow by mount point ("/" first).
  if (a.kind() == Kind::Home || b.kind() == Kind::Home) return a.kind() == Kind::Home ? -1 : 1;
  if (a.kind() == Kind::Volume && b.kind() == Kind::Volume)
    return a.RelativeId().compare(b.RelativeId());
  const bool aFile = a.kind() == Kind::File, bFile = b.kind() == Kind::File;
  if (aFile != bFile) return aFile ? 1 : -1;
  const int byName = CompareAsciiNoCase(a.RelativeId(), b.RelativeId());
  if (!aFile) return byName;
  int result = 0;
  switch (fileSortType_) {
    case so_Name: break;
    case so_Size:
      a.EnsureFileInfo();
      b.EnsureFileInfo();
      result = a.size_ < b.size_ ? -1 : (a.size_ > b.size_ ? 1 : 0);
      break;
    case so_Type:
      result = CompareAsciiNoCase(ExtensionOf(a.RelativeId()), ExtensionOf(b.RelativeId()));
      break;
    case so_Date:
      a.EnsureFileInfo();
      b.EnsureFileInfo();
      result = a.modified_ < b.modified_ ? -1 : (a.modified_ > b.modified_ ? 1 : 0);
      break;
  }
  if (result == 0) result = byName;
  return fileSortOrder_ == so_Descending ? -result : result;
}

void TShellTree::SortChildrenOf(TShellNode* node) {
  for (int i = 1; i < node->childCount(); ++i) {
    if (*node->child(i) < *node->child(i - 1)) {
      node->sortChildren(0, Qt::AscendingOrder);
      return;
    }
  }
}

void TShellTree::ResortAll(TShellNode* node) {
  if (!node) return;
  SortChildrenOf(node);
  for (int i = 0; i < node->childCount(); ++i) ResortAll(node->ChildNode(i));
}

bool TShellTree::ProbeHasChildren(TShellNode* node) {
  const bool folders = options_ & TF_FOLDERS, files = options_ & TF_NONFOLDERS,
             hidden = options_ & TF_HIDDEN;
  return FolderHasEntry(node->Path(), [&](const FolderEntry& entry) {
    if (!hidden && IsHiddenName(entry.name)) return false;
    if (entry.folder) return folders;
    return files && (!fileMaskUse_ || MatchesAnyMask(entry.name, maskList_));
  });
}

void TShellTree::DecideExpandButton(TShellNode* node) {
  node->probed_ = true;
  if (ProbeHasChildren(node)) {
    node->ItemAttributes |= SFGAO_HASSUBFOLDER;
    node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return;
  }
  node->ItemAttributes &= ~std::uint32_t(SFGAO_HASSUBFOLDER);
  // Children read earlier are gone from the folder by now.
  qDeleteAll(node->takeChildren());
  node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
  node->ChildrenRead = false;
  // A folder without subfolders is watched so that its first subfolder brings the button.
  StartMonitor(node);
}

void TShellTree::UpdateExpandButtons() {
  if (!rootNode_) return;
  const int bottom = viewport()->height();
  for (QTreeWidgetItem* item = itemAt(QPoint(1, 1)); item; item = itemBelow(item)) {
    if (visualItemRect(item).top() > bottom) break;
    auto* node = static_cast<TShellNode*>(item);
    if (node->probed_) continue;
    if (node->isExpanded())
      node->probed_ = true;
    else
      DecideExpandButton(node);
  }
}

void TShellTree::paintEvent(QPaintEvent* event) {
  UpdateExpandButtons();
  QTreeWidget::paintEvent(event);
}

void TShellTree::ExpandNode(TShellNode* node) {
  if (node && !node->isExpanded()) expandItem(node);
}

void TShellTree::NodeExpanded(QTreeWidgetItem* item) {
  auto* node = static_cast<TShellNode*>(item);
  bool allow = expandAllowed_;
  emit OnExpanding(node, allow);
  if (!allow) {
    const QSignalBlocker blocker(this);
    collapseItem(node);
    return;
  }
  if (updAuto_ || !node->ChildrenRead) {
    RefreshChildren(node, updAutoRec_);
    node->ChildrenRead = true;
  }
  if (node->childCount() == 0) StartMonitor(node);
  RestartStoppedBelow(node);
}

void TShellTree::NodeCollapsed(QTreeWidgetItem* item) {
  StopMonitorsBelow(static_cast<TShellNode*>(item));
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
    if (!child->MonitorStarted && updAutoThread_) ReadChildren(child);
    RestartStoppedBelow(child);
  }
}

}  // namespace quillon::shelltree
