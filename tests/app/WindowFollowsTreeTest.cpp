// The main window follows its folder tree when the tree moves by itself: a folder deleted by
// another program takes the selection to the nearest existing folder, and the file list, the
// status bar and the Add buttons follow.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "app/FileLists.h"
#include "app/quillonU.h"
#include "shelltree/ShellTree.h"
#include "support/EventSync.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"

using namespace quillon;
using quillon::testing::kGuardMs;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;
namespace fs = std::filesystem;

class WindowFollowsTreeTest : public QObject {
  Q_OBJECT

 private slots:
  void aDeletedFolderTakesTheWindowToItsParent() {
    TempDir dir;
    RecordingSeam seam;
    fs::create_directories(dir / "work/doomed");
    dir.Write("work/doomed/names.txt", "a\n");
    TmainF window(dir / "quillon");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window, kGuardMs));
    const QString work = QString::fromStdString(dir / "work");
    const QString doomed = QString::fromStdString(dir / "work/doomed");
    window.ST1->SetPath(doomed);
    QTRY_COMPARE_WITH_TIMEOUT(window.dlb1->Directory(), doomed, kGuardMs);
    QVERIFY(window.FileListBox1->Settle());
    window.infoCB->setChecked(true);
    window.FileListBox1->setCurrentRow(0);
    QVERIFY(window.AddsourceB->isEnabled());
    QVERIFY(!window.adddestB->isEnabled());

    fs::remove_all(dir / "work/doomed");
    QTRY_COMPARE_WITH_TIMEOUT(window.ST1->Path(), work, kGuardMs);
    QTRY_COMPARE_WITH_TIMEOUT(window.dlb1->Directory(), work, kGuardMs);
    QCOMPARE(window.FileListBox1->count(), 0);
    QTRY_VERIFY(window.StatusText().contains("bytes; Created:"));
    QVERIFY(!window.AddsourceB->isEnabled());
    QVERIFY(window.adddestB->isEnabled());
    window.adddestB->click();
    QCOMPARE(window.adddestE->text(), work);
    window.close();
  }
};

QTEST_MAIN(WindowFollowsTreeTest)
#include "WindowFollowsTreeTest.moc"
