// The order of the folder tree's children: the home shortcut, the volumes by mount point, then
// folders before files, names in the host's natural order (the user's locale, numbers by
// value, letter case aside), files by the chosen sort key.
#include <QLocale>

#include "shelltree/ShellTree.h"

namespace quillon {
namespace {

std::string_view ExtensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
}

}  // namespace

QCollator NameCollator() {
  // The C locale has no order of its own: names then follow the common one, as file managers'.
  QLocale locale = QLocale::system();
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
  QCollator collator(locale);
  collator.setNumericMode(true);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  collator.setIgnorePunctuation(false);
  return collator;
}

int TShellTree::CompareNodes(const TShellNode& a, const TShellNode& b) const {
  using Kind = TShellNode::Kind;
  // The home shortcut leads, the volumes follow by mount point ("/" first).
  if (a.kind() == Kind::Home || b.kind() == Kind::Home) return a.kind() == Kind::Home ? -1 : 1;
  if (a.kind() == Kind::Volume && b.kind() == Kind::Volume)
    return a.RelativeId().compare(b.RelativeId());
  const bool aFile = a.kind() == Kind::File, bFile = b.kind() == Kind::File;
  if (aFile != bFile) return aFile ? 1 : -1;
  int byName = a.SortKey().compare(b.SortKey());
  if (byName == 0) byName = a.RelativeId().compare(b.RelativeId());  // differing in case only
  if (!aFile) return byName;
  int result = 0;
  switch (file_sort_type_) {
    case so_Name: break;
    case so_Size: result = a.size_ < b.size_ ? -1 : (a.size_ > b.size_ ? 1 : 0); break;
    case so_Type: {
      const std::string_view x = ExtensionOf(a.RelativeId()), y = ExtensionOf(b.RelativeId());
      result = collator_.compare(QString::fromUtf8(x.data(), qsizetype(x.size())),
                                 QString::fromUtf8(y.data(), qsizetype(y.size())));
      break;
    }
    case so_Date:
      result = a.modified_ < b.modified_ ? -1 : (a.modified_ > b.modified_ ? 1 : 0);
      break;
  }
  if (result == 0) result = byName;
  return file_sort_order_ == so_Descending ? -result : result;
}

void TShellTree::SortChildrenOf(TShellNode* node) {
  for (int i = 1; i < node->childCount(); ++i) {
    if (*node->child(i) < *node->child(i - 1)) {
      node->sortChildren(0, Qt::AscendingOrder);
      return;
    }
  }
}

bool TShellTree::SortsByFileInfo() const {
  return (options_ & TF_NONFOLDERS) && (file_sort_type_ == so_Size || file_sort_type_ == so_Date);
}

void TShellTree::SortAgain() {
  // The readings take in the sizes and dates, and sort as they do.
  if (SortsByFileInfo() && window_created_) {
    RefreshTree();
    return;
  }
  ResortAll(root_node_);
}

void TShellTree::ResortAll(TShellNode* node) {
  if (!node) return;
  SortChildrenOf(node);
  for (int i = 0; i < node->childCount(); ++i) ResortAll(node->ChildNode(i));
}

}  // namespace quillon
