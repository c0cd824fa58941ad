// The search-location dialog through the three commands that use it.
#include <sys/stat.h>
#include <unistd.h>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include "app/DriveBox.h"
#include "app/FileLists.h"
#include "app/LocXXX.h"
#include "shelltree/ShellTree.h"
#include "support/DialogTestSupport.h"
#include "support/EventSync.h"
#include "support/RecordingSeam.h"
#include "util/ui/OpenDialog.h"

using namespace quillon;
using quillon::testing::HandleQueuedEvents;
using quillon::testing::kGuardMs;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;
using quillon::testing::WhenShown;

namespace {

const QString kCreateQuestion =
    "Chosen location is invalid or does not exist. I try to create it??";
const QString kAcceptQuestion = "Accept the path anyway??";

QString Q(const std::string& s) { return QString::fromStdString(s); }

struct Fixture {
  TempDir dir;
  RecordingSeam seam;
  ui::OpenDialog open;
  TLocxxxF dialog;
  RunSettings settings;
  Fixture() {
    QDir(Q(dir.path())).mkpath("start");
    QDir(Q(dir.path())).mkpath("other");
    settings.SelectionFolder = dir / "start";
    open.InitialDir = "unchanged";
  }
  // Types the location and presses Ok while the dialog is shown, then runs the check.
  void TypeAndOk(const QString& location, std::function<void()> whileOpen = {}) {
    WhenShown(dialog, [this, location, whileOpen] {
      dialog.locxxxE->setText(location);
      QTest::mouseClick(dialog.SavelocB, Qt::LeftButton);
      if (whileOpen) whileOpen();
    });
  }
};

}  // namespace

class LocationDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void layoutAsDesigned();
  void showingMovesTheTreeToTheSelectionFolder();
  void treeAndDriveBoxFillTheLocation();
  void existingFolderAcceptedAtOnce_data();
  void existingFolderAcceptedAtOnce();
  void missingFolderQuestions_data();
  void missingFolderQuestions();
  void creationFailureIsReportedAndAccepted();
  void shortAndEmptyLocations();
  void cancelChangesNothing_data();
  void cancelChangesNothing();
  void browseCommands();
  void noPopupMenu();
  void reachesTheSettingsFileAndARun();
};

void LocationDialogTest::layoutAsDesigned() {
  TLocxxxF d;
  QCOMPARE(d.objectName(), QString("LocxxxF"));
  QCOMPARE(d.windowTitle(), QString("Search Location "));
  QCOMPARE(d.size(), QSize(489, 232));
  QVERIFY(d.minimumSize() != d.maximumSize());
  QCOMPARE(d.DriveComboBox1->width(), 145);
  QCOMPARE(d.Label2->text(), QString("Resulting location"));
  QCOMPARE(d.SavelocB->text(), QString("&Ok"));
  QCOMPARE(d.CancelB->text(), QString("&Cancel"));
  QVERIFY(d.ST1->ReadOnly());
  QCOMPARE(d.ST1->Options(), TShellTree::TVisOptions(TShellTree::TF_FOLDERS));
  QVERIFY(d.ST1->PopupMenu() == nullptr);
  d.show();
  QVERIFY(!d.resultL->isVisible());
  QVERIFY(!d.DirectoryListBox1->isVisible());
  QCOMPARE(d.DirectoryListBox1->focusPolicy(), Qt::NoFocus);
  // The tree follows all four edges.
  d.resize(700, 500);
  HandleQueuedEvents();
  QVERIFY(d.ST1->width() > 600);
  QVERIFY(d.ST1->height() > 300);
  QVERIFY(d.locxxxE->geometry().bottom() < d.SavelocB->geometry().top());
  QVERIFY(d.ST1->geometry().bottom() < d.Label2->geometry().top());
}

void LocationDialogTest::showingMovesTheTreeToTheSelectionFolder() {
  Fixture f;
  const QString start = Q(f.dir / "start");
  bool checked = false;
  WhenShown(f.dialog, [&] {
    QCOMPARE(f.dialog.windowTitle(),
             QString("Give default start folder when looking for text files"));
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.ST1->Path(), start, kGuardMs);
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.locxxxE->text(), start, kGuardMs);
    checked = true;
  });
  selfolderMIClick(f.dialog, f.settings, f.open);
  QVERIFY(checked);

  // Shown again with the tree already there: the caller's empty preset stays.
  checked = false;
  WhenShown(f.dialog, [&] {
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.ST1->Path(), start, kGuardMs);
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.locxxxE->text(), QString(), kGuardMs);
    checked = true;
  });
  QVERIFY(!direnterBrowse(f.dialog, f.settings));
  QVERIFY(checked);

  // A selection folder that is gone leads the tree to its nearest parent; one the tree cannot
  // reach (a relative path) leaves it where it was. Neither shows a message.
  f.settings.SelectionFolder = "relative/folder";
  checked = false;
  WhenShown(f.dialog, [&] {
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.ST1->Path(), start, kGuardMs);
    checked = true;
  });
  QVERIFY(!direnterBrowse(f.dialog, f.settings));
  QVERIFY(checked);
  f.settings.SelectionFolder = f.dir / "gone/deeper";
  checked = false;
  WhenShown(f.dialog, [&] {
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.ST1->Path(), Q(f.dir.path()), kGuardMs);
    checked = true;
  });
  QVERIFY(!direnterBrowse(f.dialog, f.settings));
  QVERIFY(checked);
  QVERIFY(f.seam.boxes.empty());
}

void LocationDialogTest::treeAndDriveBoxFillTheLocation() {
  Fixture f;
  const QString other = Q(f.dir / "other");
  WhenShown(f.dialog, [&] {
    f.dialog.ST1->SetPath(other);
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.locxxxE->text(), other, kGuardMs);
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.DirectoryListBox1->Directory(), other, kGuardMs);
    // Picking the drive (the volume holding the folder) moves the tree to its root.
    TDriveComboBox* drives = f.dialog.DriveComboBox1;
    QVERIFY(drives->count() > 0);
    const QString drive = drives->Drive();
    QVERIFY(!drive.isEmpty());
    QVERIFY(other.startsWith(drive));
    emit drives->activated(drives->currentIndex());
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.ST1->Path(), drive, kGuardMs);
    QTRY_COMPARE_WITH_TIMEOUT(f.dialog.locxxxE->text(), drive, kGuardMs);
  });
  QVERIFY(!direnterBrowse(f.dialog, f.settings));
}

void LocationDialogTest::existingFolderAcceptedAtOnce_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("result");
  QTest::newRow("plain") << "@/other"
                         << "@/other";
  QTest::newRow("trailing separator") << "@/other/"
                                      << "@/other";
  QTest::newRow("root") << "/"
                        << "/";
}

void LocationDialogTest::existingFolderAcceptedAtOnce() {
  QFETCH(QString, typed);
  QFETCH(QString, result);
  Fixture f;
  typed.replace("@", Q(f.dir.path()));
  result.replace("@", Q(f.dir.path()));
  f.TypeAndOk(typed);
  selfolderMIClick(f.dialog, f.settings, f.open);
  QVERIFY2(f.seam.boxes.empty(), qPrintable(f.seam.texts().join(" | ")));
  QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
  QCOMPARE(Q(f.settings.SelectionFolder), result);
  QCOMPARE(f.open.InitialDir, result + "/");
}

void LocationDialogTest::missingFolderQuestions_data() {
  QTest::addColumn<QList<bool>>("answers");
  QTest::addColumn<QStringList>("messages");
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<bool>("created");
  QTest::newRow("yes creates") << QList<bool>{true}
                               << QStringList({kCreateQuestion, "Creation succesfull"}) << true
                               << true;
  QTest::newRow("no, then yes") << QList<bool>{false, true}
                                << QStringList({kCreateQuestion, kAcceptQuestion}) << true << false;
  QTest::newRow("no, then no") << QList<bool>{false, false}
                               << QStringList({kCreateQuestion, kAcceptQuestion}) << false << false;
}

void LocationDialogTest::missingFolderQuestions() {
  QFETCH(QList<bool>, answers);
  QFETCH(QStringList, messages);
  QFETCH(bool, accepted);
  QFETCH(bool, created);
  Fixture f;
  const QString missing = Q(f.dir / "new/deeper");
  f.seam.answers.assign(answers.begin(), answers.end());
  bool stayedOpen = false;
  f.TypeAndOk(missing + "/", [&] {
    stayedOpen = f.dialog.isVisible();
    if (stayedOpen) QCOMPARE(f.dialog.resultL->text(), missing + "/");
  });
  selfolderMIClick(f.dialog, f.settings, f.open);
  QCOMPARE(f.seam.texts(), messages);
  QCOMPARE(QDir(missing).exists(), created);
  QCOMPARE(stayedOpen, !accepted);
  QCOMPARE(Q(f.settings.SelectionFolder), accepted ? missing : Q(f.dir / "start"));
  QCOMPARE(f.open.InitialDir, accepted ? missing + "/" : QString("unchanged"));
}

void LocationDialogTest::creationFailureIsReportedAndAccepted() {
  Fixture f;
  const std::string locked = f.dir / "locked";
  QDir().mkpath(Q(locked));
  chmod(locked.c_str(), 0500);
  const bool writable = access((locked + "/.").c_str(), W_OK) == 0;  // root writes anyway
  const QString missing = writable ? QString("relative/path") : Q(locked + "/x");
  f.seam.answers = {true};
  f.TypeAndOk(missing);
  selfolderMIClick(f.dialog, f.settings, f.open);
  QCOMPARE(f.seam.texts(),
           QStringList({kCreateQuestion, "Unable to create " + missing +
                                             ". Probably invalid drive or not writable! accept "
                                             "it anyway??"}));
  QCOMPARE(f.seam.boxes[1].kind, ui::BoxKind::Error);
  QCOMPARE(Q(f.settings.SelectionFolder), missing);
}

void LocationDialogTest::shortAndEmptyLocations() {
  Fixture f;
  // One character other than the root keeps the dialog open.
  bool stayedOpen = false;
  f.TypeAndOk("a", [&] { stayedOpen = f.dialog.isVisible(); });
  selfolderMIClick(f.dialog, f.settings, f.open);
  QVERIFY(stayedOpen);
  QCOMPARE(f.seam.texts(), QStringList({"Invalid, need at least 2 characters!"}));
  QCOMPARE(f.seam.boxes[0].kind, ui::BoxKind::Notice);
  QCOMPARE(Q(f.settings.SelectionFolder), Q(f.dir / "start"));

  // An earlier success leaves a result behind; the empty location still changes nothing.
  f.TypeAndOk(Q(f.dir / "other"));
  selfolderMIClick(f.dialog, f.settings, f.open);
  QCOMPARE(Q(f.settings.SelectionFolder), Q(f.dir / "other"));
  f.seam.clear();
  f.TypeAndOk("");
  selfolderMIClick(f.dialog, f.settings, f.open);
  QCOMPARE(f.seam.texts(), QStringList({"No directory selected!"}));
  QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
  QVERIFY(f.dialog.resultL->text().isEmpty());
  QCOMPARE(Q(f.settings.SelectionFolder), Q(f.dir / "other"));
  QCOMPARE(f.open.InitialDir, Q(f.dir / "other") + "/");
}

void LocationDialogTest::cancelChangesNothing_data() {
  QTest::addColumn<int>("how");
  QTest::newRow("Cancel") << 0;
  QTest::newRow("Escape in the field") << 1;
  QTest::newRow("Escape in the tree") << 2;
  QTest::newRow("close box") << 3;
}

void LocationDialogTest::cancelChangesNothing() {
  QFETCH(int, how);
  Fixture f;
  // A result left from an earlier use must not be taken up either.
  f.TypeAndOk(Q(f.dir / "other"));
  QCOMPARE(direnterBrowse(f.dialog, f.settings), std::optional<QString>(Q(f.dir / "other")));
  bool closed = false;
  WhenShown(f.dialog, [&] {
    f.dialog.locxxxE->setText(Q(f.dir / "other"));
    if (how == 0) QTest::mouseClick(f.dialog.CancelB, Qt::LeftButton);
    if (how == 1) QTest::keyClick(f.dialog.locxxxE, Qt::Key_Escape);
    if (how == 2) QTest::keyClick(f.dialog.ST1, Qt::Key_Escape);
    if (how == 3) f.dialog.close();
    closed = !f.dialog.isVisible();
  });
  selfolderMIClick(f.dialog, f.settings, f.open);
  QVERIFY(closed);
  QCOMPARE(f.dialog.result(), int(QDialog::Rejected));
  QCOMPARE(Q(f.settings.SelectionFolder), Q(f.dir / "start"));
  QCOMPARE(f.open.InitialDir, QString("unchanged"));
}

void LocationDialogTest::browseCommands() {
  Fixture f;
  const RunSettings before = f.settings;
  Qt::WindowStates state;
  QString caption;
  const auto record = [&](const QString& typed) {
    WhenShown(f.dialog, [&, typed] {
      state = f.dialog.windowState();
      caption = f.dialog.windowTitle();
      f.dialog.locxxxE->setText(typed);
      f.dialog.SavelocB->click();
    });
  };
  record(Q(f.dir / "other/"));
  QCOMPARE(diropenBrowse(f.dialog, f.settings), std::optional<QString>(Q(f.dir / "other")));
  QVERIFY(state & Qt::WindowMaximized);
  QCOMPARE(caption, QString("Search and open a folder (big browser)"));

  // The enter command keeps the state of the last use.
  record(Q(f.dir / "start"));
  QCOMPARE(direnterBrowse(f.dialog, f.settings), std::optional<QString>(Q(f.dir / "start")));
  QVERIFY(state & Qt::WindowMaximized);
  QCOMPARE(caption, QString("Give parent folder for new directories (big browser)"));

  record(Q(f.dir / "other"));
  selfolderMIClick(f.dialog, f.settings, f.open);
  QVERIFY(!(state & Qt::WindowMaximized));
  record(Q(f.dir / "start"));
  QVERIFY(direnterBrowse(f.dialog, f.settings));
  QVERIFY(!(state & Qt::WindowMaximized));
  QCOMPARE(f.settings.OutputExtension, before.OutputExtension);
}

void LocationDialogTest::noPopupMenu() {
  Fixture f;
  QStringList menus;
  WhenShown(f.dialog, [&] {
    // Any menu that opens is recorded and closed, so the test cannot block on it.
    auto recordAndClose = [&] {
      if (QWidget* popup = QApplication::activePopupWidget()) {
        menus << popup->metaObject()->className();
        popup->close();
      }
    };
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, recordAndClose);
    closer.start(10);
    QWidget* viewport = f.dialog.ST1->viewport();
    const QPoint at = f.dialog.ST1->visualItemRect(f.dialog.ST1->currentItem()).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    HandleQueuedEvents();  // a menu the event led to is open by now
    recordAndClose();
  });
  QVERIFY(!direnterBrowse(f.dialog, f.settings));
  QVERIFY2(menus.isEmpty(), qPrintable(menus.join(", ")));
}

void LocationDialogTest::reachesTheSettingsFileAndARun() {
  Fixture f;
  const QString chosen = Q(f.dir / "chosen");
  f.seam.answers = {true};
  f.TypeAndOk(chosen);
  selfolderMIClick(f.dialog, f.settings, f.open);
  const RunSettings next = quillon::testing::ThroughSettingsFile(f.settings, f.dir);
  QCOMPARE(Q(next.SelectionFolder), chosen);

  // A destination picked through the dialog is where the next run creates its files.
  f.TypeAndOk(chosen + "/");
  const std::optional<QString> destination = direnterBrowse(f.dialog, next);
  QCOMPARE(destination, std::optional<QString>(chosen));
  quillon::testing::RecordingRunHost host;
  const std::string source = f.dir.Write("names.lst", "one\r\ntwo\r\n");
  ConversionRun(host, next).Run(source, destination->toStdString());
  QCOMPARE(QDir(chosen).entryList(QDir::Files, QDir::Name), QStringList({"one.txt", "two.txt"}));
}

QTEST_MAIN(LocationDialogTest)
#include "location_dialog_test.moc"
