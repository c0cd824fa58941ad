// The output extension and invalid characters dialogs through their commands.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "settings/outputextensionU.h"
#include "settings/repU.h"
#include "support/DialogTestSupport.h"
#include "support/RecordingSeam.h"

using namespace quillon;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;
using quillon::testing::WhenShown;

namespace {

const QString kDotWarning =
    "You included a dot in the extension which you should not as it will be added "
    "auttomatically in front of the extension... Please check and eventually retry.";
const QString kLongWarning =
    "You typed more characters than the default length of an extension (3)... Please check and "
    "eventually retry.";
const QString kShortWarning =
    "You typed less characters than the default length of an extension (3)... Please check and "
    "eventually retry.";

QString Kinds(const RecordingSeam& seam) {
  QString kinds;
  for (const auto& box : seam.boxes) kinds += box.kind == ui::BoxKind::Error ? 'E' : 'W';
  return kinds;
}

// Closes a shown dialog one of three ways: its Cancel button, Escape, the close box.
void CloseWithoutOk(QDialog& dialog, QPushButton* cancel, QWidget* focused, int how) {
  if (how == 0) QTest::mouseClick(cancel, Qt::LeftButton);
  if (how == 1) QTest::keyClick(focused, Qt::Key_Escape);
  if (how == 2) dialog.close();
}

void AddClosingRows() {
  QTest::addColumn<int>("how");
  QTest::newRow("Cancel") << 0;
  QTest::newRow("Escape") << 1;
  QTest::newRow("close box") << 2;
}

}  // namespace

class OptionDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void extensionLayout();
  void extensionLoads();
  void extensionScan_data();
  void extensionScan();
  void extensionCancelStoresNothing_data();
  void extensionCancelStoresNothing();
  void extensionReachesTheNextRun();

  void replacerLayout();
  void replacerTypingLimit();
  void replacerChecks_data();
  void replacerChecks();
  void replacerCancelStoresNothing_data();
  void replacerCancelStoresNothing();
  void replacerReachesTheNextRun();
};

void OptionDialogsTest::extensionLayout() {
  ToutputextF d;
  QCOMPARE(d.objectName(), QString("outputextF"));
  QCOMPARE(d.windowTitle(), QString("Output Extension"));
  QCOMPARE(d.size(), QSize(317, 188));
  QCOMPARE(d.extE->text(), QString("txt"));
  QVERIFY(d.extalwaysRB->isChecked());
  QCOMPARE(d.extsometimesRB->text(), QString("Do &not add extension when one is found in input"));
  QCOMPARE(d.OkB->text(), QString("&Ok"));
  QCOMPARE(quillon::testing::TabChain(d.extE),
           QStringList({"extE", "extalwaysRB", "extsometimesRB", "OkB", "CancelB"}));
}

void OptionDialogsTest::extensionLoads() {
  RecordingSeam seam;
  ToutputextF d;
  RunSettings s;
  s.OutputExtension = "html";
  s.ExtensionAlways = false;
  WhenShown(d, [&] {
    QCOMPARE(d.extE->text(), QString("html"));
    QVERIFY(d.extsometimesRB->isChecked());
    d.CancelB->click();
  });
  outputextension1Click(d, s);
  s.ExtensionAlways = true;
  WhenShown(d, [&] {
    QVERIFY(d.extalwaysRB->isChecked());
    d.CancelB->click();
  });
  outputextension1Click(d, s);
}

void OptionDialogsTest::extensionScan_data() {
  QTest::addColumn<QString>("entry");
  QTest::addColumn<QStringList>("messages");
  QTest::addColumn<QString>("kinds");
  QTest::addColumn<bool>("stored");
  QTest::newRow("htm") << "htm" << QStringList() << "" << true;
  QTest::newRow(".txt") << ".txt" << QStringList({kDotWarning, kLongWarning}) << "WW" << true;
  QTest::newRow("a.b.c") << "a.b.c" << QStringList({kDotWarning, kDotWarning, kLongWarning})
                         << "WWW" << true;
  QTest::newRow("empty") << "" << QStringList({kShortWarning}) << "W" << true;
  QTest::newRow("two") << "md" << QStringList({kShortWarning}) << "W" << true;
  QTest::newRow("blank inside") << "a b" << QStringList() << "" << true;
  QTest::newRow("t*t") << "t*t" << QStringList({"Forbidden character: *\n\rPlease retry."}) << "E"
                       << false;
  QTest::newRow(".*") << ".*"
                      << QStringList({kDotWarning, "Forbidden character: *\n\rPlease retry."})
                      << "WE" << false;
  QTest::newRow("first forbidden ends the scan")
      << "a|.b\\" << QStringList({"Forbidden character: |\n\rPlease retry."}) << "E" << false;
  for (const char c : std::string("\\/:*?\"<>|")) {
    QTest::newRow(qPrintable(QString("forbidden %1").arg(c)))
        << QString("x%1y").arg(c)
        << QStringList({QString("Forbidden character: %1\n\rPlease retry.").arg(c)}) << "E"
        << false;
  }
}

void OptionDialogsTest::extensionScan() {
  QFETCH(QString, entry);
  QFETCH(QStringList, messages);
  QFETCH(QString, kinds);
  QFETCH(bool, stored);
  RecordingSeam seam;
  ToutputextF d;
  RunSettings s;
  s.OutputExtension = "old";
  s.ExtensionAlways = true;
  WhenShown(d, [&] {
    d.extE->setText(entry);
    QTest::mouseClick(d.extsometimesRB, Qt::LeftButton, {}, QPoint(8, 10));
    QVERIFY(d.extsometimesRB->isChecked());
    QTest::mouseClick(d.OkB, Qt::LeftButton);
  });
  outputextension1Click(d, s);
  QCOMPARE(seam.texts(), messages);
  QCOMPARE(Kinds(seam), kinds);
  QCOMPARE(s.OutputExtension, stored ? entry.toStdString() : std::string("old"));
  QCOMPARE(s.ExtensionAlways, !stored);
}

void OptionDialogsTest::extensionCancelStoresNothing_data() { AddClosingRows(); }

void OptionDialogsTest::extensionCancelStoresNothing() {
  QFETCH(int, how);
  RecordingSeam seam;
  ToutputextF d;
  RunSettings s;
  WhenShown(d, [&] {
    d.extE->setText("doc");
    d.extsometimesRB->setChecked(true);
    d.extE->setFocus();
    CloseWithoutOk(d, d.CancelB, d.extE, how);
    QVERIFY(!d.isVisible());
  });
  outputextension1Click(d, s);
  QCOMPARE(d.result(), int(QDialog::Rejected));
  QCOMPARE(s.OutputExtension, std::string("txt"));
  QVERIFY(s.ExtensionAlways);
  QVERIFY(seam.boxes.empty());
}

void OptionDialogsTest::extensionReachesTheNextRun() {
  RecordingSeam seam;
  ToutputextF d;
  RunSettings s;
  WhenShown(d, [&] {
    d.extE->setText("dat");
    d.extsometimesRB->setChecked(true);
    d.OkB->click();
  });
  outputextension1Click(d, s);
  TempDir dir;
  const RunSettings next = quillon::testing::ThroughSettingsFile(s, dir);
  QCOMPARE(next.OutputExtension, std::string("dat"));
  QCOMPARE(next.ExtensionAlways, false);
  quillon::testing::RecordingRunHost host;
  const std::string out = quillon::testing::RunOnce(next, dir, "plain\r\nnamed.csv\r\n", host);
  QCOMPARE(QDir(QString::fromStdString(out)).entryList(QDir::Files, QDir::Name),
           QStringList({"named.csv", "plain.dat"}));
}

void OptionDialogsTest::replacerLayout() {
  TrepF d;
  QCOMPARE(d.objectName(), QString("repF"));
  QCOMPARE(d.windowTitle(), QString("Replace invalid characters"));
  QCOMPARE(d.size(), QSize(344, 206));
  QCOMPARE(d.repCB->text(), QString("&Replace invalid characters"));
  const QString hint = d.repCB->toolTip();
  QCOMPARE(hint, QString("Invalid characters in file names are: \\ / : * ? \" < > | "));
  QCOMPARE(hint.size(), 56);
  QVERIFY(!(d.windowFlags() & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(d.windowFlags() & Qt::WindowMaximizeButtonHint));
  QCOMPARE(quillon::testing::TabChain(d.repCB), QStringList({"repCB", "repE", "SaveB", "CancelB"}));
}

void OptionDialogsTest::replacerTypingLimit() {
  TrepF d;
  d.show();
  QTest::keyClicks(d.repE, "abcdefghijklmnopqrst");
  QCOMPARE(d.repE->text(), QString("abcdefghijklmno"));

  // A paste is cut to what fits.
  d.repE->setText("0123456789");
  d.repE->end(false);
  QApplication::clipboard()->setText("ABCDEFGHIJ");
  d.repE->paste();
  QCOMPARE(d.repE->text(), QString("0123456789ABCDE"));

  // A longer text set by the program stays whole; it can be shortened, not lengthened.
  const QString loaded = "abcdefghijklmnopqrst";
  d.LoadReplacer(loaded);
  QCOMPARE(d.repE->text(), loaded);
  d.repE->end(false);
  QTest::keyClicks(d.repE, "u");
  QCOMPARE(d.repE->text(), loaded);
  QTest::keyClick(d.repE, Qt::Key_Backspace);
  QCOMPARE(d.repE->text(), loaded.left(19));
  QTest::keyClicks(d.repE, "t");
  QCOMPARE(d.repE->text(), loaded.left(19));
  // Undo brings the loaded text back; typing after it is limited as before.
  QTest::keyClick(d.repE, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(d.repE->text(), loaded);
  QTest::keyClicks(d.repE, "xyz");
  QCOMPARE(d.repE->text(), loaded);
  QTest::keyClick(d.repE, Qt::Key_Backspace);
  QTest::keyClicks(d.repE, "xyz");
  QCOMPARE(d.repE->text(), loaded.left(19));
}

void OptionDialogsTest::replacerChecks_data() {
  QTest::addColumn<QString>("loaded");
  QTest::addColumn<QString>("typed");  // replaces the loaded text unless "-"
  QTest::addColumn<bool>("ticked");
  QTest::addColumn<QString>("message");
  QTest::newRow("underscore") << "TEMP"
                              << "_" << true << "";
  QTest::newRow("empty") << "TEMP"
                         << "" << true << "";
  QTest::newRow("unticked keeps the text") << "keep"
                                           << "-" << false << "";
  QTest::newRow("exactly 15") << "TEMP"
                              << "123456789012345" << true << "";
  QTest::newRow("a/b") << "TEMP"
                       << "a/b" << true << "Forbidden to enter a forbidden character: /";
  QTest::newRow("first forbidden")
      << "TEMP"
      << "x<y>" << false << "Forbidden to enter a forbidden character: <";
  QTest::newRow("20 from the settings file")
      << "abcdefghij0123456789"
      << "-" << false << "You can enter only up to 15 characters";
  QTest::newRow("length before characters")
      << "abcdefghij:123456789"
      << "-" << true << "You can enter only up to 15 characters";
}

void OptionDialogsTest::replacerChecks() {
  QFETCH(QString, loaded);
  QFETCH(QString, typed);
  QFETCH(bool, ticked);
  QFETCH(QString, message);
  RecordingSeam seam;
  TrepF d;
  RunSettings s;
  s.InvalidReplacer = loaded.toStdString();
  s.ReplaceInvalid = !ticked;
  WhenShown(d, [&] {
    QCOMPARE(d.repE->text(), loaded);
    QCOMPARE(d.repCB->isChecked(), !ticked);
    if (typed != "-") {
      d.repE->clear();
      QTest::keyClicks(d.repE, typed);
      QCOMPARE(d.repE->text(), typed);
    }
    QTest::mouseClick(d.repCB, Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(d.repCB->isChecked(), ticked);
    QTest::mouseClick(d.SaveB, Qt::LeftButton);
  });
  Replaceillegalcharacters1Click(d, s);
  const QString expected = typed == "-" ? loaded : typed;
  if (message.isEmpty()) {
    QVERIFY(seam.boxes.empty());
    QCOMPARE(s.InvalidReplacer, expected.toStdString());
    QCOMPARE(s.ReplaceInvalid, ticked);
  } else {
    QCOMPARE(seam.texts(), QStringList({message}));
    QCOMPARE(Kinds(seam), QString("E"));
    QCOMPARE(s.InvalidReplacer, loaded.toStdString());
    QCOMPARE(s.ReplaceInvalid, !ticked);
  }
}

void OptionDialogsTest::replacerCancelStoresNothing_data() { AddClosingRows(); }

void OptionDialogsTest::replacerCancelStoresNothing() {
  QFETCH(int, how);
  RecordingSeam seam;
  TrepF d;
  RunSettings s;
  WhenShown(d, [&] {
    d.repE->setText("_");
    d.repCB->setChecked(true);
    d.repE->setFocus();
    CloseWithoutOk(d, d.CancelB, d.repE, how);
    QVERIFY(!d.isVisible());
  });
  Replaceillegalcharacters1Click(d, s);
  QCOMPARE(d.result(), int(QDialog::Rejected));
  QCOMPARE(s.InvalidReplacer, std::string("TEMP"));
  QVERIFY(!s.ReplaceInvalid);
}

void OptionDialogsTest::replacerReachesTheNextRun() {
  RecordingSeam seam;
  TrepF d;
  RunSettings s;
  WhenShown(d, [&] {
    d.repE->setText("_");
    d.repCB->setChecked(true);
    d.SaveB->click();
  });
  Replaceillegalcharacters1Click(d, s);
  TempDir dir;
  const RunSettings next = quillon::testing::ThroughSettingsFile(s, dir);
  QCOMPARE(next.InvalidReplacer, std::string("_"));
  QVERIFY(next.ReplaceInvalid);
  quillon::testing::RecordingRunHost host;
  const std::string out = quillon::testing::RunOnce(next, dir, "a:b?c\r\n", host);
  QCOMPARE(QDir(QString::fromStdString(out)).entryList(QDir::Files), QStringList({"a_b_c.txt"}));
}

QTEST_MAIN(OptionDialogsTest)
#include "option_dialogs_test.moc"
