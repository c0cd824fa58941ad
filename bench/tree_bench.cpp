// The folder tree expanding a folder of 10,000 subfolders, and re-reading it unchanged,
// against a plain listing of the folder by its directory-entry types (the floor) and against
// Qt's QFileSystemModel in a QTreeView loading the same folder, all in one run on the
// offscreen platform. Each figure is the median of several rounds; the sides take turns at
// going first.
#include <dirent.h>
#include <QApplication>
#include <QFileSystemModel>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

#include "shelltree/ShellTree.h"
#include "support/TempDir.h"
#include "tree_liveness_bench.h"

using quillon::TShellNode;
using quillon::TShellTree;
using quillon::testing::TempDir;

namespace {

constexpr int kFolders = 10000;
constexpr int kRounds = 5;

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Require(bool condition, const char* what) {
  if (!condition) throw std::runtime_error(what);
}

int ListFolders(const std::string& folder) {
  int count = 0;
  DIR* dir = opendir(folder.c_str());
  Require(dir, "cannot open the folder");
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_type == DT_DIR && entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

struct TreeTimes {
  double expand, reread;
};

TreeTimes TreeRound(const std::string& parent, const std::string& big) {
  TShellTree tree;
  tree.SetRootUsePIDL(false);
  tree.SetRootDir(QString::fromStdString(parent));
  tree.resize(300, 600);
  tree.show();
  QApplication::processEvents();
  TShellNode* node = nullptr;
  for (int i = 0; i < tree.RootNode()->childCount(); ++i) {
    if (tree.RootNode()->ChildNode(i)->Path() == big) node = tree.RootNode()->ChildNode(i);
  }
  Require(node, "the big folder is not in the tree");
  TreeTimes times{};
  times.expand = Seconds([&] {
    tree.expandItem(node);
    QApplication::processEvents();
    Require(node->childCount() == kFolders, "the expansion missed folders");
  });
  times.reread = Seconds([&] {
    tree.RefreshChildren(node, false);
    QApplication::processEvents();
    Require(node->childCount() == kFolders, "the re-read lost folders");
  });
  return times;
}

double ModelRound(const std::string& big) {
  QFileSystemModel model;
  QTreeView view;
  view.setModel(&model);
  view.resize(300, 600);
  view.show();
  QApplication::processEvents();
  return Seconds([&] {
    const QModelIndex root = model.setRootPath(QString::fromStdString(big));
    view.setRootIndex(root);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (model.rowCount(root) < kFolders) {
      Require(std::chrono::steady_clock::now() < deadline, "the model did not finish loading");
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // tree-bench [NAME]: only the liveness cases whose names hold NAME.
  if (argc > 1) return RunTreeLivenessCases(argv[1]) ? 0 : 1;
  TempDir dir;
  const std::string big = dir / "big";
  std::filesystem::create_directory(big);
  for (int i = 0; i < kFolders; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%05d", (i * 7919) % kFolders);
    std::filesystem::create_directory(big + "/" + name);
  }
  Require(ListFolders(big) == kFolders, "the folders were not made");

  std::vector<double> floor, expand, reread, model;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::function<void()>> sides = {
        [&] { floor.push_back(Seconds([&] { Require(ListFolders(big) == kFolders, "floor"); })); },
        [&] {
          const TreeTimes times = TreeRound(dir.path(), big);
          expand.push_back(times.expand);
          reread.push_back(times.reread);
        },
        [&] { model.push_back(ModelRound(big)); }};
    std::rotate(sides.begin(), sides.begin() + round % sides.size(), sides.end());
    for (const auto& side : sides) side();
  }
  const double f = Median(floor), e = Median(expand), r = Median(reread), m = Median(model);
  std::printf("expand quillon=%.4f floor=%.4f qfsm=%.4f\n", e, f, m);
  std::printf("reread quillon=%.4f floor=%.4f qfsm=%.4f\n", r, f, m);
  bool ok = e <= m && r <= m;
  std::printf("%s: expansion %.1fx and re-read %.1fx the floor; QFileSystemModel %.1fx\n",
              ok ? "ok" : "SLOWER THAN QFileSystemModel", e / f, r / f, m / f);
  ok = RunTreeLivenessCases("") && ok;
  return ok ? 0 : 1;
}
