// The fill options dialog through its command FillfilesMIClick.
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "settings/fillU.h"
#include "support/DialogTestSupport.h"
#include "support/RecordingSeam.h"
#include "util/ui/OpenDialog.h"

using namespace quillon;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;
using quillon::testing::WhenShown;

namespace {

// Which of varGB, fixGB, fillwithGB, singleGB are enabled, as four letters ("vfw-").
QString EnabledBoxes(const TfillF& f) {
  QString state;
  state += f.varGB->isEnabled() ? 'v' : '-';
  state += f.fixGB->isEnabled() ? 'f' : '-';
  state += f.fillwithGB->isEnabled() ? 'w' : '-';
  state += f.singleGB->isEnabled() ? 's' : '-';
  return state;
}

QString SelectedMode(const TfillF& f) {
  for (QRadioButton* mode : {f.fillnoRB, f.fillfixRB, f.fillvarRB, f.fillsingleRB}) {
    if (mode->isChecked()) return mode->objectName();
  }
  return "nothing";
}

// Records the order in which boxes change their enabled state.
class EnableOrder : public QObject {
 public:
  explicit EnableOrder(const TfillF& f) {
    for (QGroupBox* box : {f.varGB, f.fixGB, f.fillwithGB, f.singleGB}) {
      box->installEventFilter(this);
    }
  }
  QStringList changes;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange) changes << watched->objectName();
    return false;
  }
};

// Settings whose every fill field differs from the defaults, to see what a command changes.
RunSettings Marked() {
  RunSettings s;
  s.FillKind = "fix";
  s.FillSource = true;
  s.FillText = false;
  s.FillTextFile = "/nowhere/marked.txt";
  s.FillCharCode = 65;
  s.FillSize = 777;
  s.SizeSeparatorCode = 59;
  return s;
}

// A click on a button's indicator, which takes the click whatever the width of its caption.
void Click(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

bool SameFill(const RunSettings& a, const RunSettings& b) {
  return a.FillKind == b.FillKind && a.FillSource == b.FillSource && a.FillText == b.FillText &&
         a.FillTextFile == b.FillTextFile && a.FillCharCode == b.FillCharCode &&
         a.FillSize == b.FillSize && a.SizeSeparatorCode == b.SizeSeparatorCode;
}

}  // namespace

class FillDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void layoutAsDesigned();
  void loadsEachKind_data();
  void loadsEachKind();
  void unknownKindLeavesModeAsItWas();
  void modesEnableTheirBoxesInOrder();
  void spaceLabelsFollowTheFields();
  void sizeWarnsWhileTyping();
  void browseAndOpenTheTextFile();
  void checksRefuseOrWarn_data();
  void checksRefuseOrWarn();
  void storesTheMode_data();
  void storesTheMode();
  void sizeErrorStopsAfterTheCodes();
  void emptyCharacterFieldsKeepTheirCodes();
  void cancelStoresNothing_data();
  void cancelStoresNothing();
  void pictureDecodedOrLeftOut();
  void reachesTheNextRunAndTheSettingsFile();
};

void FillDialogTest::layoutAsDesigned() {
  TfillF f;
  QCOMPARE(f.objectName(), QString("fillF"));
  QCOMPARE(f.windowTitle(), QString("How to fill each created file..."));
  QCOMPARE(f.size(), QSize(494, 357));
  QCOMPARE(f.singleGB->title(), QString("Enter single text..."));
  QCOMPARE(f.fixifnovarCB->text(), QString("&Use fixed size when no size found"));
  QVERIFY(f.fillsingleRB->text().isEmpty());
  QVERIFY(f.fillwithGB->title().isEmpty());
  QCOMPARE(f.fillchE->maxLength(), 1);
  QCOMPARE(f.sepE->maxLength(), 1);
  // The four radio buttons are one group.
  f.fillfixRB->setChecked(true);
  f.fillsingleRB->setChecked(true);
  QVERIFY(!f.fillfixRB->isChecked());
  QCOMPARE(SelectedMode(f), QString("fillsingleRB"));

  TfillF fresh;
  QCOMPARE(SelectedMode(fresh), QString("nothing"));
  QCOMPARE(EnabledBoxes(fresh), QString("vfw-"));
  QVERIFY(!fresh.filltxtfnE->isEnabled());
  // The radio button naming the disabled box can still be chosen.
  QVERIFY(fresh.fillsingleRB->isEnabled());

  QCOMPARE(quillon::testing::TabChain(fresh.fillnoRB),
           QStringList({"fillnoRB", "fillfixRB", "fillvarRB", "fillchE", "sizeE", "sepE",
                        "fixifnovarCB", "saveB", "cancelB", "filltxtfnE", "filltxtB", "fillsrcCB",
                        "filltxtCB", "fillsingleRB"}));
}

void FillDialogTest::loadsEachKind_data() {
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("mode");
  QTest::addColumn<bool>("tickedBefore");
  QTest::addColumn<bool>("fixifnovar");
  QTest::addColumn<QString>("boxes");
  // The check box is loaded for the two variable kinds only.
  QTest::newRow("none") << "none"
                        << "fillnoRB" << true << true << "----";
  QTest::newRow("single") << "single"
                          << "fillsingleRB" << true << true << "---s";
  QTest::newRow("fix") << "fix"
                       << "fillfixRB" << true << true << "-fw-";
  QTest::newRow("var") << "var"
                       << "fillvarRB" << true << false << "v-w-";
  QTest::newRow("fixifnovar") << "fixifnovar"
                              << "fillvarRB" << false << true << "vfw-";
  QTest::newRow("fixifnovar, ticked") << "fixifnovar"
                                      << "fillvarRB" << true << true << "vfw-";
}

void FillDialogTest::loadsEachKind() {
  QFETCH(QString, kind);
  QFETCH(QString, mode);
  QFETCH(bool, tickedBefore);
  QFETCH(bool, fixifnovar);
  QFETCH(QString, boxes);
  RecordingSeam seam;
  ui::OpenDialog open;
  TfillF f;
  // A reused dialog: a mode and the check box set the other way beforehand.
  f.fixifnovarCB->setChecked(tickedBefore);
  f.fillsingleRB->setChecked(true);
  RunSettings s = Marked();
  s.FillKind = kind.toStdString();
  s.FillText = true;
  s.FillCharCode = 304;
  s.SizeSeparatorCode = 32;
  s.FillSize = -5;
  const RunSettings before = s;
  WhenShown(f, [&] {
    QCOMPARE(SelectedMode(f), mode);
    QCOMPARE(f.fixifnovarCB->isChecked(), fixifnovar);
    QCOMPARE(EnabledBoxes(f), boxes);
    QVERIFY(f.fillsrcCB->isChecked());
    QVERIFY(f.filltxtCB->isChecked());
    QCOMPARE(f.filltxtfnE->text(), QString("/nowhere/marked.txt"));
    QCOMPARE(f.fillchE->text(), QString("0"));
    QCOMPARE(f.sepE->text(), QString(" "));
    QCOMPARE(f.sepchexplainL->text(), QString("Space"));
    QCOMPARE(f.sizeE->text(), QString("-5"));
    f.cancelB->click();
  });
  FillfilesMIClick(f, s, open);
  QVERIFY(SameFill(s, before));
  QVERIFY(seam.boxes.empty());

  if (kind != "fixifnovar") return;
  // Save without changes keeps the kind.
  WhenShown(f, [&] { f.saveBClick(); });
  FillfilesMIClick(f, s, open);
  QCOMPARE(s.FillKind, std::string("fixifnovar"));
  QCOMPARE(s.FillCharCode, 48);
}

void FillDialogTest::unknownKindLeavesModeAsItWas() {
  RecordingSeam seam;
  ui::OpenDialog open;
  TfillF f;
  RunSettings s = Marked();
  s.FillKind = "Fix";
  s.FillCharCode = 120;
  WhenShown(f, [&] {
    QCOMPARE(SelectedMode(f), QString("nothing"));
    QCOMPARE(EnabledBoxes(f), QString("vfw-"));
    f.sizeE->setText("12");
    f.saveB->click();
  });
  FillfilesMIClick(f, s, open);
  QCOMPARE(s.FillKind, std::string("Fix"));
  QCOMPARE(s.FillSize, 12);
  QCOMPARE(s.FillCharCode, 120);

  // Once a mode was loaded, an unknown kind keeps it.
  s.FillKind = "var";
  WhenShown(f, [&] { f.cancelB->click(); });
  FillfilesMIClick(f, s, open);
  s.FillKind = "anything";
  WhenShown(f, [&] {
    QCOMPARE(SelectedMode(f), QString("fillvarRB"));
    QCOMPARE(EnabledBoxes(f), QString("v-w-"));
    f.saveB->click();
  });
  FillfilesMIClick(f, s, open);
  QCOMPARE(s.FillKind, std::string("var"));
}

void FillDialogTest::modesEnableTheirBoxesInOrder() {
  TfillF f;
  f.show();
  {
    EnableOrder order(f);
    Click(f.fillsingleRB);
    QCOMPARE(EnabledBoxes(f), QString("---s"));
    QCOMPARE(order.changes, QStringList({"varGB", "fixGB", "fillwithGB", "singleGB"}));
  }
  Click(f.fillfixRB);
  QCOMPARE(EnabledBoxes(f), QString("-fw-"));
  QVERIFY(f.sizeE->isEnabled());
  QVERIFY(!f.sepE->isEnabled());
  Click(f.fillvarRB);
  QCOMPARE(EnabledBoxes(f), QString("v-w-"));
  Click(f.fixifnovarCB);
  QCOMPARE(EnabledBoxes(f), QString("vfw-"));
  QVERIFY(f.sizeE->isEnabled());
  Click(f.fillnoRB);
  QCOMPARE(EnabledBoxes(f), QString("----"));
  QVERIFY(!f.fillchE->isEnabled());
  // Variable sizes again: the fixed size follows the ticked check box.
  Click(f.fillvarRB);
  QCOMPARE(EnabledBoxes(f), QString("vfw-"));
}

void FillDialogTest::spaceLabelsFollowTheFields() {
  TfillF f;
  f.show();
  f.fillchE->clear();
  QTest::keyClick(f.fillchE, Qt::Key_Space);
  QCOMPARE(f.fillchexplainL->text(), QString("Space"));
  f.fillchE->selectAll();
  QTest::keyClicks(f.fillchE, "x");
  QCOMPARE(f.fillchE->text(), QString("x"));
  QVERIFY(f.fillchexplainL->text().isEmpty());
  // A character without a one-byte code cannot be entered.
  f.fillchE->selectAll();
  f.fillchE->insert(QString(QChar(0x20AC)));
  QCOMPARE(f.fillchE->text(), QString("x"));

  f.sepE->setText(" ");
  QCOMPARE(f.sepchexplainL->text(), QString("Space"));
  f.sepchexplainL->setText("stale");
  QTest::mouseClick(f.sepE, Qt::LeftButton);
  QCOMPARE(f.sepchexplainL->text(), QString("Space"));
  f.sepE->setText("|");
  QVERIFY(f.sepchexplainL->text().isEmpty());
  f.sepchexplainL->setText("stale");
  QTest::mouseClick(f.sepE, Qt::LeftButton);
  QCOMPARE(f.sepchexplainL->text(), QString("stale"));
}

void FillDialogTest::sizeWarnsWhileTyping() {
  RecordingSeam seam;
  TfillF f;
  f.show();
  const QString warning = "Must be a valid number...\r\nPlease correct.";
  f.sizeE->clear();
  QTest::keyClick(f.sizeE, Qt::Key_Minus);
  QCOMPARE(seam.texts(), QStringList({warning}));
  QCOMPARE(seam.boxes[0].kind, ui::BoxKind::Warning);
  seam.clear();
  f.sizeE->clear();
  QTest::keyClicks(f.sizeE, "12a");
  QCOMPARE(seam.texts(), QStringList({warning}));
  QCOMPARE(f.sizeE->text(), QString("12a"));
  seam.clear();
  f.sizeE->setText(" 0x1F");
  f.sizeE->setText("-2147483648");
  QVERIFY(seam.boxes.empty());
  f.sizeE->setText("2147483648");
  QCOMPARE(seam.texts(), QStringList({warning}));
}

void FillDialogTest::browseAndOpenTheTextFile() {
  RecordingSeam seam;
  ui::OpenDialog open;
  open.InitialDir = "/data/";
  open.Title = "earlier";
  TfillF f;
  RunSettings s;
  s.FillKind = "single";
  seam.fileAnswers = {QString("/data/fill.txt"), std::nullopt};
  WhenShown(f, [&] {
    f.filltxtB->click();
    QCOMPARE(f.filltxtfnE->text(), QString("/data/fill.txt"));
    f.filltxtB->click();
    QCOMPARE(f.filltxtfnE->text(), QString("/data/fill.txt"));
    QTest::mouseDClick(f.filltxtfnE, Qt::LeftButton);
    f.cancelB->click();
  });
  FillfilesMIClick(f, s, open);
  QCOMPARE(seam.openRequests.size(), std::size_t(2));
  QCOMPARE(seam.openRequests[0].title,
           QString("Select the file from whichthe text will be copied"));
  QCOMPARE(seam.openRequests[0].filter, QString("Txt-files (*.txt)|*.txt|All files (*.*)|*.*"));
  QCOMPARE(seam.openRequests[0].initial_folder, QString("/data/"));
  QCOMPARE(open.Title, QString("Select the file from whichthe text will be copied"));
  QCOMPARE(seam.shellTargets, QStringList({"/data/fill.txt"}));
  QVERIFY(s.FillTextFile.empty());
}

void FillDialogTest::checksRefuseOrWarn_data() {
  QTest::addColumn<QString>("mode");
  QTest::addColumn<bool>("source");
  QTest::addColumn<bool>("text");
  QTest::addColumn<QString>("fileName");  // "@dir" and "@file" name a folder and a file
  QTest::addColumn<QString>("fillChar");
  QTest::addColumn<QString>("separator");
  QTest::addColumn<QString>("size");
  QTest::addColumn<QString>("message");  // "" for none; a leading "~" for a warning
  QTest::addColumn<bool>("stored");

  const QString error1 =
      "You chose to enter single text but forgot to check one or both of the options. Changes "
      "will have no effect!";
  QTest::newRow("single, nothing ticked") << "fillsingleRB" << false << false << "@file"
                                          << "x"
                                          << "|"
                                          << "1" << error1 << false;
  QTest::newRow("single, text without file name")
      << "fillsingleRB" << false << true << ""
      << "x"
      << "|"
      << "1"
      << "~You did not enter a file name yet containing the text to write into each destination "
         "file. Do not forget to do this later on."
      << true;
  QTest::newRow("single, missing file")
      << "fillsingleRB" << true << true << "/no/such/file.txt"
      << "x"
      << "|"
      << "1"
      << "~You did not enter an existing file name: /no/such/file.txt\r\nDo not forget to create "
         "it or correct this later on."
      << true;
  QTest::newRow("single, folder")
      << "fillsingleRB" << false << true << "@dir"
      << "x"
      << "|"
      << "1"
      << "~You did not enter an existing file name: @dir\r\nDo not forget to create it or "
         "correct this later on."
      << true;
  QTest::newRow("single, existing file") << "fillsingleRB" << false << true << "@file"
                                         << ""
                                         << ""
                                         << "1"
                                         << "" << true;
  QTest::newRow("single, source only, no file name") << "fillsingleRB" << true << false << ""
                                                     << "x"
                                                     << "|"
                                                     << "1"
                                                     << "" << true;
  const QString error4 = "You forgot to enter the fill character. Changes will have no effect!";
  QTest::newRow("fix, no character") << "fillfixRB" << false << false << ""
                                     << ""
                                     << "|"
                                     << "1" << error4 << false;
  QTest::newRow("var, no character") << "fillvarRB" << false << false << ""
                                     << ""
                                     << "|"
                                     << "1" << error4 << false;
  QTest::newRow("var, no separator")
      << "fillvarRB" << false << false << ""
      << "x"
      << ""
      << "1"
      << "You forgot to enter a separator (which separates file name and size). Changes will "
         "have no effect!"
      << false;
  QTest::newRow("fix, no size") << "fillfixRB" << false << false << ""
                                << "x"
                                << ""
                                << ""
                                << "You forgot to enter a file size. Changes will have no effect!"
                                << false;
  QTest::newRow("fix, no separator needed") << "fillfixRB" << false << false << ""
                                            << "x"
                                            << ""
                                            << "3"
                                            << "" << true;
}

void FillDialogTest::checksRefuseOrWarn() {
  QFETCH(QString, mode);
  QFETCH(bool, source);
  QFETCH(bool, text);
  QFETCH(QString, fileName);
  QFETCH(QString, fillChar);
  QFETCH(QString, separator);
  QFETCH(QString, size);
  QFETCH(QString, message);
  QFETCH(bool, stored);
  TempDir dir;
  const QString folder = QString::fromStdString(dir.path());
  const QString file = QString::fromStdString(dir.Write("fill.txt", "text"));
  fileName.replace("@dir", folder).replace("@file", file);
  message.replace("@dir", folder);

  RecordingSeam seam;
  ui::OpenDialog open;
  TfillF f;
  RunSettings s = Marked();
  const RunSettings before = s;
  WhenShown(f, [&] {
    f.findChild<QRadioButton*>(mode)->setChecked(true);
    f.fillsrcCB->setChecked(source);
    f.filltxtCB->setChecked(text);
    f.filltxtfnE->setText(fileName);
    f.fillchE->setText(fillChar);
    f.sepE->setText(separator);
    f.sizeE->setText(size);
    f.saveB->click();
  });
  FillfilesMIClick(f, s, open);

  if (message.isEmpty()) {
    QVERIFY2(seam.boxes.empty(), qPrintable(seam.texts().join(" | ")));
  } else {
    const bool warning = message.startsWith('~');
    QCOMPARE(seam.texts(), QStringList({warning ? message.mid(1) : message}));
    QCOMPARE(seam.boxes[0].kind, warning ? ui::BoxKind::Warning : ui::BoxKind::Error);
  }
  if (!stored) {
    QVERIFY(SameFill(s, before));
    return;
  }
  QCOMPARE(s.FillSource, source);
  QCOMPARE(s.FillText, text);
  QCOMPARE(s.FillTextFile, fileName.toStdString());
  QCOMPARE(s.FillSize, size.toInt());
  QCOMPARE(s.FillKind, std::string(mode == "fillfixRB" ? "fix" : "single"));
}

void FillDialogTest::storesTheMode_data() {
  QTest::addColumn<QString>("mode");
  QTest::addColumn<bool>("fixifnovar");
  QTest::addColumn<QString>("kind");
  QTest::newRow("no fill") << "fillnoRB" << true << "none";
  QTest::newRow("fixed") << "fillfixRB" << true << "fix";
  QTest::newRow("variable") << "fillvarRB" << false << "var";
  QTest::newRow("variable, fixed when none") << "fillvarRB" << true << "fixifnovar";
}

void FillDialogTest::storesTheMode() {
  QFETCH(QString, mode);
  QFETCH(bool, fixifnovar);
  QFETCH(QString, kind);
  RecordingSeam seam;
  ui::OpenDialog open;
  TfillF f;
  RunSettings s = Marked();
  s.FillKind = "single";
  WhenShown(f, [&] {
    Click(f.findChild<QRadioButton*>(mode));
    f.fixifnovarCB->setChecked(fixifnovar);
    f.fillchE->setText(QString(QChar(0xE9)));
    f.sepE->setText("~");
    f.sizeE->setText("0x10");
    f.saveB->click();
  });
  FillfilesMIClick(f, s, open);
  QVERIFY2(seam.boxes.empty(), qPrintable(seam.texts().join(" | ")));
  QCOMPARE(s.FillKind, kind.toStdString());
  QCOMPARE(s.FillCharCode, 0xE9);
  QCOMPARE(s.SizeSeparatorCode, int('~'));
  QCOMPARE(s.FillSize, 16);
  QCOMPARE(s.FillSource, true);
}

void FillDialogTest::sizeErrorStopsAfterTheCodes() {
  RecordingSeam seam;
  ui::OpenDialog open;
  TfillF f;
  RunSettings s = Marked();
  WhenShown(f, [&] {
    f.fillvarRB->setChecked(true);
    f.fixifnovarCB->setChecked(true);
    f.filltxtCB->setChecked(true);
    f.filltxtfnE->setText("/t.txt");
    f.fillchE->setText("z");
    f.sepE->setText("#");
    f.sizeE->clear();
    f.saveB->click();
  });
  FillfilesMIClick(f, s, open);
  QCOMPARE(seam.texts(), QStringList({"'' is not a valid integer value."}));
  QCOMPARE(seam.boxes[0].kind, ui::BoxKind::ApplicationError);
  QCOMPARE(s.FillKind, std::string("fixifnovar"));
  QCOMPARE(s.FillText, true);
  QCOMPARE(s.FillTextFile, std::string("/t.txt"));
  QCOMPARE(s.FillCharCode, int('z'));
  QCOMPARE(s.SizeSeparatorCode, int('#'));
  QCOMPARE(s.FillSize, 777);

  // Also in a mode that does not use the size, after the warning of the typing.
  seam.clear();
  WhenShown(f, [&] {
    f.fillnoRB->setChecked(true);
    f.sizeE->setText("12a");
    f.saveB->click();
  });
  FillfilesMIClick(f, s, open);
  QCOMPARE(seam.texts(), QStringList({"Must be a valid number...\r\nPlease correct.",
                                      "'12a' is not a valid integer value."}));
  QCOMPARE(s.FillKind, std::string("none"));
  QCOMPARE(s.FillSize, 777);
}

void FillDialogTest::emptyCharacterFieldsKeepTheirCodes() {
  RecordingSeam seam;
  ui::OpenDialog open;
  TfillF f;
  RunSettings s = Marked();
  WhenShown(f, [&] {
    f.fillnoRB->setChecked(true);
    f.fillchE->clear();
    f.sepE->clear();
    f.sizeE->setText("4");
    f.saveB->click();
  });
  FillfilesMIClick(f, s, open);
  QVERIFY(seam.boxes.empty());
  QCOMPARE(s.FillKind, std::string("none"));
  QCOMPARE(s.FillCharCode, 65);
  QCOMPARE(s.SizeSeparatorCode, 59);
  QCOMPARE(s.FillSize, 4);
}

void FillDialogTest::cancelStoresNothing_data() {
  QTest::addColumn<int>("how");
  QTest::newRow("Cancel") << 0;
  QTest::newRow("Escape") << 1;
  QTest::newRow("close box") << 2;
  QTest::newRow("cancelBClick") << 3;
}

void FillDialogTest::cancelStoresNothing() {
  QFETCH(int, how);
  RecordingSeam seam;
  ui::OpenDialog open;
  TfillF f;
  RunSettings s = Marked();
  const RunSettings before = s;
  bool closed = false;
  WhenShown(f, [&] {
    f.fillvarRB->setChecked(true);
    f.fillchE->setText("q");
    f.sepE->setText("!");
    f.sizeE->setText("9");
    f.sizeE->setFocus();
    if (how == 0) Click(f.cancelB);
    if (how == 1) QTest::keyClick(f.sizeE, Qt::Key_Escape);
    if (how == 2) f.close();
    if (how == 3) f.cancelBClick();
    closed = !f.isVisible();
  });
  FillfilesMIClick(f, s, open);
  QVERIFY(closed);
  QCOMPARE(f.result(), int(QDialog::Rejected));
  QVERIFY(SameFill(s, before));
}

void FillDialogTest::pictureDecodedOrLeftOut() {
  QFile resource(TfillF::kPicturePath);
  QVERIFY(resource.open(QIODevice::ReadOnly));
  const QByteArray jpeg = resource.readAll();
  const QImage image = DecodeJpeg(jpeg);
  QCOMPARE(image.size(), QSize(2, 27));
  // The strip is lighter on its right column than on its left.
  QVERIFY(qGray(image.pixel(1, 13)) > qGray(image.pixel(0, 13)));

  TfillF f;
  QCOMPARE(f.Image1->pixmap().size(), QSize(2, 27));
  QVERIFY(f.Image1->hasScaledContents());

  QVERIFY(DecodeJpeg(QByteArray("not a picture")).isNull());
  QVERIFY(DecodeJpeg(QByteArray()).isNull());
  QVERIFY(LoadFillPicture("/no/such/picture.jpg").isNull());
  TempDir dir;
  const std::string broken = dir.Write("broken.jpg", std::string("\xFF\xD8\xFF\xE0garbage", 11));
  QVERIFY(LoadFillPicture(QString::fromStdString(broken)).isNull());
}

void FillDialogTest::reachesTheNextRunAndTheSettingsFile() {
  RecordingSeam seam;
  ui::OpenDialog open;
  TfillF f;
  RunSettings s;
  WhenShown(f, [&] {
    Click(f.fillvarRB);
    Click(f.fixifnovarCB);
    f.fillchE->setText("x");
    f.sepE->setText("#");
    f.sizeE->setText("3");
    Click(f.saveB);
  });
  FillfilesMIClick(f, s, open);
  QVERIFY(seam.boxes.empty());

  TempDir dir;
  const RunSettings next = quillon::testing::ThroughSettingsFile(s, dir);
  QCOMPARE(next.FillKind, std::string("fixifnovar"));
  QCOMPARE(next.FillCharCode, int('x'));
  QCOMPARE(next.SizeSeparatorCode, int('#'));
  QCOMPARE(next.FillSize, 3);

  quillon::testing::RecordingRunHost host;
  const std::string out = quillon::testing::RunOnce(next, dir, "sized#5\r\nplain\r\n", host);
  QCOMPARE(quillon::testing::ReadBytes(out + "/sized.txt"), std::string("xxxxx"));
  QCOMPARE(quillon::testing::ReadBytes(out + "/plain.txt"), std::string("xxx"));
}

QTEST_MAIN(FillDialogTest)
#include "fill_dialog_test.moc"
