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
#include <functional>
#include <memory>

#include "app/PlanModel.h"
#include "app/PreviewF.h"
#include "app/ReportMemo.h"
#include "app/quillonU.h"
#include "support/EventSync.h"
#include "support/FileSizeLimit.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"
#include "util/RunJournal.h"

using namespace quillon;
using quillon::testing::FileSizeLimit;
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

// A seam that can act while a question waits for its answer.
class WaitingSeam : public RecordingSeam {
 public:
  bool AskYesNo(const QString& question, quillon::ui::DefaultAnswer default_answer) override {
    if (whileAsked) std::exchange(whileAsked, nullptr)(question);
    return RecordingSeam::AskYesNo(question, default_answer);
  }
  std::function<void(const QString&)> whileAsked;  // once, at the next question
};

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

  // The report's lines that start with the text.
  QStringList ReportLines(const QString& start) const {
    return Report().filter(
        QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(start)));
  }
  void RunNames(const std::string& lines) {
    Paths(dir.Write("names.txt", lines));
    window->RunB->click();
  }

  TempDir dir;
  std::string out = dir / "out";
  std::string journal = dir / "state/quillon/last-run.journal";
  WaitingSeam seam;
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
  void aRunWhoseJournalFailsGoesOnWithNothingToUndo();
  void twoWindowsSharingTheStateFolderKeepTheirOwnJournals();
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
           QStringList{FromBytes("Undo the last run in " + w.out +
                                 "? Its 3 created files are removed where unchanged since.")});
  QCOMPARE(w.seam.defaultAnswers, std::vector{quillon::ui::DefaultAnswer::No});
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

void RunCommandsTest::aRunWhoseJournalFailsGoesOnWithNothingToUndo() {
  std::unique_ptr<FileSizeLimit> limit;
  struct Case {
    const char* what;
    std::function<void(Window&)> spoil, mend;          // after a first journaled run
    std::function<std::string(const Window&)> reason;  // told in the report
  };
  const auto state = [](const Window& w) { return w.dir / "state/quillon"; };
  const std::vector<Case> cases = {
      {"the journal's name a folder",
       [](Window& w) {
         fs::remove(w.journal);
         fs::create_directory(w.journal);
       },
       [](Window& w) { fs::remove(w.journal); },
       [](const Window& w) {
         return "unable to rename the journal to " + w.journal + ": a folder has its name";
       }},
      {"the state folder a file",
       [&](Window& w) {
         fs::remove_all(state(w));
         w.dir.Write("state/quillon", "");
       },
       [&](Window& w) { fs::remove(state(w)); },
       [&](const Window& w) { return "unable to make the folder " + state(w); }},
      {"the journal's writes failing once it has its name",
       // Room for the next journal's first lines, not for all of them.
       [&](Window& w) { limit = std::make_unique<FileSizeLimit>(fs::file_size(w.journal) - 1); },
       [&](Window&) { limit.reset(); },
       [](const Window& w) { return "unable to write the journal " + w.journal + ": Disk full"; }},
  };
  for (const Case& c : cases) {
    Window w;
    w.RunNames("a\r\nb\r\nc\r\n");
    QVERIFY2(fs::is_regular_file(w.journal), c.what);
    c.spoil(w);
    w.RunNames("d\r\ne\r\nf\r\ng\r\nh\r\ni\r\n");
    limit.reset();
    QVERIFY2(w.Report().contains(QStringLiteral("Created files: 6/6")), c.what);
    QCOMPARE(w.ReportLines(QStringLiteral("Journal not kept")),
             QStringList{
                 FromBytes("Journal not kept: " + c.reason(w) + ". This run cannot be undone.")});
    w.seam.clear();
    w.window->UndoLastRunMIClick();
    QCOMPARE(w.seam.texts(),
             QStringList{QStringLiteral("No run to undo: the last run kept no journal.")});
    // Nor after a restart does the first run stand for the last.
    w.window = std::make_unique<TmainF>(w.dir / "quillon");
    w.window->UndoLastRunMIClick();
    QVERIFY2(w.seam.questions.isEmpty(), c.what);
    QCOMPARE(Listing(w.out).size(), 9);
    // The next journaled run can be undone again.
    c.mend(w);
    w.RunNames("j\r\n");
    w.window->UndoLastRunMIClick();
    QCOMPARE(w.seam.questions,
             QStringList{FromBytes("Undo the last run in " + w.out +
                                   "? Its 1 created files are removed where unchanged since.")});
  }
}

void RunCommandsTest::twoWindowsSharingTheStateFolderKeepTheirOwnJournals() {
  Window w;
  TmainF other(w.dir / "quillon");
  const std::string other_out = w.dir / "other";
  fs::create_directory(other_out);
  other.AddsourceE->setText(FromBytes(w.dir.Write("three.txt", "x\r\ny\r\nz\r\n")));
  other.adddestE->setText(FromBytes(other_out));
  std::string many;
  for (int i = 0; i < 101; ++i) many += "n" + std::to_string(i) + "\r\n";
  // While the first window waits at its question, the other runs whole.
  std::size_t other_journaled = 0;
  w.seam.whileAsked = [&](const QString&) {
    other.RunB->click();
    const std::optional<RunJournal> journal = ReadRunJournal(w.journal);
    other_journaled = journal ? journal->files.size() : 0;
  };
  w.seam.answers = {true};
  w.RunNames(many);
  QCOMPARE(other_journaled, std::size_t{3});
  QVERIFY(other.RunM->toPlainText().contains(QStringLiteral("Created files: 3/3")));
  QVERIFY(w.Report().contains(QStringLiteral("Created files: 101/101")));
  QVERIFY(w.seam.boxes.size() == 1);  // the question alone, no failure
  QVERIFY(w.ReportLines(QStringLiteral("Journal not kept")).isEmpty());
  // The last run's journal is the first window's, whole.
  w.seam.clear();
  w.seam.answers = {true};
  w.window->UndoLastRunMIClick();
  QCOMPARE(w.seam.questions.value(0),
           FromBytes("Undo the last run in " + w.out +
                     "? Its 101 created files are removed where unchanged since."));
  QVERIFY(w.Report().contains(QStringLiteral("Undone: 101 removed, 0 kept.")));
  QCOMPARE(Listing(other_out).size(), 3);
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
