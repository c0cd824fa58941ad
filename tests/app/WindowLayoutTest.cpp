// The main window's lists and room: the file list follows the disk, the report can be given
// more room and keeps it, and F1 finds the help page.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/FileLists.h"
#include "app/ReportMemo.h"
#include "app/quillonU.h"
#include "shelltree/ShellTree.h"
#include "support/EventSync.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"
#include "support/WindowTestSupport.h"
#include "util/Platform.h"
#include "util/ui/Seam.h"

using namespace quillon;
using namespace quillon::testing;
namespace fs = std::filesystem;

namespace {

QStringList Listed(const TFileListBox& list) {
  QStringList names;
  for (int i = 0; i < list.count(); ++i) names << list.item(i)->text();
  return names;
}

std::unique_ptr<TmainF> ShownWindow(const TempDir& dir, QSize size = {900, 700}) {
  auto window = std::make_unique<TmainF>(dir / "quillon");
  window->showNormal();
  window->resize(size);
  window->activateWindow();
  if (!QTest::qWaitForWindowExposed(window.get(), kGuardMs)) return nullptr;
  return window;
}

// Drags the split between the Select and the Report panels by dy pixels, as the mouse does.
void DragSplit(QSplitter* split, int dy) {
  QWidget* handle = split->handle(1);
  const QPoint from = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(0, dy)),
                   QPointF(handle->mapToGlobal(from + QPoint(0, dy))), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(handle, &move);
  QTest::mouseRelease(handle, Qt::LeftButton, {}, from + QPoint(0, dy));
}

}  // namespace

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void theFileListFollowsTheDisk();
  void theReportCanGrowAndKeepsItsRoom();
  void f1OpensTheHelpPageBesideTheProgram();
  void theLayoutGrowsWithTheDesktopFont();
};

void WindowLayoutTest::theFileListFollowsTheDisk() {
  TempDir dir;
  RecordingSeam seam;
  fs::create_directory(dir / "out");
  const std::unique_ptr<TmainF> shown = ShownWindow(dir);
  QVERIFY(shown);
  TmainF& w = *shown;
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(dir.path()), kGuardMs);
  QVERIFY(w.FileListBox1->Watching());
  QCOMPARE(Listed(*w.FileListBox1), QStringList());

  // Made and removed by another program: shown unasked (how soon is tree-bench's file-list
  // case), the selection kept.
  dir.Write("b.txt", "b");
  QTRY_COMPARE_WITH_TIMEOUT(Listed(*w.FileListBox1), QStringList{"b.txt"}, kGuardMs);
  w.FileListBox1->setCurrentRow(0);
  dir.Write("a.txt", "a");
  dir.Write("other.log", "o");
  QTRY_COMPARE_WITH_TIMEOUT(Listed(*w.FileListBox1), (QStringList{"a.txt", "b.txt"}), kGuardMs);
  QCOMPARE(w.FileListBox1->FileName(), Q(dir / "b.txt"));
  fs::remove(dir / "a.txt");
  QTRY_COMPARE_WITH_TIMEOUT(Listed(*w.FileListBox1), QStringList{"b.txt"}, kGuardMs);
  QCOMPARE(w.FileListBox1->FileName(), Q(dir / "b.txt"));
  fs::remove(dir / "b.txt");
  QTRY_COMPARE_WITH_TIMEOUT(Listed(*w.FileListBox1), QStringList(), kGuardMs);
  QCOMPARE(w.FileListBox1->FileName(), QString());
  // A folder made there is no file of the list.
  fs::create_directory(dir / "sub.txt");

  // Made by a run into the listed folder.
  w.ST1->SetPath(Q(dir / "out"));
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), Q(dir / "out"), kGuardMs);
  w.AddsourceE->setText(Q(dir.Write("names.lst", "one\ntwo\n")));
  w.adddestE->setText(Q(dir / "out"));
  w.RunB->click();
  QTRY_COMPARE_WITH_TIMEOUT(Listed(*w.FileListBox1), (QStringList{"one.txt", "two.txt"}), kGuardMs);
  w.close();
}

void WindowLayoutTest::theReportCanGrowAndKeepsItsRoom() {
  TempDir dir;
  RecordingSeam seam;
  dir.Write("quillon.ini", "; mine\r\n[Other]\r\nKeep=1\r\n");
  int grown = 0;
  {
    const std::unique_ptr<TmainF> shown = ShownWindow(dir);
    QVERIFY(shown);
    TmainF& w = *shown;
    // The described height by default; a taller window gives the Select panel the room.
    QCOMPARE(w.Panel4->height(), TmainF::kReportHeight);
    const int select = w.Panel1->height();
    w.resize(900, 800);
    QTRY_COMPARE_WITH_TIMEOUT(w.Panel1->height(), select + 100, kGuardMs);
    QCOMPARE(w.Panel4->height(), TmainF::kReportHeight);

    DragSplit(w.SelectReportS, -150);
    grown = w.Panel4->height();
    QVERIFY2(grown >= TmainF::kReportHeight + 140, qPrintable(QString::number(grown)));
    QVERIFY(w.close());
  }
  const std::string ini = ReadBytes(dir / "quillon.ini");
  QVERIFY(ini.find("; mine\r\n[Other]\r\nKeep=1\r\n") == 0);
  QVERIFY(ini.find("[Window]\r\nReport height=" + std::to_string(grown) + "\r\n") !=
          std::string::npos);

  // The next start gives the report the same room.
  const std::unique_ptr<TmainF> again = ShownWindow(dir);
  QVERIFY(again);
  QTRY_COMPARE_WITH_TIMEOUT(again->Panel4->height(), grown, kGuardMs);
  again->close();
}

void WindowLayoutTest::f1OpensTheHelpPageBesideTheProgram() {
  // The build puts the page beside the program, where F1 looks first.
  QVERIFY(fs::is_regular_file(std::string(QUILLON_PROGRAM_FOLDER) + "/quillon.html"));
  QCOMPARE(HelpFileFor(QUILLON_PROGRAM_FOLDER),
           std::string(QUILLON_PROGRAM_FOLDER) + "/quillon.html");
  TempDir dir;
  RecordingSeam seam;
  dir.Write("quillon.html", "<html></html>");
  const std::unique_ptr<TmainF> shown = ShownWindow(dir);
  QVERIFY(shown);
  shown->AddsourceE->setFocus();
  QTRY_VERIFY_WITH_TIMEOUT(shown->AddsourceE->hasFocus(), kGuardMs);
  QTest::keyClick(shown->AddsourceE, Qt::Key_F1);
  QCOMPARE(seam.shellTargets, QStringList{Q(dir / "quillon.html")});
  shown->close();
}

void WindowLayoutTest::theLayoutGrowsWithTheDesktopFont() {
  TempDir dir;
  RecordingSeam seam;
  auto sizes = [](const TmainF& w) {
    return QList<int>{w.sourceL->font().pixelSize(),  w.AddsourceE->font().pixelSize(),
                      w.Panel2->maximumHeight(),      w.Panel3->maximumHeight(),
                      w.FileListBox1->maximumWidth(), w.stb1->maximumHeight()};
  };
  {
    // The described sizes at the usual desktop font; the window fits a 1280 x 900 screen at
    // 200 %, which gives it 640 x 450 pixels.
    TmainF w(dir / "quillon");
    QCOMPARE(sizes(w), (QList<int>{21, 11, 75, 74, 276, 19}));
    const QSize least = w.minimumSize().expandedTo(w.minimumSizeHint());
    QVERIFY2(least.width() <= 640 && least.height() <= 450,
             qPrintable(QStringLiteral("%1 x %2").arg(least.width()).arg(least.height())));
  }
  const QFont usual = QApplication::font();
  QFont large = usual;
  large.setPointSizeF(18);
  QApplication::setFont(large);
  {
    const std::unique_ptr<TmainF> shown = ShownWindow(dir, {1400, 1200});
    QVERIFY(shown);
    QCOMPARE(sizes(*shown), (QList<int>{42, 22, 150, 148, 552, 38}));
    QTRY_COMPARE_WITH_TIMEOUT(shown->Panel4->height(), 2 * TmainF::kReportHeight, kGuardMs);
    shown->close();
  }
  QApplication::setFont(usual);
}

QTEST_MAIN(WindowLayoutTest)
#include "WindowLayoutTest.moc"
