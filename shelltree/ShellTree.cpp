#include "shelltree/ShellTree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileIconProvider>
#include <QMenu>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QWheelEvent>
#include <fcntl.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <unordered_set>

#include "shelltree/ItemProp.h"
#include "util/FileSystem.h"
#include "util/Platform.h"
#include "util/ui/Seam.h"

namespace quillon::shelltree {
namespace {

enum IconKey { kNoIcon, kComputerIcon, kHomeIcon, kDriveIcon, kFolderIcon, kFileIcon,
               kFolderLinkIcon, kFileLinkIcon, kIconCount };

constexpr std::uint32_t kFolderAttributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
constexpr std::uint32_t kMovableAttributes = SFGAO_CANRENAME | SFGAO_CANDELETE | SFGAO_CANMOVE;

// The shortcut arrow in the lower left corner, as desktops mark links.
QIcon WithLinkOverlay(const QIcon& base) {
  QIcon result;
  for (const int size : {16, 22, 32}) {
    QPixmap pixmap = base.pixmap(size, size);
    if (pixmap.isNull()) continue;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const int s = std::max(7, size / 2);
    const QRectF box(0.5, size - s + 0.5, s - 1, s - 1);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(box);
    const qreal m = s * 0.25;
    const QPointF from(box.left() + m, box.bottom() - m), to(box.right() - m, box.top() + m);
    painter.setPen(QPen(QColor(0, 60, 160), std::max(1.0, s / 7.0)));
    painter.drawLine(from, to);
    painter.drawLine(to, QPointF(to.x() - s * 0.3, to.y()));
    painter.drawLine(to, QPointF(to.x(), to.y() + s * 0.3));
    result.addPixmap(pixmap);
  }
  return result;
}

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

// Ends an in-place edit through the tree (which renames the item) and opens editors only
// for nodes the tree lets the user rename.
class NodeDelegate : public QStyledItemDelegate {
 public:
  explicit NodeDelegate(TShellTree* tree) : QStyledItemDelegate(tree), tree_(tree) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    if (!tree_->CanEdit(NodeOf(index))) return nullptr;
    return QStyledItemDelegate::createEditor(parent, option, index);
  }
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    const QByteArray property = editor->metaObject()->userProperty().name();
    tree_->Edit(NodeOf(index), editor->property(property).toString());
  }

 private:
  TShellNode* NodeOf(const QModelIndex& index) const { return tree_->NodeFromIndex(index); }

  TShellTree* tree_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TShellNode

TShellNode::TShellNode(TShellTree* tree, Kind kind, std::string id)
    : QTreeWidgetItem(UserType), tree_(tree), kind_(kind), id_(std::move(id)) {
  setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
           Qt::ItemIsUserCheckable);
  setChildIndicatorPolicy(kind == Kind::File ? DontShowIndicator
                                             : DontShowIndicatorWhenChildless);
  probed_ = kind == Kind::File;
}

TShellNode::~TShellNode() {
  if (tree_) tree_->ForgetNode(this);
}

TShellNode* TShellNode::ParentNode() const { return static_cast<TShellNode*>(parent()); }

TShellNode* TShellNode::ChildNode(int index) const {
  return static_cast<TShellNode*>(child(index));
}

std::vector<std::string> TShellNode::AbsoluteIdList() const {
  std::vector<std::string> ids;
  for (const TShellNode* node = this; node; node = node->ParentNode()) {
    if (!node->id_.empty()) ids.push_back(node->id_);
  }
  std::reverse(ids.begin(), ids.end());
  return ids;
}

std::string TShellNode::Path() const {
  switch (kind_) {
    case Kind::VirtualRoot: return {};
    case Kind::Home: return tree_->HomePath();
    case Kind::Volume: return id_;
    case Kind::Folder:
    case Kind::File: break;
  }
  const TShellNode* parentNode = ParentNode();
  return parentNode ? JoinPath(parentNode->Path(), id_) : id_;
}

void TShellNode::UpdateImages() {
  const int key = tree_->IconKeyFor(this);
  if (key == iconKey_) return;
  iconKey_ = key;
  setIcon(0, tree_->icons_[key]);
}

QString TShellNode::GetDisplayText() const {
  switch (kind_) {
    case Kind::VirtualRoot: return QObject::tr("Computer");
    case Kind::Home: return QObject::tr("Home");
    case Kind::Volume: {
      const auto volume = std::find_if(tree_->volumes_.begin(), tree_->volumes_.end(),
                                       [&](const Volume& v) { return v.mountPoint == id_; });
      if (volume == tree_->volumes_.end() || IsRootPath(id_) || volume->label == volume->device)
        return ui::FromBytes(id_);
      return ui::FromBytes(volume->label) + " (" + ui::FromBytes(id_) + ")";
    }
    case Kind::Folder:
    case Kind::File: break;
  }
  if (ParentNode() || IsRootPath(id_)) return ui::FromBytes(id_);
  return ui::FromBytes(id_.substr(id_.rfind(kPathSeparator) + 1));
}

bool TShellNode::Rename(const QString& newName) {
  const std::string name = ui::ToBytes(newName);
  TShellNode* parentNode = ParentNode();
  if (!parentNode || !(kind_ == Kind::Folder || kind_ == Kind::File) || name.empty() ||
      name == "." || name == ".." || name.find(kPathSeparator) != std::string::npos)
    return false;
  const std::string folder = parentNode->Path();
  const std::string from = JoinPath(folder, id_), to = JoinPath(folder, name);
  // Never over an existing entry: the check and the rename are one step where the file
  // system allows it.
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat info {};
    if (lstat(to.c_str(), &info) == 0 || ::rename(from.c_str(), to.c_str()) != 0) return false;
  }
  id_ = name;
  ItemAttributes = IsHiddenName(name) ? (ItemAttributes | SFGAO_HIDDEN)
                                      : (ItemAttributes & ~std::uint32_t(SFGAO_HIDDEN));
  return true;
}

void TShellNode::EnsureFileInfo() const {
  if (infoRead_) return;
  infoRead_ = true;
  struct stat info {};
  if (stat(Path().c_str(), &info) == 0) {
    size_ = info.st_size;
    modified_ = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  }
}

bool TShellNode::operator<(const QTreeWidgetItem& other) const {
  return tree_->CompareNodes(*this, static_cast<const TShellNode&>(other)) < 0;
}

QVariant TShellNode::data(int column, int role) const {
  if (role == Qt::CheckStateRole) {
    if (!tree_->checkBoxes_ || column != 0) return {};
    return Checked ? Qt::Checked : Qt::Unchecked;
  }
  return QTreeWidgetItem::data(column, role);
}

void TShellNode::setData(int column, int role, const QVariant& value) {
  if (role != Qt::CheckStateRole) {
    QTreeWidgetItem::setData(column, role, value);
    return;
  }
  const bool state = value.toInt() == Qt::Checked;
  if (state == Checked) return;
  Checked = state;
  emitDataChanged();
  emit tree_->OnCheckBoxChanged(this, state);
}

// ---------------------------------------------------------------------------------------------
// TShellTree: construction, building

TShellTree::TShellTree(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  resize(170, 270);
  setSelectionMode(SingleSelection);
  setUniformRowHeights(true);
  setEditTriggers(SelectedClicked | EditKeyPressed);
  setItemDelegate(new NodeDelegate(this));
  setContextMenuPolicy(Qt::DefaultContextMenu);
  monitor_ = new TDiscMonitor([this](const auto& events) { WatchEvents(events); }, this);
  connect(this, &QTreeWidget::itemExpanded, this, &TShellTree::NodeExpanded);
  connect(this, &QTreeWidget::itemCollapsed, this, &TShellTree::NodeCollapsed);
  connect(this, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { emit OnChange(static_cast<TShellNode*>(current)); });
  SetMountTable(QString::fromLocal8Bit(kMountTablePath));
}

TShellTree::~TShellTree() {
  blockSignals(true);
  rootNode_ = nullptr;
  clear();  // every node ends its watch
  delete monitor_;
  monitor_ = nullptr;
  delete mountNotifier_;
  if (mountFd_ >= 0) ::close(mountFd_);
}

TShellNode* TShellTree::Selected() const { return static_cast<TShellNode*>(currentItem()); }

QWidget* TShellTree::OwnerWindow() const {
  if (!showMessages_ || watcherRefresh_) return nullptr;
  return window();
}

std::string TShellTree::HomePath() const { return ui::ToBytes(QDir::homePath()); }

std::string TShellTree::SpecialFolderPath(TPidls folder) const {
  auto standard = [](QStandardPaths::StandardLocation location) {
    return ui::ToBytes(QStandardPaths::writableLocation(location));
  };
  const std::string home = HomePath();
  std::string path;
  switch (folder) {
    case PIDL_PERSONAL: path = home; break;
    case PIDL_DESKTOPDIRECTORY: path = standard(QStandardPaths::DesktopLocation); break;
    case PIDL_PROGRAMS:
    case PIDL_STARTMENU: path = standard(QStandardPaths::ApplicationsLocation); break;
    case PIDL_FONTS: path = standard(QStandardPaths::FontsLocation); break;
    case PIDL_TEMPLATES: path = JoinPath(home, "Templates"); break;
    case PIDL_STARTUP: path = JoinPath(standard(QStandardPaths::ConfigLocation), "autostart"); break;
    case PIDL_BITBUCKET:
      path = JoinPath(standard(QStandardPaths::GenericDataLocation), "Trash/files");
      break;
    default: break;  // the desktop, the computer and folders the host has no place for
  }
  return !path.empty() && IsFolder(path) ? path : std::string();
}

void TShellTree::LoadSystemImages() {
  if (!icons_.empty()) return;
  QFileIconProvider provider;
  icons_.resize(kIconCount);
  icons_[kComputerIcon] = provider.icon(QFileIconProvider::Computer);
  icons_[kHomeIcon] = provider.icon(QFileInfo(QDir::homePath()));
  icons_[kDriveIcon] = provider.icon(QFileIconProvider::Drive);
  icons_[kFolderIcon] = provider.icon(QFileIconProvider::Folder);
  icons_[kFileIcon] = provider.icon(QFileIconProvider::File);
  icons_[kFolderLinkIcon] = WithLinkOverlay(icons_[kFolderIcon]);
  icons_[kFileLinkIcon] = WithLinkOverlay(icons_[kFileIcon]);
}

int TShellTree::IconKeyFor(const TShellNode* node) const {
  if (!showIcons_) return kNoIcon;
  const bool overlay = showLinkOverlay_ && node->IsLink();
  switch (node->kind()) {
    case TShellNode::Kind::VirtualRoot: return kComputerIcon;
    case TShellNode::Kind::Home: return kHomeIcon;
    case TShellNode::Kind::Volume: return kDriveIcon;
    case TShellNode::Kind::Folder: return overlay ? kFolderLinkIcon : kFolderIcon;
    case TShellNode::Kind::File: return overlay ? kFileLinkIcon : kFileIcon;
  }
  return kNoIcon;
}

void TShellTree::showEvent(QShowEvent* event) {
  QTreeWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (!windowCreated_) {
    windowCreated_ = true;
    RebuildTree(Rebuild::Plain);
    if (!pendingPath_.isEmpty()) {
      const QString path = pendingPath_;
      pendingPath_.clear();
      SetPath(path);
    }
    return;
  }
  RefreshTree();
}

void TShellTree::RebuildTree(Rebuild mode) {
  const QString keep = Path();
  {
    const QSignalBlocker blocker(this);
    rootNode_ = nullptr;
    clear();
  }
  BuildRoot();
  if (mode == Rebuild::KeepPath && !keep.isEmpty()) SetPath(keep);
}

void TShellTree::BuildRoot() {
  LoadSystemImages();
  std::string rootPath;
  if (rootUsePIDL_) {
    rootPath = SpecialFolderPath(rootPIDL_);
  } else {
    rootPath = NormalizeTreePath(rootDir_);
    if (rootPath.empty()) rootPath.assign(1, kPathSeparator);
  }
  const bool isVirtual = rootPath.empty();
  auto* root = new TShellNode(this, isVirtual ? TShellNode::Kind::VirtualRoot
                                              : TShellNode::Kind::Folder, rootPath);
  root->ItemAttributes = kFolderAttributes | SFGAO_HASSUBFOLDER |
                         (isVirtual ? 0u : std::uint32_t(SFGAO_FILESYSTEM));
  root->setText(0, root->GetDisplayText());
  root->UpdateImages();
  root->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  addTopLevelItem(root);
  rootNode_ = root;
  expandAllowed_ = true;
  ExpandNode(root);
  setCurrentItem(root);
  if (!rootUsePIDL_) rootDir_ = root->Path();
}

// ---------------------------------------------------------------------------------------------
// Reading folders

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
    if (node->kind() == TShellNode::Kind::Folder && access(path.c_str(), W_OK) == 0)
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

void TShellTree::ForEachNode(const std::function<void(TShellNode*)>& visit) {
  std::vector<TShellNode*> stack;
  for (int i = topLevelItemCount() - 1; i >= 0; --i)
    stack.push_back(static_cast<TShellNode*>(topLevelItem(i)));
  while (!stack.empty()) {
    TShellNode* node = stack.back();
    stack.pop_back();
    visit(node);
    for (int i = node->childCount() - 1; i >= 0; --i) stack.push_back(node->ChildNode(i));
  }
}

// ---------------------------------------------------------------------------------------------
// Expand buttons, expanding and collapsing

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

// ---------------------------------------------------------------------------------------------
// Folder watching

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
  const bool nameChange = event.mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO);
  const std::uint32_t filter = notifyFilter_;
  if (event.mask & IN_ISDIR)
    return nameChange ? (filter & kNotifyDirName) : (filter & kNotifyAttributes);
  if (filter & kNotifyFileName) return true;
  // Listing folders only, an entry that is no folder matters only as a link to one.
  if (!nameChange || !(filter & kNotifyDirName)) return false;
  if (event.mask & (IN_CREATE | IN_MOVED_TO)) {
    return IsFolder(JoinPath(node->Path(), event.name));
  }
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
    if (event.watch < 0) {
      lost = true;
      continue;
    }
    const auto found = watchers_.find(event.watch);
    if (found == watchers_.end()) continue;
    if (event.mask & IN_IGNORED) {  // the kernel ended the watch (folder gone or unmounted)
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

// ---------------------------------------------------------------------------------------------
// Volumes

void TShellTree::SetMountTable(const QString& path) {
  delete mountNotifier_;
  mountNotifier_ = nullptr;
  if (mountFd_ >= 0) ::close(mountFd_);
  mountTable_ = ui::ToBytes(path);
  volumes_ = noticedVolumes_ = ListVolumes(mountTable_);
  // The kernel's mount table signals a change as an exceptional condition to poll.
  mountFd_ = open(mountTable_.c_str(), O_RDONLY | O_CLOEXEC);
  if (mountFd_ < 0) return;
  mountNotifier_ = new QSocketNotifier(mountFd_, QSocketNotifier::Exception, this);
  connect(mountNotifier_, &QSocketNotifier::activated, this, [this] { DeviceChange(); });
}

void TShellTree::DeviceChange() {
  const std::vector<Volume> before = noticedVolumes_;
  const std::vector<Volume> now = ListVolumes(mountTable_);
  std::set<std::string> changed;
  auto note = [&](const std::vector<Volume>& from, const std::vector<Volume>& in) {
    for (const Volume& volume : from) {
      const auto same = std::find_if(in.begin(), in.end(), [&](const Volume& v) {
        return v.mountPoint == volume.mountPoint && v.device == volume.device;
      });
      if (same == in.end()) changed.insert(volume.mountPoint);
    }
  };
  note(before, now);
  note(now, before);
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

// ---------------------------------------------------------------------------------------------
// Path

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

// ---------------------------------------------------------------------------------------------
// Properties

void TShellTree::SetShowVirtualFolders(bool on) {
  if (on == showVirtualFolders_) return;
  showVirtualFolders_ = on;
  if (windowCreated_) RefreshTree();
}

void TShellTree::SetShowSharedOverlay(bool on) {
  if (on == showSharedOverlay_) return;
  showSharedOverlay_ = on;
  RefreshTree();
}

void TShellTree::SetShowLinkOverlay(bool on) {
  if (on == showLinkOverlay_) return;
  showLinkOverlay_ = on;
  ForEachNode([](TShellNode* node) { node->UpdateImages(); });
  RefreshTree();
}

void TShellTree::SetRootUsePIDL(bool on) {
  if (on == rootUsePIDL_) return;
  rootUsePIDL_ = on;
  if (windowCreated_) RebuildTree(Rebuild::Plain);
}

void TShellTree::SetRootPIDL(TPidls root) {
  if (root == rootPIDL_) return;
  rootPIDL_ = root;
  if (windowCreated_ && rootUsePIDL_) RebuildTree(Rebuild::RootChanged);
}

QString TShellTree::RootDir() const { return ui::FromBytes(rootDir_); }

void TShellTree::SetRootDir(const QString& folder) {
  const std::string normalized = NormalizeTreePath(ui::ToBytes(folder));
  if (normalized.empty() || normalized == rootDir_) return;
  rootDir_ = normalized;
  if (windowCreated_ && !rootUsePIDL_) RebuildTree(Rebuild::KeepPath);
}

void TShellTree::SetOptions(TVisOptions options) {
  if (options == options_) return;
  std::uint32_t filter = kNotifyAttributes;
  if (options & TF_FOLDERS) filter |= kNotifyDirName;
  if (options & TF_NONFOLDERS) filter |= kNotifyFileName;
  if (filter != notifyFilter_) {
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
  options_ = options;
  if (windowCreated_) RefreshTree();
}

void TShellTree::SetShowIcons(bool on) {
  if (on == showIcons_) return;
  showIcons_ = on;
  ForEachNode([](TShellNode* node) { node->UpdateImages(); });
}

QString TShellTree::FileMask() const { return ui::FromBytes(JoinFileMask(maskList_)); }

void TShellTree::SetFileMask(const QString& mask) {
  maskList_ = ParseFileMask(ui::ToBytes(mask));
  if (windowCreated_ && (options_ & TF_NONFOLDERS)) RefreshTree();
}

void TShellTree::SetFileMaskUse(bool on) {
  if (on == fileMaskUse_) return;
  fileMaskUse_ = on;
  if (windowCreated_ && (options_ & TF_NONFOLDERS)) RefreshTree();
}

void TShellTree::SetFileSortType(TFileSortType type) {
  if (type == fileSortType_) return;
  fileSortType_ = type;
  ResortAll(rootNode_);
}

void TShellTree::SetFileSortOrder(TFileSortOrder order) {
  if (order == fileSortOrder_) return;
  fileSortOrder_ = order;
  ResortAll(rootNode_);
}

void TShellTree::SetCheckBoxes(bool on) {
  if (on == checkBoxes_) return;
  checkBoxes_ = on;
  doItemsLayout();
  viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Editing, menus, mouse

bool TShellTree::CanEdit(TShellNode* node) const {
  return node && !readOnly_ && (node->ItemAttributes & SFGAO_CANRENAME);
}

void TShellTree::Edit(TShellNode* node, const QString& text) {
  if (!node || text.isEmpty()) return;
  QString name = text;
  emit OnEdited(node, name);
  if (name.isEmpty() || name == node->text(0)) return;
  const QString oldPath = ui::FromBytes(node->Path());
  if (!node->Rename(name)) {
    if (OwnerWindow()) ui::ShowError(tr("Can not rename %1 to %2").arg(oldPath, name));
    return;
  }
  node->setText(0, node->GetDisplayText());
  if (TShellNode* parentNode = node->ParentNode()) SortChildrenOf(parentNode);
  emit OnChange(node);
}

bool TShellTree::PopupAllowed(TShellNode* node) {
  if (!node) return false;
  bool allow = true;
  emit OnPopupMenu(node, allow);
  return allow;
}

void TShellTree::contextMenuEvent(QContextMenuEvent* event) {
  event->accept();
  TShellNode* node = nullptr;
  QPoint point;
  if (event->reason() == QContextMenuEvent::Keyboard) {
    node = Selected();
    if (!node) return;
    // The row spans the whole width; the label is the icon and caption at its left.
    QRect label = visualItemRect(node);
    label.setWidth(std::min(label.width(), sizeHintForIndex(indexFromItem(node)).width()));
    point = QPoint(label.left() + label.width() / 4, label.bottom() - label.height() / 4);
  } else {
    point = event->pos();
    node = static_cast<TShellNode*>(itemAt(point));
  }
  if (!PopupAllowed(node)) return;
  const QPoint global = viewport()->mapToGlobal(point);
  if (popupMenuMode_ == pmm_PopupMenu) {
    if (!popupMenu_) return;
    popupMenu_->setProperty("PopupComponent", QVariant::fromValue<QObject*>(this));
    popupMenu_->popup(global);
    return;
  }
  // The tree leaves the rename request unused, as it does not rename from that menu.
  ShowShellContextMenu(OwnerWindow(), ui::FromBytes(node->Path()), node->IsFolder(), global);
}

void TShellTree::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && !rightClickSelect_) {
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
}

void TShellTree::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit OnClick();
}

void TShellTree::wheelEvent(QWheelEvent* event) {
  event->accept();
  const int delta = event->angleDelta().y();
  if (delta == 120)
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
  else if (delta == -120)
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
}

}  // namespace quillon::shelltree
