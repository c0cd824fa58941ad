// The main window and the option dialogs for a screen-reader user and on any palette: every
// control named, the report readable and its new lines announced, the focus visible, and
// headings readable on a dark palette.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/DriveBox.h"
#include "app/FileLists.h"
#include "app/LocXXX.h"
#include "app/ReportMemo.h"
#include "app/quillonU.h"
#include "settings/fillU.h"
#include "settings/outputextensionU.h"
#include "settings/repU.h"
#include "shelltree/ShellTree.h"
#include "support/EventSync.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"
#include "support/WindowTestSupport.h"
#include "util/ui/Colours.h"
#include "util/ui/Seam.h"

using namespace quillon;
using namespace quillon::testing;
namespace fs = std::filesystem;

namespace {

QString AccessibleName(QObject* object) {
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
  return face ? face->text(QAccessible::Name) : QString();
}

// The controls of a window that the keyboard can reach without a name.
QStringList Unnamed(QWidget* window) {
  QStringList unnamed;
  for (QWidget* control : window->findChildren<QWidget*>()) {
    if (!(control->focusPolicy() & Qt::TabFocus) || control->isHidden()) continue;
    if (control->window() != window) continue;  // a combo box's list, a window of its own
    // An editable combo box's line edit is read as part of its box.
    if (qobject_cast<QComboBox*>(control->parentWidget())) continue;
    // A name says what the control is: "..." says nothing.
    if (!AccessibleName(control).contains(QRegularExpression("\\w\\w"))) {
      unnamed << control->metaObject()->className() + QStringLiteral(" ") + control->objectName();
    }
  }
  return unnamed;
}

}  // namespace

class WindowAccessTest : public QObject {
  Q_OBJECT

 private slots:
  void everyControlIsNamed();
  void theReportIsReadAndAnnounced();
  void theFocusShowsOnEveryControl();
  void headingsOnLightAndDarkPalettes();
};

void WindowAccessTest::everyControlIsNamed() {
  TempDir dir;
  RecordingSeam seam;
  TmainF w(dir / "quillon");
  const QStringList unnamed = Unnamed(&w);
  QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
  QCOMPARE(AccessibleName(w.AddsourceE), QStringLiteral("Source text file"));
  QCOMPARE(AccessibleName(w.adddestE), QStringLiteral("Destination parent folder"));
  QCOMPARE(AccessibleName(w.AddsourceB), QStringLiteral("Add selected source"));
  QCOMPARE(AccessibleName(w.adddestB), QStringLiteral("Add selected destination"));
  QVERIFY(!AccessibleName(w.RunPB).isEmpty());
  TfillF fill;
  TrepF rep;
  ToutputextF outputext;
  TLocxxxF locxxx;
  for (QWidget* dialog : std::initializer_list<QWidget*>{&fill, &rep, &outputext, &locxxx}) {
    const QStringList unnamed = Unnamed(dialog);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
  }
}

void WindowAccessTest::theReportIsReadAndAnnounced() {
  TempDir dir;
  RecordingSeam seam;
  TmainF w(dir / "quillon");
  w.RunM->appendPlainText(QStringLiteral("Started...\nExists already: a.txt"));
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w.RunM);
  QVERIFY(face);
  QVERIFY(!face->text(QAccessible::Name).isEmpty());
  QAccessibleTextInterface* text = face->textInterface();
  QVERIFY(text);
  QCOMPARE(text->characterCount(), 32);
  QCOMPARE(text->text(0, text->characterCount()),
           QStringLiteral("Started...\nExists already: a.txt"));
  int start = -1, end = -1;
  QCOMPARE(text->textAtOffset(14, QAccessible::LineBoundary, &start, &end),
           QStringLiteral("Exists already: a.txt"));
  QCOMPARE(start, 11);
  QCOMPARE(end, 32);

  // A run's lines and its summary reach a screen reader as they come.
  struct Insertion {
    int position;
    QString text;
  };
  std::vector<Insertion> inserted;
  connect(w.RunM, &TReportMemo::TextInserted, this, [&](int at, const QString& added) {
    inserted.push_back({at, added});
  });
  const std::string source = dir.Write("two.txt", "a\nb\n");
  fs::create_directory(dir / "out");
  w.AddsourceE->setText(Q(source));
  w.adddestE->setText(Q(dir / "out"));
  w.RunB->click();
  QVERIFY(!inserted.empty());
  QString announced;
  for (const Insertion& insertion : inserted) announced += insertion.text;
  QVERIFY2(announced.contains("Finished!"), qPrintable(announced));
  QVERIFY(announced.contains("Success ratio: 2/2 or 100%"));
  QCOMPARE(inserted.back().position + inserted.back().text.size(), text->characterCount());
}

void WindowAccessTest::theFocusShowsOnEveryControl() {
  TempDir dir;
  RecordingSeam seam;
  fs::create_directory(dir / "empty");
  TmainF w(dir / "quillon");
  w.show();
  w.activateWindow();
  QVERIFY(QTest::qWaitForWindowExposed(&w, kGuardMs));
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(dir.path()), kGuardMs);
  w.ST1->SetPath(Q(dir / "empty"));
  QCOMPARE(w.FileListBox1->count(), 0);
  for (QWidget* control :
       std::initializer_list<QWidget*>{w.DriveComboBox1, w.FileListBox1, w.RunM}) {
    w.ExitB->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY_WITH_TIMEOUT(!control->hasFocus(), kGuardMs);
    const QImage without = control->grab().toImage();
    control->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY_WITH_TIMEOUT(control->hasFocus(), kGuardMs);
    const QImage with = control->grab().toImage();
    QVERIFY2(with != without, control->objectName().toLatin1());
  }
}

void WindowAccessTest::headingsOnLightAndDarkPalettes() {
  TempDir dir;
  RecordingSeam seam;
  const QPalette original = QApplication::palette();
  QPalette light = original;
  light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
  light.setColor(QPalette::WindowText, Qt::black);
  QApplication::setPalette(light);
  TmainF w(dir / "quillon");
  QCOMPARE(w.sourceL->palette().color(QPalette::WindowText), QColor(0, 170, 100));
  QCOMPARE(w.destL->palette().color(QPalette::WindowText), QColor(170, 0, 0));
  QCOMPARE(w.repL->palette().color(QPalette::WindowText), QColor(0, 0, 170));

  // The window follows a change of palette while it runs.
  QApplication::setPalette(DarkPalette());
  QCoreApplication::processEvents();
  for (QLabel* heading : {w.sourceL, w.destL, w.repL}) {
    const QColor colour = heading->palette().color(QPalette::WindowText);
    const QColor background = heading->parentWidget()->palette().color(QPalette::Window);
    QVERIFY2(ui::Contrast(colour, background) >= 4.5, qPrintable(heading->objectName()));
  }
  // The same hues, lighter.
  QCOMPARE(w.destL->palette().color(QPalette::WindowText).hue(), 0);
  QCOMPARE(w.repL->palette().color(QPalette::WindowText).hue(), 240);
  QVERIFY(qAbs(w.sourceL->palette().color(QPalette::WindowText).hue() -
               QColor(0, 170, 100).hue()) <= 2);

  // A window made on a dark palette starts readable too; back on the light one, as described.
  TmainF second(dir / "quillon");
  QVERIFY(ui::Contrast(second.repL->palette().color(QPalette::WindowText),
                       second.Panel4->palette().color(QPalette::Window)) >= 4.5);
  QApplication::setPalette(light);
  QCoreApplication::processEvents();
  QCOMPARE(w.repL->palette().color(QPalette::WindowText), QColor(0, 0, 170));
  QApplication::setPalette(original);
}

QTEST_MAIN(WindowAccessTest)
#include "WindowAccessTest.moc"
