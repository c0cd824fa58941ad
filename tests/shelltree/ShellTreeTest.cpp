// The folder tree over folders made in a temporary folder, on the offscreen platform.
#include <sys/mount.h>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "shelltree/ItemProp.h"
#include "shelltree/ShellTree.h"
#include "shelltree/TreeTestSupport.h"
#include "support/EventSync.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"

using namespace quillon;
using namespace quillon::testing;
namespace fs = std::filesystem;

namespace {

int InotifyInstances() {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(entry.path(), error).string() == "anon_inode:inotify") ++count;
  }
  return count;
}

}  // namespace

class ShellTreeTest : public QObject {
  Q_OBJECT

 private slots:
  void publishedPropertiesStartAtTheirDefaults();
  void foldersAreReadOnlyWhenExpanded();
  void refreshKeepsExpandedNodesAndSelection();
  void pathWritesSelectTheRightNode();
  void writingTheSamePathRaisesNoChange();
  void nodesAreFoundOnlyWhereTheTreeReaches();
  void pathWrittenBeforeShowingWaits();
  void virtualRootShowsHomeAndVolumes();
  void subfolderChangesShowUpWithoutUserAction();
  void firstSubfolderBringsTheExpandButton();
  void filesInWatchedFoldersCauseNoRereadWhenListingFolders();
  void listedFilesAreWatchedToo();
  void collapsingAndDestructionEndTheWatches();
  void watchingOffStartsNoWatch();
  void masksAndSortOrdersListTheRightFiles();
  void hiddenEntriesAndRefusedFolders();
  void popupMenuShowsOnlyOverNodesAndKeepsSelection();
  void systemMenuReportsRenameWithoutRenaming();
  void systemMenuHintsFollowTheCommands();
  void renamingInPlace();
  void renamedFoldersKeepTheirWatches();
  void checkBoxesReportChanges();
  void volumesComingAndGoing();
  void realMountsAreNoticedWithoutPolling();
};

void ShellTreeTest::publishedPropertiesStartAtTheirDefaults() {
  TShellTree tree;
  const std::vector<std::pair<const char*, QVariant>> defaults = {
      {"UseShellCache", false},  {"ShowVirtualFolders", true}, {"ShowSharedOverlay", true},
      {"ShowLinkOverlay", true}, {"RootUsePIDL", true},        {"RootDir", "/"},
      {"Path", QString()},       {"UpdAutoThread", true},      {"UpdAuto", true},
      {"UpdAutoRec", false},     {"ShowIcons", true},          {"FileMask", "*.*"},
      {"FileMaskUse", false},    {"ShowMessages", true},       {"CheckBoxes", false},
      {"ReadOnly", false},       {"RightClickSelect", false}};
  for (const auto& [name, value] : defaults) {
    const QVariant actual = tree.property(name);
    QVERIFY2(actual.isValid(), name);
    QVERIFY2(actual == value, name);
  }
  QCOMPARE(tree.property("RootPIDL").toInt(), int(TShellTree::PIDL_DESKTOP));
  QCOMPARE(tree.property("Options").toInt(), int(TShellTree::TF_FOLDERS));
  QCOMPARE(tree.property("FileSortType").toInt(), int(TShellTree::so_Name));
  QCOMPARE(tree.property("FileSortOrder").toInt(), int(TShellTree::so_Ascending));
  QCOMPARE(tree.property("PopupMenuMode").toInt(), int(TShellTree::pmm_System));
  QCOMPARE(tree.NotifyFilter(), std::uint32_t(6));
  tree.SetOptions(TShellTree::TF_FOLDERS | TShellTree::TF_NONFOLDERS);
  QCOMPARE(tree.NotifyFilter(), std::uint32_t(7));
  tree.SetOptions(TShellTree::TF_NONFOLDERS);
  QCOMPARE(tree.NotifyFilter(), std::uint32_t(5));
  tree.SetOptions(TShellTree::TF_HIDDEN);
  QCOMPARE(tree.NotifyFilter(), std::uint32_t(4));
  QCOMPARE(tree.size(), QSize(170, 270));
  QVERIFY(tree.setProperty("Indent", 19));
  QCOMPARE(tree.indentation(), 19);
}

void ShellTreeTest::foldersAreReadOnlyWhenExpanded() {
  TempDir dir;
  fs::create_directories(dir / "a/b/c");
  fs::create_directories(dir / "d");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* root = tree->RootNode();
  QVERIFY(root);
  QCOMPARE(Q(root->Path()), Q(dir.path()));
  QCOMPARE(ChildNames(root), QStringList({"a", "d"}));
  TShellNode* a = ChildNamed(root, "a");
  QCOMPARE(a->childCount(), 0);  // not read before it expands
  tree->UpdateExpandButtons();
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(a->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
  QCOMPARE(ChildNamed(root, "d")->childIndicatorPolicy(),
           QTreeWidgetItem::DontShowIndicatorWhenChildless);
  QCOMPARE(a->childCount(), 0);  // deciding the button reads nothing into the tree
  tree->expandItem(a);
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(ChildNames(a), QStringList({"b"}));
  QCOMPARE(ChildNamed(a, "b")->childCount(), 0);
}

void ShellTreeTest::refreshKeepsExpandedNodesAndSelection() {
  TempDir dir;
  fs::create_directories(dir / "a/b/c");
  fs::create_directories(dir / "a/m");
  fs::create_directories(dir / "gone");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetUpdAutoThread(false);  // only the explicit refresh may change the tree
  tree->SetPath(Q(dir / "a/b/c"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* a = ChildNamed(tree->RootNode(), "a");
  TShellNode* b = ChildNamed(a, "b");
  TShellNode* c = ChildNamed(b, "c");
  QVERIFY(c);
  QCOMPARE(tree->Selected(), c);

  fs::create_directories(dir / "a/new");
  fs::create_directories(dir / "a/B2");
  fs::remove(dir / "gone");
  tree->RefreshTree();
  QVERIFY(tree->Settle(kGuardMs));

  QCOMPARE(ChildNamed(tree->RootNode(), "a"), a);
  QCOMPARE(ChildNamed(a, "b"), b);
  QCOMPARE(ChildNamed(b, "c"), c);
  QVERIFY(a->isExpanded());
  QVERIFY(b->isExpanded());
  QCOMPARE(tree->Selected(), c);
  QCOMPARE(tree->Path(), Q(dir / "a/b/c"));
  QCOMPARE(ChildNames(a), QStringList({"b", "B2", "m", "new"}));
  QCOMPARE(ChildNames(tree->RootNode()), QStringList({"a"}));

  // Expanding again re-reads (UpdAuto) and keeps what is below.
  fs::create_directories(dir / "a/b/later");
  tree->collapseItem(a);
  tree->expandItem(a);
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(ChildNamed(a, "b"), b);
  QVERIFY(b->isExpanded());
  tree->collapseItem(b);
  tree->expandItem(b);
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(ChildNames(b), QStringList({"c", "later"}));
  QCOMPARE(tree->Selected(), c);
}

void ShellTreeTest::pathWritesSelectTheRightNode() {
  TempDir dir;
  fs::create_directories(dir / "a/b");
  fs::create_directories(dir / "z");
  auto tree = TreeAt(dir / "a");
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a"));

  tree->SetPath(Q(dir / "a/b"));
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a/b"));
  QCOMPARE(Q(tree->Selected()->RelativeId()), QString("b"));

  tree->SetPath(Q(dir.path() + "/a/"));
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a"));
  QCOMPARE(tree->Selected(), tree->RootNode());

  tree->SetPath(Q(dir.path() + "/a/b/"));
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a/b"));

  tree->SetPath(Q(dir / "a"));
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir / "a/b/missing/deeper"));
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a/b"));

  tree->SetPath("a/b");
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a/b"));
  tree->SetPath("");
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a/b"));

  // Outside the root folder nothing holds the path.
  tree->SetPath(Q(dir / "z"));
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a/b"));

  // Under the virtual root, a path on no volume of the mount table.
  TempDir tables;
  const std::string table =
      tables.Write("mountinfo", "30 1 8:2 / " + (dir / "a") + " rw - ext4 /dev/sdz1 rw\n");
  TShellTree rooted;
  rooted.SetMountTable(Q(table));
  rooted.show();
  rooted.SetPath(Q(dir / "a/b"));
  QTRY_COMPARE_WITH_TIMEOUT(rooted.Path(), Q(dir / "a/b"), kGuardMs);
  rooted.SetPath(Q(dir / "z"));
  QTRY_COMPARE_WITH_TIMEOUT(rooted.Path(), Q(dir / "a/b"), kGuardMs);
  rooted.SetPath("/");
  QTRY_COMPARE_WITH_TIMEOUT(rooted.Path(), Q(dir / "a/b"), kGuardMs);
}

void ShellTreeTest::writingTheSamePathRaisesNoChange() {
  TempDir dir;
  fs::create_directories(dir / "a/b");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  QSignalSpy changes(tree.get(), &TShellTree::OnChange);
  tree->SetPath(Q(dir / "a/b"));
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(changes.count(), 1);
  tree->SetPath(Q(dir / "a/b"));
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir.path() + "/a/b/"));
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(changes.count(), 1);
  tree->SetPath(Q(dir / "a"));
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(changes.count(), 2);
}

void ShellTreeTest::nodesAreFoundOnlyWhereTheTreeReaches() {
  TempDir dir;
  fs::create_directories(dir / ".hidden/x");
  fs::create_directories(dir / "shut/inner/deep");
  fs::create_directories(dir / "open");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  const std::vector<std::string> hidden{dir.path(), ".hidden", "x"};
  QCOMPARE(tree->FindNodeByIdList(hidden, true, true, true), nullptr);
  QCOMPARE(tree->FindNodeByIdList(hidden, true, true, false), tree->RootNode());
  tree->SetPath(Q(dir / ".hidden/x"));  // the nearest node shown is the root
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Selected(), tree->RootNode());

  // Below a node that refuses to expand nothing is found, not even the deepest node reached.
  tree->SetPath(Q(dir / "open"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* open = tree->Selected();
  connect(tree.get(), &TShellTree::OnExpanding, this,
          [](TShellNode* node, bool& allow) { allow = node->RelativeId() != "inner"; });
  const std::vector<std::string> deep{dir.path(), "shut", "inner", "deep"};
  QCOMPARE(tree->FindNodeByIdList(deep, true, true, false), nullptr);
  tree->SetPath(Q(dir / "shut/inner/deep"));
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Selected(), open);
  QTRY_VERIFY_WITH_TIMEOUT(tree->FindNodeByIdList({dir.path(), "shut", "inner"}, true, true, true),
                           kGuardMs);

  // From the selection, only lists below it are found.
  tree->setCurrentItem(ChildNamed(tree->RootNode(), "shut"));
  QCOMPARE(tree->FindNodeByIdList({dir.path(), "open"}, true, false, false), nullptr);
  QCOMPARE(tree->FindNodeByIdList({dir.path(), "shut", "inner"}, true, false, true),
           ChildNamed(ChildNamed(tree->RootNode(), "shut"), "inner"));
}

void ShellTreeTest::pathWrittenBeforeShowingWaits() {
  TempDir dir;
  fs::create_directories(dir / "a/b");
  TShellTree tree;
  tree.SetRootUsePIDL(false);
  tree.SetRootDir(Q(dir.path()));
  tree.SetPath(Q(dir / "a/b"));
  QVERIFY(tree.Settle(kGuardMs));
  QCOMPARE(tree.PendingPath(), Q(dir / "a/b"));
  QVERIFY(!tree.RootNode());
  tree.show();
  QVERIFY(tree.PendingPath().isEmpty());
  QCOMPARE(tree.Path(), Q(dir / "a/b"));
}

void ShellTreeTest::virtualRootShowsHomeAndVolumes() {
  TShellTree tree;
  tree.show();
  TShellNode* root = tree.RootNode();
  QCOMPARE(root->kind(), TShellNode::Kind::VirtualRoot);
  QTRY_COMPARE_WITH_TIMEOUT(tree.Path(), QString(), kGuardMs);
  QVERIFY(root->childCount() >= 2);
  QCOMPARE(root->ChildNode(0)->kind(), TShellNode::Kind::Home);
  QCOMPARE(Q(root->ChildNode(0)->Path()), QDir::homePath());
  QCOMPARE(root->ChildNode(1)->RelativeId(), std::string("/"));
  // The home folder is reached through the volume that holds it, not through the shortcut.
  tree.SetPath(QDir::homePath());
  QTRY_COMPARE_WITH_TIMEOUT(tree.Path(), QDir::homePath(), kGuardMs);
  QVERIFY(tree.Selected()->kind() != TShellNode::Kind::Home);
  tree.SetPath("/");
  QTRY_COMPARE_WITH_TIMEOUT(tree.Path(), QString("/"), kGuardMs);
}

void ShellTreeTest::subfolderChangesShowUpWithoutUserAction() {
  TempDir dir;
  fs::create_directories(dir / "a/keep");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir / "a"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* a = tree->Selected();
  QVERIFY(tree->IsMonitored(a));

  fs::create_directories(dir / "a/fresh");
  QTRY_VERIFY_WITH_TIMEOUT(ChildNamed(a, "fresh"), kGuardMs);
  fs::rename(dir / "a/fresh", dir / "a/renamed");
  QTRY_VERIFY_WITH_TIMEOUT(ChildNamed(a, "renamed") && !ChildNamed(a, "fresh"), kGuardMs);
  fs::remove(dir / "a/renamed");
  QTRY_VERIFY_WITH_TIMEOUT(!ChildNamed(a, "renamed"), kGuardMs);
  QCOMPARE(ChildNames(a), QStringList({"keep"}));
  QCOMPARE(tree->Selected(), a);
}

void ShellTreeTest::firstSubfolderBringsTheExpandButton() {
  TempDir dir;
  fs::create_directories(dir / "leaf");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* leaf = ChildNamed(tree->RootNode(), "leaf");
  tree->UpdateExpandButtons();
  QVERIFY(tree->Settle(kGuardMs));
  QVERIFY(tree->IsMonitored(leaf));
  QCOMPARE(leaf->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
  QCOMPARE(leaf->childCount(), 0);
  fs::create_directories(dir / "leaf/first");
  QTRY_COMPARE_WITH_TIMEOUT(leaf->childCount(), 1, kGuardMs);
  QVERIFY(!leaf->isExpanded());

  // A collapsed folder read earlier whose last subfolder went while nothing watched it loses
  // its button and its old children when it shows again, and is watched again.
  fs::create_directories(dir / "outer/mid/old");
  tree->RefreshTree();
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir / "outer/mid"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* outer = ChildNamed(tree->RootNode(), "outer");
  TShellNode* mid = ChildNamed(outer, "mid");
  QVERIFY(mid);
  tree->collapseItem(mid);
  tree->collapseItem(outer);
  QVERIFY(!tree->IsMonitored(mid));
  fs::remove(dir / "outer/mid/old");
  tree->expandItem(outer);
  QVERIFY(tree->Settle(kGuardMs));
  tree->UpdateExpandButtons();
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(mid->childCount(), 0);
  QVERIFY(tree->IsMonitored(mid));
  fs::create_directories(dir / "outer/mid/again");
  QTRY_COMPARE_WITH_TIMEOUT(mid->childCount(), 1, kGuardMs);
}

void ShellTreeTest::filesInWatchedFoldersCauseNoRereadWhenListingFolders() {
  TempDir dir;
  fs::create_directories(dir / "a/sub");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir / "a"));
  QVERIFY(tree->Settle(kGuardMs));
  int reads = 0;  // each read offers every folder it meets
  connect(tree.get(), &TShellTree::OnDirAdd, this,
          [&](const QString&, quint32, bool&) { ++reads; });
  Touch(dir / "a/file.txt");
  fs::rename(dir / "a/file.txt", dir / "a/file2.txt");
  fs::remove(dir / "a/file2.txt");
  QVERIFY(tree->Settle(kGuardMs));  // every report handled: none led to a reading
  QCOMPARE(reads, 0);
  fs::create_directories(dir / "a/other");
  QTRY_VERIFY_WITH_TIMEOUT(reads > 0, kGuardMs);
}

void ShellTreeTest::listedFilesAreWatchedToo() {
  TempDir dir;
  fs::create_directories(dir / "a");
  auto tree = TreeAt(dir.path(), TShellTree::TF_FOLDERS | TShellTree::TF_NONFOLDERS);
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir / "a"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* a = tree->Selected();
  QCOMPARE(a->childCount(), 0);
  Touch(dir / "a/new.txt");
  QTRY_VERIFY_WITH_TIMEOUT(ChildNamed(a, "new.txt"), kGuardMs);
  QCOMPARE(ChildNamed(a, "new.txt")->kind(), TShellNode::Kind::File);

  // Switching to folders only stops the file reports of the running watch.
  tree->SetOptions(TShellTree::TF_FOLDERS);
  QCOMPARE(a->childCount(), 0);
  int reads = 0;
  connect(tree.get(), &TShellTree::OnDirAdd, this,
          [&](const QString&, quint32, bool&) { ++reads; });
  Touch(dir / "a/more.txt");
  QVERIFY(tree->Settle(kGuardMs));  // every report handled: none led to a reading
  QCOMPARE(reads, 0);
}

void ShellTreeTest::collapsingAndDestructionEndTheWatches() {
  TempDir dir;
  fs::create_directories(dir / "a/b/c");
  const int before = InotifyInstances();
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(InotifyInstances(), before + 1);  // one notification instance for the tree
  tree->SetPath(Q(dir / "a/b/c"));
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir.path()));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* a = ChildNamed(tree->RootNode(), "a");
  TShellNode* b = ChildNamed(a, "b");
  QVERIFY(tree->IsMonitored(a));
  QVERIFY(tree->IsMonitored(b));
  tree->collapseItem(a);
  QVERIFY(tree->IsMonitored(a));
  QVERIFY(!tree->IsMonitored(b));
  fs::create_directories(dir / "a/b/x");
  QVERIFY(tree->Settle(kGuardMs));  // every report handled: none led to a reading
  QVERIFY(!ChildNamed(b, "x"));
  // Expanding again brings the watches below back.
  tree->expandItem(a);
  QVERIFY(tree->Settle(kGuardMs));
  QVERIFY(ChildNamed(b, "x"));
  QVERIFY(tree->IsMonitored(b));

  // A node's watch ends with the node.
  fs::create_directories(dir / "a/b/x/y");
  tree->SetPath(Q(dir / "a/b/x"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* x = tree->Selected();
  QVERIFY(tree->IsMonitored(x));
  fs::remove_all(dir / "a/b/x");
  QTRY_VERIFY_WITH_TIMEOUT(!ChildNamed(b, "x"), kGuardMs);

  tree.reset();
  QCOMPARE(InotifyInstances(), before);
}

void ShellTreeTest::watchingOffStartsNoWatch() {
  TempDir dir;
  fs::create_directories(dir / "a");
  TShellTree tree;
  tree.SetRootUsePIDL(false);
  tree.SetRootDir(Q(dir.path()));
  tree.SetUpdAutoThread(false);
  tree.show();
  QVERIFY(!tree.IsMonitored(tree.RootNode()));
  fs::create_directories(dir / "b");
  QVERIFY(tree.Settle(kGuardMs));  // every report handled: none led to a reading
  QCOMPARE(ChildNames(tree.RootNode()), QStringList({"a"}));
  tree.RefreshTree();
  QVERIFY(tree.Settle(kGuardMs));
  QCOMPARE(ChildNames(tree.RootNode()), QStringList({"a", "b"}));

  // Reports of a running watch are ignored while watching is off.
  tree.SetUpdAutoThread(true);
  tree.RefreshTree();
  QVERIFY(tree.Settle(kGuardMs));
  QVERIFY(tree.IsMonitored(tree.RootNode()));
  tree.SetUpdAutoThread(false);
  fs::create_directories(dir / "c");
  QVERIFY(tree.Settle(kGuardMs));  // every report handled: none led to a reading
  QCOMPARE(ChildNames(tree.RootNode()), QStringList({"a", "b"}));
}

void ShellTreeTest::masksAndSortOrdersListTheRightFiles() {
  TempDir dir;
  fs::create_directories(dir / "folder");
  fs::create_directories(dir / "Zfolder");
  dir.Write("b.txt", "12345");
  dir.Write("a.LOG", "1");
  dir.Write("c.doc", "123");
  dir.Write("d.txt.txt", "12");
  dir.Write("e.log", "1234");
  auto tree = TreeAt(dir.path(), TShellTree::TF_FOLDERS | TShellTree::TF_NONFOLDERS);
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* root = tree->RootNode();
  QCOMPARE(ChildNames(root),
           QStringList({"folder", "Zfolder", "a.LOG", "b.txt", "c.doc", "d.txt.txt", "e.log"}));

  tree->SetFileMask("*.txt; *.log");
  QCOMPARE(tree->FileMask(), QString("*.txt;*.log"));
  QCOMPARE(root->childCount(), 7);  // the mask is not in use yet
  tree->SetFileMaskUse(true);
  QCOMPARE(ChildNames(root),
           QStringList({"folder", "Zfolder", "a.LOG", "b.txt", "d.txt.txt", "e.log"}));

  tree->SetFileSortOrder(TShellTree::so_Descending);
  QCOMPARE(ChildNames(root),
           QStringList({"folder", "Zfolder", "e.log", "d.txt.txt", "b.txt", "a.LOG"}));
  tree->SetFileSortType(TShellTree::so_Size);
  QCOMPARE(ChildNames(root),
           QStringList({"folder", "Zfolder", "b.txt", "e.log", "d.txt.txt", "a.LOG"}));
  tree->SetFileSortOrder(TShellTree::so_Ascending);
  tree->SetFileSortType(TShellTree::so_Type);
  QCOMPARE(ChildNames(root),
           QStringList({"folder", "Zfolder", "a.LOG", "e.log", "b.txt", "d.txt.txt"}));

  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24);
  fs::last_write_time(dir / "e.log", old);
  fs::last_write_time(dir / "d.txt.txt", old - std::chrono::hours(1));
  tree->RefreshTree();
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetFileSortType(TShellTree::so_Date);
  QCOMPARE(ChildNames(root).mid(2, 2), QStringList({"d.txt.txt", "e.log"}));

  tree->SetFileMask("");
  QCOMPARE(tree->FileMask(), QString("*.*"));
  QCOMPARE(root->childCount(), 7);
}

void ShellTreeTest::hiddenEntriesAndRefusedFolders() {
  TempDir dir;
  fs::create_directories(dir / ".hidden");
  fs::create_directories(dir / "shown");
  fs::create_directories(dir / "xrefused");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(ChildNames(tree->RootNode()), QStringList({"shown", "xrefused"}));
  tree->SetOptions(TShellTree::TF_FOLDERS | TShellTree::TF_HIDDEN);
  QCOMPARE(ChildNames(tree->RootNode()), QStringList({".hidden", "shown", "xrefused"}));
  QStringList offered;
  connect(tree.get(), &TShellTree::OnDirAdd, this,
          [&](const QString& name, quint32 attributes, bool& allow) {
            offered << name;
            QVERIFY(attributes & quillon::SFGAO_FOLDER);
            if (name.endsWith("/xrefused")) allow = false;
          });
  tree->RefreshTree();
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(ChildNames(tree->RootNode()), QStringList({".hidden", "shown"}));
  QVERIFY(offered.contains(Q(dir / "xrefused")));
}

void ShellTreeTest::popupMenuShowsOnlyOverNodesAndKeepsSelection() {
  TempDir dir;
  fs::create_directories(dir / "a");
  fs::create_directories(dir / "b");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  QMenu menu;
  menu.addAction("Create folder");
  tree->SetPopupMenuMode(TShellTree::pmm_PopupMenu);
  tree->SetPopupMenu(&menu);
  tree->SetPath(Q(dir / "a"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* a = tree->Selected();
  TShellNode* b = ChildNamed(tree->RootNode(), "b");
  const QPoint onB = tree->visualItemRect(b).center();
  QTest::mousePress(tree->viewport(), Qt::RightButton, {}, onB);
  QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, onB);
  QCOMPARE(tree->Selected(), a);

  const QPoint empty(5, tree->viewport()->height() - 3);
  QVERIFY(!tree->itemAt(empty));
  QContextMenuEvent onEmpty(QContextMenuEvent::Mouse, empty, tree->viewport()->mapToGlobal(empty));
  QApplication::sendEvent(tree->viewport(), &onEmpty);
  QVERIFY(!menu.isVisible());

  QContextMenuEvent onNode(QContextMenuEvent::Mouse, onB, tree->viewport()->mapToGlobal(onB));
  QApplication::sendEvent(tree->viewport(), &onNode);
  QVERIFY(menu.isVisible());
  QCOMPARE(menu.property("PopupComponent").value<QObject*>(), tree.get());
  QCOMPARE(tree->Selected(), a);
  menu.hide();

  bool refuse = true;
  connect(tree.get(), &TShellTree::OnPopupMenu, this,
          [&](TShellNode*, bool& allow) { allow = !refuse; });
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), QPoint());
  QApplication::sendEvent(tree->viewport(), &key);
  QVERIFY(!menu.isVisible());
  refuse = false;
  tree->resize(600, 270);  // rows much wider than their labels
  QApplication::sendEvent(tree->viewport(), &key);
  QVERIFY(menu.isVisible());
  // From the keyboard the menu opens inside the node's label (icon and caption), not merely
  // inside its row.
  const QRect row = tree->visualItemRect(a);
  const QPoint at = tree->viewport()->mapFromGlobal(menu.pos());
  QVERIFY(row.contains(at));
  QVERIFY(at.x() < row.left() + tree->sizeHintForIndex(tree->indexFromItem(a)).width());
  menu.hide();

  tree->SetRightClickSelect(true);
  QTest::mousePress(tree->viewport(), Qt::RightButton, {}, onB);
  QCOMPARE(tree->Selected(), b);
}

void ShellTreeTest::systemMenuReportsRenameWithoutRenaming() {
  TempDir dir;
  fs::create_directories(dir / "a");
  RecordingSeam seam;
  // Picks the command once the modal menu runs; a menu left open is closed so no check hangs.
  auto pick = [](const QString& text) {
    QTimer::singleShot(50, [text] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      for (QAction* action : menu->actions()) {
        if (!text.isEmpty() && action->text() == text) {
          menu->setActiveAction(action);
          QTest::keyClick(menu, Qt::Key_Return);
        }
      }
      if (menu->isVisible()) QTest::keyClick(menu, Qt::Key_Escape);
      if (menu->isVisible()) menu->close();
    });
  };
  using quillon::ShowShellContextMenu;
  pick("Rena&me");
  auto result = ShowShellContextMenu(nullptr, Q(dir / "a"), true, QPoint(10, 10));
  QVERIFY(result.rename_requested);
  QVERIFY(result.carried_out);
  QVERIFY(fs::exists(dir / "a"));

  pick("");  // Escape
  result = ShowShellContextMenu(nullptr, Q(dir / "a"), true, QPoint(10, 10));
  QVERIFY(!result.carried_out);
  QVERIFY(!result.rename_requested);

  pick("&Copy path");
  result = ShowShellContextMenu(nullptr, Q(dir / "a"), true, QPoint(10, 10));
  QVERIFY(result.carried_out);
  QCOMPARE(QGuiApplication::clipboard()->text(), Q(dir / "a"));

  pick("&Open in file manager");
  result = ShowShellContextMenu(nullptr, Q(dir / "a"), true, QPoint(10, 10));
  QCOMPARE(seam.shellTargets, QStringList({Q(dir / "a")}));

  // From the tree: the rename command neither renames nor starts an edit.
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir / "a"));
  QVERIFY(tree->Settle(kGuardMs));
  pick("Rena&me");
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), QPoint());
  QApplication::sendEvent(tree->viewport(), &key);
  QVERIFY(fs::exists(dir / "a"));
  HandleQueuedEvents();  // an edit the command started would be open by now
  QVERIFY(!tree->findChild<QLineEdit*>());
}

void ShellTreeTest::systemMenuHintsFollowTheCommands() {
  TempDir dir;
  fs::create_directories(dir / "a");
  QMainWindow owner;
  owner.statusBar();
  owner.show();
  QString hintWhileOpen;
  QTimer::singleShot(50, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* action : menu->actions()) {
      if (action->text() == "&Copy path") menu->setActiveAction(action);
    }
    hintWhileOpen = owner.statusBar()->currentMessage();
    QTest::keyClick(menu, Qt::Key_Escape);
    if (menu->isVisible()) menu->close();
  });
  const auto result = quillon::ShowShellContextMenu(&owner, Q(dir / "a"), true, QPoint(10, 10));
  QVERIFY(!result.carried_out);
  QVERIFY(!hintWhileOpen.isEmpty());
  QCOMPARE(owner.statusBar()->currentMessage(), QString());
}

void ShellTreeTest::renamingInPlace() {
  TempDir dir;
  fs::create_directories(dir / "a/inner");
  fs::create_directories(dir / "m");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  RecordingSeam seam;
  tree->SetPath(Q(dir / "a/inner"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* a = ChildNamed(tree->RootNode(), "a");
  QVERIFY(tree->CanEdit(a));
  QVERIFY(!tree->CanEdit(tree->RootNode()));
  tree->SetReadOnly(true);
  QVERIFY(!tree->CanEdit(a));
  tree->SetReadOnly(false);

  QSignalSpy changes(tree.get(), &TShellTree::OnChange);
  tree->Edit(a, "z");
  QVERIFY(fs::exists(dir / "z/inner"));
  QCOMPARE(a->text(0), QString("z"));
  QCOMPARE(ChildNames(tree->RootNode()), QStringList({"m", "z"}));
  QCOMPARE(changes.count(), 1);
  QCOMPARE(tree->Path(), Q(dir / "z/inner"));
  QVERIFY(a->isExpanded());

  tree->Edit(a, "m");  // never over an existing folder
  QVERIFY(fs::exists(dir / "z/inner"));
  QCOMPARE(a->text(0), QString("z"));
  QCOMPARE(seam.boxes.size(), std::size_t(1));

  // Through the view's own editor: none while read-only, and Return renames.
  tree->SetReadOnly(true);
  tree->editItem(a);
  QVERIFY(!tree->findChild<QLineEdit*>());
  tree->SetReadOnly(false);
  tree->editItem(a);
  auto* editor = tree->findChild<QLineEdit*>();
  QVERIFY(editor);
  editor->setText("y");
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_VERIFY_WITH_TIMEOUT(fs::exists(dir / "y/inner"), kGuardMs);
  QCOMPARE(a->text(0), QString("y"));

  connect(tree.get(), &TShellTree::OnEdited, this,
          [](TShellNode*, QString& text) { text = text.toUpper(); });
  tree->Edit(a, "q");
  QVERIFY(fs::exists(dir / "Q"));
}

void ShellTreeTest::renamedFoldersKeepTheirWatches() {
  TempDir dir;
  fs::create_directories(dir / "a/inner");
  fs::create_directories(dir / "target");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir / "a/inner"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* a = ChildNamed(tree->RootNode(), "a");
  TShellNode* inner = ChildNamed(a, "inner");
  tree->Edit(a, "r");
  QVERIFY(fs::exists(dir / "r/inner"));
  QVERIFY(tree->IsMonitored(inner));

  // A link to a folder is told from a link to a file under the folder's new name.
  fs::create_directory_symlink(dir / "target", dir / "r/inner/link");
  QTRY_VERIFY_WITH_TIMEOUT(ChildNamed(inner, "link"), kGuardMs);

  // A new filter reaches the watch through the new name.
  tree->SetOptions(TShellTree::TF_FOLDERS | TShellTree::TF_NONFOLDERS);
  QVERIFY(tree->IsMonitored(inner));
  Touch(dir / "r/inner/late.txt");
  QTRY_VERIFY_WITH_TIMEOUT(ChildNamed(inner, "late.txt"), kGuardMs);
}

void ShellTreeTest::checkBoxesReportChanges() {
  TempDir dir;
  fs::create_directories(dir / "a");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* a = ChildNamed(tree->RootNode(), "a");
  QVERIFY(!a->data(0, Qt::CheckStateRole).isValid());
  tree->SetCheckBoxes(true);
  QCOMPARE(a->checkState(0), Qt::Unchecked);
  QSignalSpy spy(tree.get(), &TShellTree::OnCheckBoxChanged);
  a->setCheckState(0, Qt::Checked);
  QCOMPARE(spy.count(), 1);
  QCOMPARE(spy.at(0).at(1).toBool(), true);
  a->setCheckState(0, Qt::Checked);
  QCOMPARE(spy.count(), 1);
}

void ShellTreeTest::volumesComingAndGoing() {
  TempDir dir;
  fs::create_directories(dir / "usb/data");
  fs::create_directories(dir / "disk");
  const std::string rootLine = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n";
  const std::string usbLine = "40 1 8:17 / " + (dir / "usb") + " rw - vfat /dev/sdb1 rw\n";
  const std::string table = dir.Write("mountinfo", rootLine);
  TShellTree tree;
  tree.SetMountTable(Q(table));
  tree.show();
  TShellNode* root = tree.RootNode();
  QCOMPARE(ChildNames(root), QStringList({"~", "/"}));

  dir.Write("mountinfo", rootLine + usbLine);
  tree.DeviceChange();
  QCOMPARE(ChildNames(root), QStringList({"~", "/", Q(dir / "usb")}));
  tree.SetPath(Q(dir / "usb/data"));
  QTRY_COMPARE_WITH_TIMEOUT(tree.Path(), Q(dir / "usb/data"), kGuardMs);
  QTRY_COMPARE_WITH_TIMEOUT(tree.Selected()->ParentNode()->kind(), TShellNode::Kind::Volume,
                            kGuardMs);

  // The same folder reached through "/" is a mount point that changed: what was read below it
  // goes, and it is read again when it expands.
  // Each level found is read on the way, answering now or a moment later.
  TShellNode* viaRoot = nullptr;
  QTRY_VERIFY_WITH_TIMEOUT((viaRoot = tree.FindNodeByIdList({"/"}, true, true, true)), kGuardMs);
  std::vector<std::string> ids{"/"};
  std::vector<std::string> parts;
  quillon::ComponentsBelow("/", dir / "usb", parts);
  ids.insert(ids.end(), parts.begin(), parts.end());
  TShellNode* usbFolder = nullptr;
  QTRY_VERIFY_WITH_TIMEOUT((usbFolder = tree.FindNodeByIdList(ids, true, true, true)), kGuardMs);
  tree.expandItem(usbFolder);
  QTRY_COMPARE_WITH_TIMEOUT(usbFolder->childCount(), 1, kGuardMs);

  // Unmounted while the selection is on it: the selection moves once, to the folder left.
  tree.SetPath(Q(dir / "usb/data"));
  QTRY_COMPARE_WITH_TIMEOUT(tree.Selected()->ParentNode()->kind(), TShellNode::Kind::Volume,
                            kGuardMs);
  QSignalSpy changes(&tree, &TShellTree::OnChange);
  dir.Write("mountinfo", rootLine);
  tree.DeviceChange();
  QCOMPARE(ChildNames(root), QStringList({"~", "/"}));
  QTRY_COMPARE_WITH_TIMEOUT(tree.Selected(), usbFolder, kGuardMs);
  QCOMPARE(changes.count(), 1);
  QCOMPARE(usbFolder->childCount(), 0);
  QVERIFY(!usbFolder->isExpanded());
  tree.expandItem(usbFolder);
  QTRY_COMPARE_WITH_TIMEOUT(usbFolder->childCount(), 1, kGuardMs);

  // A refresh that reads the volumes before the change notice comes hides nothing from it.
  dir.Write("mountinfo", rootLine + usbLine);
  tree.RefreshTree();
  QCOMPARE(ChildNames(root), QStringList({"~", "/", Q(dir / "usb")}));
  tree.DeviceChange();
  QCOMPARE(usbFolder->childCount(), 0);
  QVERIFY(!usbFolder->isExpanded());
}

// Needs the right to mount (root in a container); skipped elsewhere.
void ShellTreeTest::realMountsAreNoticedWithoutPolling() {
  TempDir dir;
  fs::create_directories(dir / "source/inside");
  fs::create_directories(dir / "point");
  TShellTree tree;
  tree.show();
  TShellNode* root = tree.RootNode();
  const QString point = Q(dir / "point");
  QVERIFY(!ChildNames(root).contains(point));
  if (mount((dir / "source").c_str(), (dir / "point").c_str(), nullptr, MS_BIND, nullptr) != 0)
    QSKIP("mounting is not permitted here");
  struct Unmount {
    std::string point;
    bool done = false;
    void operator()() { done = done || umount(point.c_str()) == 0; }
    ~Unmount() { (*this)(); }
  } unmount{dir / "point"};
  QTRY_VERIFY_WITH_TIMEOUT(ChildNames(root).contains(point), kGuardMs);
  unmount();
  QTRY_VERIFY_WITH_TIMEOUT(!ChildNames(root).contains(point), kGuardMs);
}

QTEST_MAIN(ShellTreeTest)
#include "ShellTreeTest.moc"
