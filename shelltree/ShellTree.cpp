#include "shelltree/ShellTree.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileIconProvider>
#include <QMenu>
#include <QMetaProperty>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <functional>
#include <memory>

#include "shelltree/ItemProp.h"
#include "util/FileSystem.h"
#include "util/Platform.h"
#include "util/ui/Commands.h"
#include "util/ui/LazyIcons.h"
#include "util/ui/Seam.h"

namespace quillon {
namespace {

enum IconKey {
  kNoIcon,
  kComputerIcon,
  kHomeIcon,
  kDriveIcon,
  kFolderIcon,
  kFileIcon,
  kFolderLinkIcon,
  kFileLinkIcon,
  kFolderOpenIcon,
  kIconCount
};

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
// Construction, building

TShellTree::TShellTree(QWidget* parent)
    : QTreeWidget(parent), collator_(NameCollator()), work_(std::make_unique<BlockingWork>()) {
  setHeaderHidden(true);
  setColumnCount(1);
  resize(170, 270);
  setSelectionMode(SingleSelection);
  setUniformRowHeights(true);
  setEditTriggers(SelectedClicked | EditKeyPressed);
  setItemDelegate(new NodeDelegate(this));
  setContextMenuPolicy(Qt::DefaultContextMenu);
  monitor_ = new TDiscMonitor([this](const auto& events) { WatchEvents(events); }, this);
  answers_ = new QSocketNotifier(work_->Descriptor(), QSocketNotifier::Read, this);
  ui::ConnectCommand(answers_, &QSocketNotifier::activated, this, [this] { work_->RunAnswers(); });
  refresh_timer_ = new QTimer(this);
  refresh_timer_->setSingleShot(true);
  ui::ConnectCommand(refresh_timer_, &QTimer::timeout, this, &TShellTree::RunDueRefreshes);
  leaf_timer_ = new QTimer(this);
  leaf_timer_->setSingleShot(true);
  ui::ConnectCommand(leaf_timer_, &QTimer::timeout, this, &TShellTree::HideLeafButtons);
  ui::ConnectCommand(this, &QTreeWidget::itemExpanded, this, &TShellTree::NodeExpanded);
  ui::ConnectCommand(this, &QTreeWidget::itemCollapsed, this, &TShellTree::NodeCollapsed);
  ui::ConnectCommand(
      this, &QTreeWidget::currentItemChanged, this,
      [this](QTreeWidgetItem* current) { emit OnChange(static_cast<TShellNode*>(current)); });
  SetMountTable(QString::fromLocal8Bit(kMountTablePath));
}

TShellTree::~TShellTree() {
  blockSignals(true);
  delete answers_;
  work_.reset();  // answers still to come are dropped; a worker on a hung mount ends on its own
  root_node_ = nullptr;
  clear();  // every node ends its watch
  delete monitor_;
  monitor_ = nullptr;
  delete mount_notifier_;
}

TShellNode* TShellTree::Selected() const { return static_cast<TShellNode*>(currentItem()); }

QWidget* TShellTree::OwnerWindow() const {
  if (!show_messages_ || watcher_refresh_) return nullptr;
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
    case PIDL_STARTUP:
      path = JoinPath(standard(QStandardPaths::ConfigLocation), "autostart");
      break;
    case PIDL_BITBUCKET:
      path = JoinPath(standard(QStandardPaths::GenericDataLocation), "Trash/files");
      break;
    default: break;  // the desktop, the computer and folders the host has no place for
  }
  return !path.empty() && IsFolder(path) ? path : std::string();
}

void TShellTree::LoadSystemImages() {
  if (!icons_.empty()) return;
  const auto provider = std::make_shared<QFileIconProvider>();
  const auto from_provider = [provider](QFileIconProvider::IconType type) {
    return ui::DeferredIcon([provider, type] { return provider->icon(type); });
  };
  const QIcon folder = from_provider(QFileIconProvider::Folder);
  const QIcon file = from_provider(QFileIconProvider::File);
  icons_.resize(kIconCount);
  icons_[kComputerIcon] = from_provider(QFileIconProvider::Computer);
  icons_[kHomeIcon] =
      ui::DeferredIcon([provider] { return provider->icon(QFileInfo(QDir::homePath())); });
  icons_[kDriveIcon] = from_provider(QFileIconProvider::Drive);
  icons_[kFolderIcon] = folder;
  icons_[kFileIcon] = file;
  icons_[kFolderLinkIcon] = ui::DeferredIcon([folder] { return WithLinkOverlay(folder); });
  icons_[kFolderOpenIcon] = ui::DeferredIcon([folder] {
    return QIcon::hasThemeIcon(QStringLiteral("folder-open"))
               ? QIcon::fromTheme(QStringLiteral("folder-open"))
               : folder;
  });
  icons_[kFileLinkIcon] = ui::DeferredIcon([file] { return WithLinkOverlay(file); });
}

int TShellTree::IconKeyFor(const TShellNode* node) const {
  if (!show_icons_) return kNoIcon;
  const bool overlay = show_link_overlay_ && node->IsLink();
  switch (node->kind()) {
    case TShellNode::Kind::VirtualRoot: return kComputerIcon;
    case TShellNode::Kind::Home: return kHomeIcon;
    case TShellNode::Kind::Volume: return kDriveIcon;
    case TShellNode::Kind::Folder:
      if (overlay) return kFolderLinkIcon;
      return node->isExpanded() ? kFolderOpenIcon : kFolderIcon;
    case TShellNode::Kind::File: return overlay ? kFileLinkIcon : kFileIcon;
    case TShellNode::Kind::Pending: return kNoIcon;
  }
  return kNoIcon;
}

void TShellTree::showEvent(QShowEvent* event) {
  QTreeWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (!window_created_) {
    window_created_ = true;
    RebuildTree(Rebuild::Plain);
    if (!pending_path_.isEmpty()) {
      const QString path = pending_path_;
      pending_path_.clear();
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
    root_node_ = nullptr;
    clear();
  }
  BuildRoot();
  if (mode == Rebuild::KeepPath && !keep.isEmpty()) SetPath(keep);
}

void TShellTree::BuildRoot() {
  LoadSystemImages();
  std::string rootPath;
  if (root_use_pidl_) {
    rootPath = SpecialFolderPath(root_pidl_);
  } else {
    rootPath = root_dir_;  // normalised when it was written
    if (rootPath.empty()) rootPath.assign(1, kPathSeparator);
  }
  const bool isVirtual = rootPath.empty();
  auto* root = new TShellNode(
      this, isVirtual ? TShellNode::Kind::VirtualRoot : TShellNode::Kind::Folder, rootPath);
  root->ItemAttributes =
      kFolderAttributes | SFGAO_HASSUBFOLDER | (isVirtual ? 0u : std::uint32_t(SFGAO_FILESYSTEM));
  root->setText(0, root->GetDisplayText());
  root->UpdateImages();
  root->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  addTopLevelItem(root);
  root_node_ = root;
  expand_allowed_ = true;
  ExpandNode(root);
  setCurrentItem(root);
  if (!root_use_pidl_) root_dir_ = root->Path();
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
// Properties

void TShellTree::SetShowVirtualFolders(bool on) {
  if (on == show_virtual_folders_) return;
  show_virtual_folders_ = on;
  if (window_created_) RefreshTree();
}

void TShellTree::SetShowSharedOverlay(bool on) {
  if (on == show_shared_overlay_) return;
  show_shared_overlay_ = on;
  RefreshTree();
}

void TShellTree::SetShowLinkOverlay(bool on) {
  if (on == show_link_overlay_) return;
  show_link_overlay_ = on;
  ForEachNode([](TShellNode* node) { node->UpdateImages(); });
  RefreshTree();
}

void TShellTree::SetRootUsePIDL(bool on) {
  if (on == root_use_pidl_) return;
  root_use_pidl_ = on;
  if (window_created_) RebuildTree(Rebuild::Plain);
}

void TShellTree::SetRootPIDL(TPidls root) {
  if (root == root_pidl_) return;
  root_pidl_ = root;
  if (window_created_ && root_use_pidl_) RebuildTree(Rebuild::RootChanged);
}

QString TShellTree::RootDir() const { return ui::FromBytes(root_dir_); }

void TShellTree::SetRootDir(const QString& folder) {
  // Finding the existing folder waits on its volume: a worker does it. An answer that comes
  // late still moves the root, unless a later RootDir was written meanwhile.
  const std::string wanted = ui::ToBytes(folder);
  const std::uint64_t request = ++root_request_;
  const std::string lane = LaneOf(CleanPath(wanted));
  const std::uint64_t ticket = work_->Post(lane, [this, wanted, request] {
    const std::string normalized = NormalizeTreePath(wanted);
    return BlockingWork::Answer([this, normalized, request] {
      if (request != root_request_ || normalized.empty() || normalized == root_dir_) return;
      root_dir_ = normalized;
      if (window_created_ && !root_use_pidl_) RebuildTree(Rebuild::KeepPath);
    });
  });
  WaitForAnswer(ticket, lane);
}

void TShellTree::SetOptions(TVisOptions options) {
  if (options == options_) return;
  std::uint32_t filter = kNotifyAttributes;
  if (options & TF_FOLDERS) filter |= kNotifyDirName;
  if (options & TF_NONFOLDERS) filter |= kNotifyFileName;
  if (filter != notify_filter_) ChangeNotifyFilter(filter);
  options_ = options;
  if (window_created_) RefreshTree();
}

void TShellTree::SetShowIcons(bool on) {
  if (on == show_icons_) return;
  show_icons_ = on;
  ForEachNode([](TShellNode* node) { node->UpdateImages(); });
}

QString TShellTree::FileMask() const { return ui::FromBytes(JoinFileMask(mask_list_)); }

void TShellTree::SetFileMask(const QString& mask) {
  mask_list_ = ParseFileMask(ui::ToBytes(mask));
  if (window_created_ && (options_ & TF_NONFOLDERS)) RefreshTree();
}

void TShellTree::SetFileMaskUse(bool on) {
  if (on == file_mask_use_) return;
  file_mask_use_ = on;
  if (window_created_ && (options_ & TF_NONFOLDERS)) RefreshTree();
}

void TShellTree::SetFileSortType(TFileSortType type) {
  if (type == file_sort_type_) return;
  file_sort_type_ = type;
  SortAgain();
}

void TShellTree::SetFileSortOrder(TFileSortOrder order) {
  if (order == file_sort_order_) return;
  file_sort_order_ = order;
  SortAgain();
}

void TShellTree::SetCheckBoxes(bool on) {
  if (on == check_boxes_) return;
  check_boxes_ = on;
  doItemsLayout();
  viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Editing, menus, mouse

bool TShellTree::CanEdit(TShellNode* node) const {
  return node && !read_only_ && (node->ItemAttributes & SFGAO_CANRENAME);
}

void TShellTree::Edit(TShellNode* node, const QString& text) {
  if (!node || text.isEmpty()) return;
  QString name = text;
  emit OnEdited(node, name);
  if (name.isEmpty() || name == node->text(0)) return;
  const std::string oldPath = node->Path();
  std::string newName;
  // The renaming waits on the folder's volume: a worker does it, and the node follows when
  // it answers (at once, unless the volume is slow).
  const bool allowed = node->MayTake(name, newName);
  const std::string newPath = allowed ? JoinPath(node->ParentNode()->Path(), newName) : "";
  const std::uint64_t serial = node->serial_;
  const std::string lane = LaneOf(oldPath);
  const std::uint64_t ticket = work_->Post(lane, [=, this]() -> BlockingWork::Answer {
    const bool renamed = allowed && RenameNoReplace(oldPath, newPath);
    return [=, this] {
      TShellNode* edited = NodeBySerial(serial);
      if (!edited) return;
      if (!renamed) {
        if (OwnerWindow())
          ui::ShowError(tr("Can not rename %1 to %2").arg(ui::FromBytes(oldPath), name));
        return;
      }
      edited->TakeName(newName);
      edited->setText(0, edited->GetDisplayText());
      if (TShellNode* parentNode = edited->ParentNode()) SortChildrenOf(parentNode);
      emit OnChange(edited);
    };
  });
  WaitForAnswer(ticket, lane);
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
  if (popup_menu_mode_ == pmm_PopupMenu) {
    if (!popup_menu_) return;
    popup_menu_->setProperty("PopupComponent", QVariant::fromValue<QObject*>(this));
    popup_menu_->popup(global);
    return;
  }
  // The tree leaves the rename request unused, as it does not rename from that menu.
  ShowShellContextMenu(OwnerWindow(), ui::FromBytes(node->Path()), node->IsFolder(), global,
                       [this, node](QMenu*& menu) { emit OnSystemContextMenu(node, menu); });
}

void TShellTree::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && !right_click_select_) {
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
}

void TShellTree::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit OnClick();
}

// Deltas add up, so high-resolution wheels and touchpads scroll too: every 120 (one notch of
// a plain wheel) scrolls a page; turning the other way starts afresh.
void TShellTree::wheelEvent(QWheelEvent* event) {
  event->accept();
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  if ((wheel_rest_ > 0) != (delta > 0)) wheel_rest_ = 0;
  wheel_rest_ += delta;
  for (; wheel_rest_ >= 120; wheel_rest_ -= 120)
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
  for (; wheel_rest_ <= -120; wheel_rest_ += 120)
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
}

}  // namespace quillon
