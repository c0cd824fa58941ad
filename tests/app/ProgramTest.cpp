// The program as a whole: its windows in start-up order, a window that appears before its tree
// reads its way to the selection folder, the menu commands that open the dialogs, and the
// application error box for failures no handler caught.
#include <QAction>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <new>

#include "app/QuillonApplication.h"
#include "app/Windows.h"
#include "shelltree/ShellTree.h"
#include "support/EventSync.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"
#include "util/IoError.h"

using namespace quillon;
using quillon::testing::kGuardMs;
using quillon::testing::ReadBytes;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;
using quillon::ui::BoxKind;

namespace {

// Throws from its event handler, as a command whose file output fails does.
class Failing : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw quillon::IoError("Disk full");
    if (event->type() == QEvent::Type(QEvent::User + 1)) throw std::bad_alloc();
    return QObject::event(event);
  }
};

// Runs once the next modal dialog is up: notes its name and lets the action decide.
void WhenModal(const std::function<void(QWidget*)>& action) {
  QTimer::singleShot(0, [action] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal);
    action(modal);
  });
}

}  // namespace

class ProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void windowsInStartUpOrder() {
    TempDir dir;
    RecordingSeam seam;
    QuillonWindows windows(dir / "quillon");
    QStringList dialogs;
    for (QObject* child : windows.mainF->children()) {
      if (qobject_cast<QDialog*>(child)) dialogs << child->objectName();
    }
    QCOMPARE(dialogs, (QStringList{"LocxxxF", "repF", "fillF", "outputextF", "AboutF"}));
    for (QDialog* dialog : std::initializer_list<QDialog*>{
             windows.LocxxxF.get(), windows.repF.get(), windows.fillF.get(),
             windows.outputextF.get(), windows.AboutF.get()}) {
      QVERIFY(!dialog->isVisible());
    }
    // The settings were read when the main window was made, before any dialog existed.
    QCOMPARE(windows.mainF->RunSettings().SelectionFolder, dir.path());
  }

  void theWindowAppearsBeforeTheTreeReadsItsWayToTheSelectionFolder() {
    TempDir dir;
    RecordingSeam seam;
    QuillonWindows windows(dir / "quillon");
    TmainF& w = *windows.mainF;
    // Where the tree stood when the window first painted.
    struct AtFirstPaint : QObject {
      explicit AtFirstPaint(TmainF& window) : w(window) { w.installEventFilter(this); }
      bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
          painted = true;
          path = w.ST1->Path();
        }
        return false;
      }
      TmainF& w;
      bool painted = false;
      QString path;
    } first(w);
    w.show();
    QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), QString::fromStdString(dir.path()), kGuardMs);
    QVERIFY(first.painted);
    QVERIFY(first.path != QString::fromStdString(dir.path()));
    w.close();
  }

  void optionCommandsOpenTheirDialogs() {
    TempDir dir;
    RecordingSeam seam;
    QuillonWindows windows(dir / "quillon");
    windows.mainF->show();
    QStringList opened;
    for (const char* name : {"Replaceillegalcharacters1", "outputextension1", "FillfilesMI"}) {
      WhenModal([&](QWidget* modal) {
        opened << modal->objectName();
        static_cast<QDialog*>(modal)->reject();
      });
      windows.mainF->findChild<QAction*>(name)->trigger();
    }
    QCOMPARE(opened, (QStringList{"repF", "outputextF", "fillF"}));
    // Cancelled dialogs change nothing.
    QCOMPARE(windows.mainF->RunSettings().FillKind, std::string("none"));
    QCOMPARE(windows.mainF->RunSettings().OutputExtension, std::string("txt"));
    windows.mainF->close();
  }

  void selectionFolderAndFolderBrowse() {
    TempDir dir;
    RecordingSeam seam;
    std::filesystem::create_directory(dir / "texts");
    QuillonWindows windows(dir / "quillon");
    TmainF& w = *windows.mainF;
    w.show();
    auto accept = [&](const std::string& folder) {
      WhenModal([folder, &windows](QWidget* modal) {
        QCOMPARE(modal, static_cast<QWidget*>(windows.LocxxxF.get()));
        windows.LocxxxF->locxxxE->setText(QString::fromStdString(folder));
        windows.LocxxxF->SavelocB->click();
      });
    };

    accept(dir / "texts");
    w.findChild<QAction*>("selfolderMI")->trigger();
    QCOMPARE(w.StatusText(), QString::fromStdString("Actual selection folder: " + dir.path()));
    QCOMPARE(w.RunSettings().SelectionFolder, dir / "texts");
    QCOMPARE(w.OpenDialog().InitialDir, QString::fromStdString(dir / "texts") + "/");

    // Folder > Enter > Browse...: into the destination field and both folder histories.
    accept(dir / "texts");
    w.findChild<QAction*>("direnterBrowseMI")->trigger();
    QCOMPARE(windows.LocxxxF->windowTitle(),
             QStringLiteral("Give parent folder for new directories (big browser)"));
    QCOMPARE(w.adddestE->text(), QString::fromStdString(dir / "texts"));
    QCOMPARE(ReadBytes(dir / "dirfiles.his"), (dir / "texts") + "\r\n");

    // Folder > Open > Browse... moves the tree; a cancelled dialog changes nothing.
    accept(dir.path());
    w.findChild<QAction*>("diropenBrowseMI")->trigger();
    QCOMPARE(w.ST1->Path(), QString::fromStdString(dir.path()));
    QCOMPARE(ReadBytes(dir / "dirfiles.his"), dir.path() + "\r\n" + (dir / "texts") + "\r\n");
    WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    w.findChild<QAction*>("diropenBrowseMI")->trigger();
    QCOMPARE(ReadBytes(dir / "dirfiles.his"), dir.path() + "\r\n" + (dir / "texts") + "\r\n");
    w.close();
  }

  void desktopEntryAndIconGoByOneId() {
    // The entry the build installs is named by the id the running program announces, and its
    // icon is that id too.
    const QString id = QGuiApplication::desktopFileName();
    QCOMPARE(QFileInfo(QStringLiteral(QUILLON_DESKTOP_FILE)).fileName(), id + ".desktop");
    const std::string entry = ReadBytes(QUILLON_DESKTOP_FILE);
    QVERIFY(entry.find("\nIcon=" + id.toStdString() + "\n") != std::string::npos);
    // The window carries the icon in every size drawn, none of them blank.
    TempDir dir;
    RecordingSeam seam;
    QuillonWindows windows(dir / "quillon");
    const QIcon icon = windows.mainF->windowIcon();
    const QList<QSize> drawn{{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
    QCOMPARE(icon.availableSizes(), drawn);
    for (const QSize& size : drawn) {
      const QImage image = icon.pixmap(size).toImage();
      QCOMPARE(image.size(), size);
      QVERIFY(image.pixelColor(size.width() / 4, size.height() / 2).alpha() == 255);
      QVERIFY(image.pixelColor(0, size.height() - 1).alpha() == 0);
    }
  }

  void uncaughtFailuresShowTheApplicationErrorBox() {
    RecordingSeam seam;
    Failing failing;
    QEvent event(QEvent::User);
    QApplication::sendEvent(&failing, &event);
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    QCOMPARE(seam.boxes.size(), std::size_t(2));
    for (const RecordingSeam::Box& box : seam.boxes) {
      QCOMPARE(box.kind, BoxKind::ApplicationError);
      QCOMPARE(box.title, QStringLiteral("Quillon"));
      QCOMPARE(box.text, QStringLiteral("Disk full."));
    }
    // A lack of memory is told in words, not as the library's name for it.
    seam.clear();
    QCoreApplication::postEvent(&failing, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::processEvents();
    QCOMPARE(seam.texts(), QStringList{QStringLiteral("Out of memory.")});
  }
};

int main(int argc, char** argv) {
  QuillonApplication application(argc, argv);
  ProgramTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ProgramTest.moc"
