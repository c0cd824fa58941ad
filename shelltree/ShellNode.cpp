#include "shelltree/ShellNode.h"

#include <algorithm>

#include "shelltree/ShellTree.h"
#include "util/FolderReading.h"
#include "util/Platform.h"
#include "util/ui/Seam.h"

namespace quillon {

TShellNode::TShellNode(TShellTree* tree, Kind kind, std::string id)
    : QTreeWidgetItem(UserType),
      tree_(tree),
      kind_(kind),
      id_(std::move(id)),
      serial_(tree->RegisterNode(this)) {
  if (kind == Kind::Pending) {
    setFlags(Qt::ItemIsEnabled);
  } else {
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
             Qt::ItemIsUserCheckable);
  }
  // A folder shows its expand button until a probe finds it has no subfolders.
  const bool leaf = kind == Kind::File || kind == Kind::Pending;
  setChildIndicatorPolicy(leaf ? DontShowIndicator : ShowIndicator);
  probed_ = leaf;
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
    case Kind::VirtualRoot:
    case Kind::Pending: return {};
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
  if (key == icon_key_) return;
  icon_key_ = key;
  setIcon(0, tree_->icons_[key]);
}

QString TShellNode::GetDisplayText() const {
  switch (kind_) {
    case Kind::VirtualRoot: return QObject::tr("Computer");
    case Kind::Home: return QObject::tr("Home");
    case Kind::Volume: {
      const auto volume = std::find_if(tree_->volumes_.begin(), tree_->volumes_.end(),
                                       [&](const Volume& v) { return v.mount_point == id_; });
      if (volume == tree_->volumes_.end() || IsRootPath(id_) || volume->label == volume->device)
        return ui::FromBytes(id_);
      return ui::FromBytes(volume->label) + " (" + ui::FromBytes(id_) + ")";
    }
    case Kind::Pending:
      return ParentNode() && ParentNode()->unavailable_ ? QObject::tr("Not answering")
                                                        : QObject::tr("Reading...");
    case Kind::Folder:
    case Kind::File: break;
  }
  if (ParentNode() || IsRootPath(id_)) return ui::FromBytes(id_);
  return ui::FromBytes(id_.substr(id_.rfind(kPathSeparator) + 1));
}

bool TShellNode::MayTake(const QString& newName, std::string& name) const {
  name = ui::ToBytes(newName);
  return ParentNode() && (kind_ == Kind::Folder || kind_ == Kind::File) && !name.empty() &&
         name != "." && name != ".." && name.find(kPathSeparator) == std::string::npos;
}

bool TShellNode::Rename(const QString& newName) {
  std::string name;
  if (!MayTake(newName, name)) return false;
  const std::string folder = ParentNode()->Path();
  if (!RenameNoReplace(JoinPath(folder, id_), JoinPath(folder, name))) return false;
  TakeName(name);
  return true;
}

void TShellNode::TakeName(const std::string& name) {
  id_ = name;
  sort_key_.reset();
  ItemAttributes = IsHiddenName(name) ? (ItemAttributes | SFGAO_HIDDEN)
                                      : (ItemAttributes & ~std::uint32_t(SFGAO_HIDDEN));
}

const QCollatorSortKey& TShellNode::SortKey() const {
  if (!sort_key_) sort_key_ = tree_->collator_.sortKey(text(0));
  return *sort_key_;
}

bool TShellNode::operator<(const QTreeWidgetItem& other) const {
  return tree_->CompareNodes(*this, static_cast<const TShellNode&>(other)) < 0;
}

QVariant TShellNode::data(int column, int role) const {
  if (role == Qt::CheckStateRole) {
    if (!tree_->check_boxes_ || column != 0) return {};
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

}  // namespace quillon
