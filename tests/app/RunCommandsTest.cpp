// The commands around a run in the window: Preview, Undo last run, Save report and the reasons
// of refused report lines, on the offscreen platform.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/PlanModel.h"
#include "app/PreviewF.h"
#include "app/ReportMemo.h"
#include "app/quillonU.h"
#include "support/EventSync.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"

using namespace quillon;
using quillon::testing::kGuardMs;
using quillon::testing::ReadBytes;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;
using quillon::ui::FromBytes;

namespace {

namespace fs = std::filesystem;

QStringList Listing(const std::string& folder) {
  QStringList entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    entries << FromBytes(entry.path().string());
  }
  entries.sort();
  return entries;
}

// A window of its own program folder, its state (the run's journal) in a folder of its own.
struct Window {
  Window() {
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(dir / "state"));
    window = std::make_unique<TmainF>(dir / "quillon");
    fs::create_directory(out);
  }
  void Paths(const std::string& source) {
    window->AddsourceE->setText(FromBytes(source));
    window->adddestE->setText(FromBytes(out));
  }
  QAction* Action(const char* name) const {
    return window->findChild<QAction*>(QString::fromLatin1(name));
  }
  QStringList Report() const { return window->RunM->toPlainText().split('\n'); }

  TempDir dir;
  std::string out = dir / "out";
  RecordingSeam seam;
  std::unique_ptr<TmainF> window;
};

// A line of each outcome, a long one of 130 characters among them.
const std::string kMixed = "alpha|12\r\nbeta\r\n\r\nalpha\r\nbad:name\r\nmissing\\x\r\nCON\r\n" +
                           std::string(130, 'z') + "\r\ngamma|x\r\n";

}  // namespace

class RunCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void previewFollowsTheRunButtonsRule();
  void previewShowsThePlanAndChangesNothing();
  void previewSortsAndFilters();
  void previewOpensAHundredThousandLines();
  void undoLastRunAsksWithTheCountAndKeepsChangedFiles();
  void saveReportWritesCrLfLines();
  void refusedReportLinesCarryTheirReason();
};

void RunCommandsTest::previewFollowsTheRunButtonsRule() {
  Window w;
  QVERIFY(!w.window->PreviewB->isEnabled());
  QCOMPARE(w.window->PreviewB->text(), QStringLiteral("&Preview"));
  QCOMPARE(w.Action("PreviewMI")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
  QCOMPARE(w.Action("SaveReportMI")->text(), QStringLiteral("&Save report..."));
  QCOMPARE(w.Action("UndoLastRunMI")->text(), QStringLiteral("&Undo last run"));
  w.window->AddsourceE->setText(QStringLiteral("names.txt"));
  QVERIFY(!w.window->PreviewB->isEnabled());
  w.window->adddestE->setText(QStringLiteral("out"));
  QVERIFY(w.window->PreviewB->isEnabled());
  w.window->AddsourceE->clear();
  QVERIFY(!w.window->PreviewB->isEnabled());
}

void RunCommandsTest::previewShowsThePlanAndChangesNothing() {
  Window w;
  w.window->RunSettings().FillKind = "var";
  w.Paths(w.dir.Write("names.txt", kMixed));
  const QStringList before = Listing(w.dir.path());
  w.Action("PreviewMI")->trigger();
  auto* preview = w.window->findChild<TPreviewF*>(QStringLiteral("PreviewF"));
  QVERIFY(preview);
  QVERIFY(preview->isVisible());
  QCOMPARE(Listing(w.dir.path()), before);
  const PlanModel& model = *preview->Model();
  QCOMPARE(model.rowCount(), 9);
  const auto row = [&](int r) {
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c) cells << model.index(r, c).data().toString();
    return cells.join('|');
  };
  QCOMPARE(row(0), QStringLiteral("1|alpha.txt|12|Created|"));
  QCOMPARE(row(2), QStringLiteral("3||0|Blank|"));
  QCOMPARE(row(3), QStringLiteral("4|alpha.txt|0|Exists already|line 1 creates it"));
  QCOMPARE(row(4), QStringLiteral("5|bad:name.txt|0|Unable to create|invalid character \":\""));
  QCOMPARE(row(5),
           QStringLiteral("6|missing\\x.txt|0|Unable to create|missing subfolder \"missing\""));
  QVERIFY(row(7).endsWith(
      QStringLiteral("|Too long|path of %1 characters, over 127").arg(w.out.size() + 1 + 130 + 4)));
  QCOMPARE(preview->summaryL->text(),
           QStringLiteral("Finished!   Blank lines met: 1   Created files: 3/8   "
                          "Existing files: 1/8   Success ratio: 4/8 or 50%"));

  // The run then reports what the preview predicted.
  w.window->RunB->click();
  QVERIFY(w.Report().contains(QStringLiteral("Created files: 3/8")));
  QVERIFY(w.Report().contains(QStringLiteral("Exists already: alpha")));
}

void RunCommandsTest::previewSortsAndFilters() {
  Window w;
  w.window->RunSettings().FillKind = "var";
  w.Paths(w.dir.Write("names.txt", kMixed));
  w.window->PreviewBClick();
  auto* preview = w.window->findChild<TPreviewF*>(QStringLiteral("PreviewF"));
  PlanModel& model = *preview->Model();
  preview->outcomeCB->setCurrentText(QStringLiteral("Unable to create"));
  QCOMPARE(model.rowCount(), 3);
  for (int r = 0; r < model.rowCount(); ++r) QCOMPARE(model.LineAt(r).outcome, LineOutcome::Unable);
  preview->outcomeCB->setCurrentIndex(0);
  QCOMPARE(model.rowCount(), 9);
  preview->planV->sortByColumn(PlanModel::FillSizeColumn, Qt::DescendingOrder);
  QCOMPARE(model.LineAt(0).fill_size, 12);
  preview->planV->sortByColumn(PlanModel::FileNameColumn, Qt::AscendingOrder);
  QCOMPARE(model.index(0, PlanModel::FileNameColumn).data().toString(), QString());
  QCOMPARE(model.index(1, PlanModel::FileNameColumn).data().toString(), QStringLiteral("CON.txt"));
  // Among equal names, the source's order stays.
  QCOMPARE(model.LineAt(2).line, 1);
  QCOMPARE(model.LineAt(3).line, 4);
}

void RunCommandsTest::previewOpensAHundredThousandLines() {
  Window w;
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "name" + std::to_string(i) + "\r\n";
  w.Paths(w.dir.Write("many.txt", many));
  QElapsedTimer timer;
  timer.start();
  w.window->PreviewBClick();
  auto* preview = w.window->findChild<TPreviewF*>(QStringLiteral("PreviewF"));
  QVERIFY(QTest::qWaitForWindowExposed(preview, kGuardMs));
  QCoreApplication::processEvents();
  qInfo("100,000 lines planned and shown in %lld ms", static_cast<long long>(timer.elapsed()));
  QCOMPARE(preview->Model()->rowCount(), 100000);
  QVERIFY(w.seam.boxes.empty());  // a plan asks nothing, also over 100 lines
  QVERIFY(preview->summaryL->text().contains(QStringLiteral("Created files: 100000/100000")));
}

void RunCommandsTest::undoLastRunAsksWithTheCountAndKeepsChangedFiles() {
  Window w;
  w.Action("UndoLastRunMI")->trigger();
  QCOMPARE(w.seam.texts().value(0),
           QStringLiteral("No run to undo: the last run created no files."));
  w.seam.clear();

  w.Paths(w.dir.Write("names.txt", "a\r\nb\r\nc\r\n"));
  w.window->RunB->click();
  QVERIFY(fs::exists(w.dir / "state/quillon/last-run.journal"));
  std::ofstream(w.out + "/b.txt", std::ios::app) << "changed";
  // A run its checks refuse keeps the journal of the run before.
  w.window->AddsourceE->setText(FromBytes(w.dir / "missing.txt"));
  w.window->RunB->click();
  w.seam.clear();

  w.Action("UndoLastRunMI")->trigger();  // answered No
  QCOMPARE(w.seam.questions,
           QStringList{QStringLiteral(
               "Undo the last run? Its 3 created files are removed where unchanged since.")});
  QVERIFY(fs::exists(w.out + "/a.txt"));
  w.seam.answers = {true};
  w.window->UndoLastRunMIClick();
  const QStringList report = w.Report();
  QCOMPARE(report.mid(report.size() - 4),
           (QStringList{"Removed: a.txt", "Kept (changed since the run): b.txt", "Removed: c.txt",
                        "Undone: 2 removed, 1 kept."}));
  QCOMPARE(Listing(w.out), QStringList{FromBytes(w.out + "/b.txt")});
  // Undone once, the run is no more to undo.
  w.seam.clear();
  w.window->UndoLastRunMIClick();
  QVERIFY(w.seam.questions.isEmpty());
}

void RunCommandsTest::saveReportWritesCrLfLines() {
  Window w;
  w.Paths(w.dir.Write("names.txt", "a\r\na\r\n"));
  w.window->RunB->click();
  w.seam.fileAnswers = {QString::fromStdString(w.dir / "report.txt")};
  w.Action("SaveReportMI")->trigger();
  QCOMPARE(w.seam.saveRequests.size(), std::size_t{1});
  QCOMPARE(ReadBytes(w.dir / "report.txt"),
           std::string("Started...\r\nExists already: a\r\nFinished!\r\nCreated files: 1/2\r\n"
                       "Existing files: 1/2\r\nSuccess ratio: 2/2 or 100%\r\n"));
  // Cancelled, nothing is written.
  w.window->SaveReportMIClick();
  QCOMPARE(w.seam.saveRequests.size(), std::size_t{2});
}

void RunCommandsTest::refusedReportLinesCarryTheirReason() {
  Window w;
  w.Paths(w.dir.Write("names.txt", kMixed));
  w.window->RunB->click();
  const QStringList report = w.Report();
  const auto tip = [&](const QString& line) {
    return w.window->RunM->LineTip(static_cast<int>(report.indexOf(line)));
  };
  QCOMPARE(tip(QStringLiteral("Unable to create: bad:name")),
           QStringLiteral("invalid character \":\""));
  QCOMPARE(tip(QStringLiteral("Unable to create: CON")),
           QStringLiteral("reserved device name \"CON.txt\""));
  QVERIFY(tip(QStringLiteral("Warning: file to be made longer than 127 characters. Forbidden. "
                             "Possibly bad text-file given!"))
              .startsWith(QStringLiteral("path of ")));
  QCOMPARE(tip(QStringLiteral("Started...")), QString());
  w.window->ClearB->click();
  QCOMPARE(w.window->RunM->LineTip(0), QString());
}

QTEST_MAIN(RunCommandsTest)
#include "RunCommandsTest.moc"
