// The folder tree shows what is on the disk: folders by their identity, a selection that
// follows its folder, the host's order of names, wheels and touchpads, and the icons.
#include <QContextMenuEvent>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>
#include <filesystem>

#include "shelltree/TreeTestSupport.h"
#include "support/TempDir.h"

using namespace quillon;
using namespace quillon::testing;
namespace fs = std::filesystem;

class TreeTruthTest : public QObject {
  Q_OBJECT

 private slots:
  void aFolderMadeAgainIsANewFolder();
  void theSelectionMovesToTheNearestExistingFolder();
  void wheelDeltasAccumulate();
  void namesSortInNaturalOrder();
  void expandedFoldersShowOpenAndTheSystemMenuIsAnnounced();
};

void TreeTruthTest::aFolderMadeAgainIsANewFolder() {
  TempDir dir;
  fs::create_directories(dir / "x/old");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir / "x"));
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* x = tree->Selected();
  QVERIFY(tree->IsMonitored(x));
  QCOMPARE(ChildNames(x), QStringList{"old"});

  fs::remove_all(dir / "x");
  fs::create_directory(dir / "x");
  QVERIFY(tree->Settle(kGuardMs));
  TShellNode* again = ChildNamed(tree->RootNode(), "x");
  QVERIFY(again);
  QCOMPARE(again->childCount(), 0);  // the old children went with the old folder
  tree->expandItem(again);
  QVERIFY(tree->Settle(kGuardMs));
  QVERIFY(tree->Settle(kGuardMs));
  QVERIFY(tree->IsMonitored(again));
  fs::create_directory(dir / "x/new");
  QTRY_COMPARE_WITH_TIMEOUT(ChildNames(again), QStringList{"new"}, kGuardMs);

  // The root folder made again: the watch the host ended comes back with it.
  fs::create_directories(dir / "root/gone");
  auto rooted = TreeAt(dir / "root");
  QVERIFY(rooted->Settle(kGuardMs));
  QVERIFY(rooted->IsMonitored(rooted->RootNode()));
  fs::remove_all(dir / "root");
  fs::create_directory(dir / "root");
  QVERIFY(rooted->Settle(kGuardMs));
  QCOMPARE(rooted->RootNode()->childCount(), 0);
  QVERIFY(rooted->IsMonitored(rooted->RootNode()));
  fs::create_directory(dir / "root/back");
  QTRY_COMPARE_WITH_TIMEOUT(ChildNames(rooted->RootNode()), QStringList{"back"}, kGuardMs);
}

void TreeTruthTest::theSelectionMovesToTheNearestExistingFolder() {
  TempDir dir;
  fs::create_directories(dir / "a/b/c");
  fs::create_directories(dir / "a/b2");
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  QSignalSpy changes(tree.get(), &TShellTree::OnChange);

  // A folder above the selection goes: its nearest existing ancestor is selected, once.
  tree->SetPath(Q(dir / "a/b/c"));
  QVERIFY(tree->Settle(kGuardMs));
  changes.clear();
  fs::remove_all(dir / "a/b");
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a"));
  QCOMPARE(changes.count(), 1);
  QCOMPARE(changes.at(0).at(0).value<TShellNode*>(), tree->Selected());

  // The selected folder itself goes: its parent, not a sibling.
  tree->SetPath(Q(dir / "a/b2"));
  QVERIFY(tree->Settle(kGuardMs));
  changes.clear();
  fs::remove(dir / "a/b2");
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a"));
  QCOMPARE(changes.count(), 1);

  // Renamed away, the same.
  fs::create_directories(dir / "a/r/s");
  QVERIFY(tree->Settle(kGuardMs));
  tree->SetPath(Q(dir / "a/r/s"));
  QVERIFY(tree->Settle(kGuardMs));
  changes.clear();
  fs::rename(dir / "a/r", dir / "moved");
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(tree->Path(), Q(dir / "a"));
  QCOMPARE(changes.count(), 1);
}

void TreeTruthTest::wheelDeltasAccumulate() {
  TempDir dir;
  for (int i = 0; i < 200; ++i) fs::create_directories(dir / ("f" + std::to_string(1000 + i)));
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  QScrollBar* bar = tree->verticalScrollBar();
  auto wheel = [&](int delta) {
    const QPointF at(20, 20);
    QWheelEvent event(at, tree->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(tree->viewport(), &event);
  };
  // A high-resolution wheel or a touchpad: eight steps of 15 make one notch.
  for (int i = 0; i < 7; ++i) wheel(-15);
  QCOMPARE(bar->value(), 0);
  wheel(-15);
  QCOMPARE(bar->value(), bar->pageStep());
  // One notch is still one page; turning back starts afresh.
  wheel(-120);
  QCOMPARE(bar->value(), 2 * bar->pageStep());
  wheel(-60);
  wheel(120);
  QCOMPARE(bar->value(), bar->pageStep());
  wheel(60);
  QCOMPARE(bar->value(), bar->pageStep());
  wheel(60);
  QCOMPARE(bar->value(), 0);
}

void TreeTruthTest::namesSortInNaturalOrder() {
  TempDir dir;
  for (const char* name : {"file10", "file2", "File1", "zeta",
                           "\xc3\x89"
                           "clair",
                           "alpha"})
    fs::create_directories(dir / name);
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(ChildNames(tree->RootNode()), (QStringList{"alpha",
                                                      QString::fromUtf8("\xc3\x89"
                                                                        "clair"),
                                                      "File1", "file2", "file10", "zeta"}));
}

void TreeTruthTest::expandedFoldersShowOpenAndTheSystemMenuIsAnnounced() {
  TempDir dir;
  fs::create_directories(dir / "a/b");
  // Icons are looked up when first drawn: a theme set once the tree was built, before it was
  // drawn, still gives the open folder its icon.
  auto tree = TreeAt(dir.path());
  QVERIFY(tree->Settle(kGuardMs));
  // A theme of one icon: the open folder.
  fs::create_directories(dir / "icons/open-only/16x16/places");
  dir.Write("icons/open-only/index.theme",
            "[Icon Theme]\nName=open-only\nDirectories=16x16/places\n\n"
            "[16x16/places]\nSize=16\nType=Fixed\n");
  QPixmap open(16, 16);
  open.fill(Qt::yellow);
  QVERIFY(open.save(Q(dir / "icons/open-only/16x16/places/folder-open.png")));
  const QStringList searchPaths = QIcon::themeSearchPaths();
  const QString themeName = QIcon::themeName();
  QIcon::setThemeSearchPaths({Q(dir / "icons")});
  QIcon::setThemeName("open-only");
  QVERIFY(QIcon::hasThemeIcon("folder-open"));
  struct RestoreTheme {
    QStringList paths;
    QString name;
    ~RestoreTheme() {
      QIcon::setThemeSearchPaths(paths);
      QIcon::setThemeName(name);
    }
  } restore{searchPaths, themeName};
  TShellNode* a = ChildNamed(tree->RootNode(), "a");
  const QImage closed = a->icon(0).pixmap(16, 16).toImage();
  tree->expandItem(a);
  QVERIFY(tree->Settle(kGuardMs));
  QCOMPARE(a->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::yellow));
  tree->collapseItem(a);
  QCOMPARE(a->icon(0).pixmap(16, 16).toImage(), closed);

  // Raised before the system menu shows, with the node and the menu to change.
  tree->SetPath(Q(dir / "a"));
  QVERIFY(tree->Settle(kGuardMs));
  QStringList shown;
  connect(tree.get(), &TShellTree::OnSystemContextMenu, this, [&](TShellNode* node, QMenu*& menu) {
    QCOMPARE(node, a);
    QVERIFY(menu);
    menu->addAction("Extra");
  });
  QTimer::singleShot(50, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* action : menu->actions()) shown << action->text();
    menu->close();
  });
  QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), QPoint());
  QApplication::sendEvent(tree->viewport(), &key);
  QVERIFY(shown.contains("Extra"));
}

QTEST_MAIN(TreeTruthTest)
#include "TreeTruthTest.moc"
