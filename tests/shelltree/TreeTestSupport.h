// Helpers of the folder tree's tests: trees rooted at temporary folders, shown offscreen, and
// their nodes found by name.
#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "shelltree/ShellTree.h"
#include "support/EventSync.h"

namespace quillon::testing {

inline QString Q(const std::string& text) { return QString::fromStdString(text); }

inline TShellNode* ChildNamed(TShellNode* node, const std::string& name) {
  for (int i = 0; node && i < node->childCount(); ++i) {
    if (node->ChildNode(i)->RelativeId() == name) return node->ChildNode(i);
  }
  return nullptr;
}

inline QStringList ChildNames(TShellNode* node) {
  QStringList names;
  for (int i = 0; i < node->childCount(); ++i) names << Q(node->ChildNode(i)->RelativeId());
  return names;
}

inline void Touch(const std::string& path) { std::ofstream(path) << "x"; }

// A tree rooted at a folder, shown offscreen.
inline std::unique_ptr<TShellTree> TreeAt(
    const std::string& root, TShellTree::TVisOptions options = TShellTree::TF_FOLDERS) {
  auto tree = std::make_unique<TShellTree>();
  tree->SetRootUsePIDL(false);
  tree->SetRootDir(Q(root));
  tree->SetOptions(options);
  tree->show();
  return tree;
}

// The folder watches the process holds, over all its change notification instances.
inline int WatchCount() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fdinfo")) {
    std::ifstream info(entry.path());
    for (std::string line; std::getline(info, line);) count += line.starts_with("inotify wd:");
  }
  return count;
}

}  // namespace quillon::testing
