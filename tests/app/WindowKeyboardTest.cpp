// The main window used with the keyboard and the mouse as a desktop user does: Escape, access
// keys, menus left with Escape, the tree chosen with keys or a right click, double-clicks on
// the path fields, and the file dialogs' "All files".
#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/FileLists.h"
#include "app/LocXXX.h"
#include "app/ReportMemo.h"
#include "app/quillonU.h"
#include "history/MYcustomhistory.h"
#include "settings/fillU.h"
#include "settings/outputextensionU.h"
#include "settings/repU.h"
#include "shelltree/ShellTree.h"
#include "support/EventSync.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"
#include "support/WindowTestSupport.h"
#include "util/ui/Seam.h"

using namespace quillon;
using namespace quillon::testing;
namespace fs = std::filesystem;

namespace {

struct Shown {
  Shown() : window(std::make_unique<TmainF>(dir / "quillon")) {
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window.get(), kGuardMs));
    QTRY_COMPARE_WITH_TIMEOUT(window->ST1->Path(), Q(dir.path()), kGuardMs);
  }
  TempDir dir;
  RecordingSeam seam;
  std::unique_ptr<TmainF> window;
};

// Sends a key as the keyboard does: to the control that has the focus.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWidget* target = QApplication::activePopupWidget();
  if (!target) target = QApplication::focusWidget();
  QVERIFY(target);
  QTest::keyClick(target, key, modifiers);
}

// The access keys of a window: the menu bar's items and every button or labelled control.
QMap<QChar, QStringList> AccessKeys(QWidget* window) {
  QMap<QChar, QStringList> keys;
  auto note = [&](const QString& caption, const QString& owner) {
    const int at = caption.indexOf(QRegularExpression("&[^&]"));
    if (at >= 0) keys[caption.at(at + 1).toUpper()] << owner;
  };
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    note(button->text(), button->objectName());
  }
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->buddy()) note(label->text(), label->objectName());
  }
  for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
    for (QAction* action : bar->actions()) note(action->text(), action->text());
  }
  return keys;
}

void EachKeyOnce(QWidget* window) {
  const QMap<QChar, QStringList> keys = AccessKeys(window);
  QVERIFY(!keys.isEmpty());
  for (auto key = keys.begin(); key != keys.end(); ++key) {
    QVERIFY2(key.value().size() == 1,
             qPrintable(window->objectName() + ": " + key.key() + " " + key.value().join(", ")));
  }
}

}  // namespace

class WindowKeyboardTest : public QObject {
  Q_OBJECT

 private slots:
  void escapeDuringARunCancelsIt();
  void accessKeysActInOnePress();
  void escapeLeavingAMenuKeepsTheWindow();
  void keyboardChoiceInTheTreeCountsAsAClick();
  void rightClickActsOnTheFolderUnderThePointer();
  void doubleClicksOnPathFields();
  void allFilesListsFilesWithoutADot();
};

void WindowKeyboardTest::escapeDuringARunCancelsIt() {
  Shown s;
  TmainF& w = *s.window;
  std::string lines;
  for (int i = 1; i <= 5; ++i) lines += "line" + std::to_string(i) + "\n";
  const std::string source = s.dir.Write("five.txt", lines);
  fs::create_directory(s.dir / "out");
  w.AddsourceE->setText(Q(source));
  w.adddestE->setText(Q(s.dir / "out"));
  w.AddsourceE->setFocus();
  // Pressed while the first line is made, as the run handles the window's events.
  QTimer::singleShot(0, &w, [] { Press(Qt::Key_Escape); });
  w.RunB->click();
  QVERIFY(w.isVisible());
  const QStringList report = w.RunM->toPlainText().split('\n');
  QCOMPARE(report.value(1), QStringLiteral("Cancelled! Not all created."));
  QCOMPARE(report.last(), QStringLiteral("Success ratio: 1/5 or 20%"));
  QVERIFY(!fs::exists(s.dir / "out/line2.txt"));
  // Idle again, Escape closes the window.
  w.AddsourceE->setFocus();
  Press(Qt::Key_Escape);
  QVERIFY(!w.isVisible());
}

void WindowKeyboardTest::accessKeysActInOnePress() {
  Shown s;
  TmainF& w = *s.window;
  EachKeyOnce(&w);
  TfillF fill;
  TrepF rep;
  ToutputextF outputext;
  TLocxxxF locxxx;
  for (QWidget* dialog : std::initializer_list<QWidget*>{&fill, &rep, &outputext, &locxxx}) {
    EachKeyOnce(dialog);
  }

  // The Folder menu opens at the first press.
  w.AddsourceE->setFocus();
  Press(Qt::Key_D, Qt::AltModifier);
  QTRY_VERIFY_WITH_TIMEOUT(QApplication::activePopupWidget(), kGuardMs);
  QCOMPARE(QApplication::activePopupWidget()->objectName(), QStringLiteral("Folder1"));
  QApplication::activePopupWidget()->close();

  // Each Add button at the first press of its own key.
  s.dir.Write("names.txt", "a\n");
  w.FileListBox1->Update();
  QVERIFY(w.FileListBox1->Settle());
  w.FileListBox1->setCurrentRow(0);
  w.AddsourceE->setFocus();
  const QString addSource = w.AddsourceB->text();
  Press(Qt::Key(QKeySequence::mnemonic(addSource)[0].key()), Qt::AltModifier);
  // A button pressed by its key shows itself pressed for a moment, then acts.
  QTRY_COMPARE_WITH_TIMEOUT(w.AddsourceE->text(), Q(s.dir / "names.txt"), kGuardMs);
  w.ST1Click();
  w.adddestE->clear();
  w.activateWindow();
  w.AddsourceE->setFocus();
  QTRY_VERIFY_WITH_TIMEOUT(w.AddsourceE->hasFocus(), kGuardMs);
  Press(Qt::Key(QKeySequence::mnemonic(w.adddestB->text())[0].key()), Qt::AltModifier);
  QTRY_COMPARE_WITH_TIMEOUT(w.adddestE->text(), Q(s.dir.path()), kGuardMs);

  // About at the first press.
  Press(Qt::Key_A, Qt::AltModifier);
  QCOMPARE(w.StatusText(), QStringLiteral("About..."));
  QVERIFY(w.isVisible());
}

void WindowKeyboardTest::escapeLeavingAMenuKeepsTheWindow() {
  Shown s;
  TmainF& w = *s.window;
  w.AddsourceE->setFocus();
  // Alt+D, Escape, Escape: the menu closes, then the menu bar lets go of the keyboard.
  Press(Qt::Key_D, Qt::AltModifier);
  QTRY_VERIFY_WITH_TIMEOUT(QApplication::activePopupWidget(), kGuardMs);
  Press(Qt::Key_Escape);
  QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activePopupWidget(), kGuardMs);
  Press(Qt::Key_Escape);
  QVERIFY(w.isVisible());
  // The menu bar chosen with the keyboard and left with Escape.
  w.AddsourceE->setFocus();
  w.menuBar()->setFocus(Qt::ShortcutFocusReason);
  Press(Qt::Key_Escape);
  QVERIFY(w.isVisible());
  // The tree's pop-up menu from the keyboard, left with Escape.
  w.ST1->setFocus();
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1),
                            w.ST1->mapToGlobal(QPoint(1, 1)));
  QApplication::sendEvent(w.ST1, &menuKey);
  QTRY_VERIFY_WITH_TIMEOUT(w.PM1->isVisible(), kGuardMs);
  Press(Qt::Key_Escape);
  QTRY_VERIFY_WITH_TIMEOUT(!w.PM1->isVisible(), kGuardMs);
  QVERIFY(w.isVisible());
  // With no menu open, Escape closes the window.
  w.AddsourceE->setFocus();
  Press(Qt::Key_Escape);
  QVERIFY(!w.isVisible());
}

void WindowKeyboardTest::keyboardChoiceInTheTreeCountsAsAClick() {
  Shown s;
  TmainF& w = *s.window;
  fs::create_directories(s.dir / "a/b");
  w.ST1->expandItem(w.ST1->Selected());
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Selected()->childCount(), 1,
                            kGuardMs);  // the tree learns of the new folder
  QVERIFY(!w.adddestB->isEnabled());
  w.ST1->setFocus();
  QTest::keyClick(w.ST1, Qt::Key_Down);
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(s.dir / "a"), kGuardMs);
  QVERIFY(w.adddestB->isEnabled());
  QVERIFY(!w.AddsourceB->isEnabled());
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), Q(s.dir / "a"), kGuardMs);
}

void WindowKeyboardTest::rightClickActsOnTheFolderUnderThePointer() {
  Shown s;
  TmainF& w = *s.window;
  fs::create_directory(s.dir / "data");
  fs::create_directory(s.dir / "dest");
  QTRY_VERIFY_WITH_TIMEOUT(
      [&] {
        w.ST1->SetPath(Q(s.dir / "dest"));
        return w.ST1->Path() == Q(s.dir / "dest");
      }(),
      kGuardMs);
  TShellNode* data = nullptr;
  QTreeWidgetItem* parent = w.ST1->Selected()->parent();
  for (int i = 0; i < parent->childCount(); ++i) {
    if (parent->child(i)->text(0) == QLatin1String("data")) {
      data = static_cast<TShellNode*>(parent->child(i));
    }
  }
  QVERIFY(data);
  w.ST1->scrollToItem(data);
  const QPoint at = w.ST1->visualItemRect(data).center();
  QTest::mouseClick(w.ST1->viewport(), Qt::RightButton, {}, at);
  QContextMenuEvent menu(QContextMenuEvent::Mouse, at, w.ST1->viewport()->mapToGlobal(at));
  QApplication::sendEvent(w.ST1->viewport(), &menu);
  QTRY_VERIFY_WITH_TIMEOUT(w.PM1->isVisible(), kGuardMs);
  w.PM1->hide();
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(s.dir / "data"), kGuardMs);
  s.seam.inputAnswers = {QStringLiteral("made")};
  w.findChild<QAction*>("Createfolder1")->trigger();
  QVERIFY(fs::is_directory(s.dir / "data/made"));
  QVERIFY(!fs::exists(s.dir / "dest/made"));
}

void WindowKeyboardTest::doubleClicksOnPathFields() {
  Shown s;
  TmainF& w = *s.window;
  fs::create_directory(s.dir / "src");
  s.dir.Write("src/n.txt", "n\n");
  // The tree learns of the new folder through its own watching.
  QTRY_VERIFY_WITH_TIMEOUT(
      [&] {
        w.ST1->SetPath(Q(s.dir / "src"));
        return w.dlb1->Directory() == Q(s.dir / "src");
      }(),
      kGuardMs);

  // An empty destination leaves the tree where it is.
  w.adddestE->clear();
  QTest::mouseDClick(w.adddestE, Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(s.dir / "src"), kGuardMs);

  // A relative path reaches the shell resolved against the listed folder.
  w.AddsourceE->setText(QStringLiteral("n.txt"));
  QTest::mouseDClick(w.AddsourceE, Qt::LeftButton);
  QCOMPARE(s.seam.shellTargets, QStringList{Q(s.dir / "src/n.txt")});
  s.seam.clear();
  w.MyOpenH->AddItem(QStringLiteral("n.txt"));
  w.openMI->actions().last()->trigger();
  QCOMPARE(s.seam.shellTargets, QStringList{Q(s.dir / "src/n.txt")});
  // Web addresses and absolute paths pass unchanged.
  s.seam.clear();
  w.findChild<QAction*>("Website1")->trigger();
  QVERIFY(s.seam.shellTargets.value(0).startsWith("https://"));
}

void WindowKeyboardTest::allFilesListsFilesWithoutADot() {
  TempDir dir;
  dir.Write("names", "a\n");
  dir.Write("list.txt", "b\n");
  const QString filter =
      ui::QtFileFilter(QStringLiteral("Txt-files (*.txt)|*.txt|All files (*.*)|*.*"));
  QFileDialog dialog(nullptr, QStringLiteral("Select text file"), Q(dir.path()), filter);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  const QStringList filters = dialog.nameFilters();
  QCOMPARE(filters.size(), 2);
  dialog.selectNameFilter(filters[1]);
  dialog.show();
  auto* list = dialog.findChild<QListView*>("listView");
  QVERIFY(list);
  auto listed = [&] {
    QStringList names;
    const QModelIndex root = list->rootIndex();
    for (int i = 0; i < list->model()->rowCount(root); ++i) {
      names << list->model()->index(i, 0, root).data().toString();
    }
    names.sort();
    return names;
  };
  QTRY_COMPARE_WITH_TIMEOUT(listed(), (QStringList{"list.txt", "names"}), kGuardMs);
  dialog.selectNameFilter(filters[0]);
  QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList{"list.txt"}, kGuardMs);
}

QTEST_MAIN(WindowKeyboardTest)
#include "WindowKeyboardTest.moc"
