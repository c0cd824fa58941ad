// The main window driven through its controls' names, on the offscreen platform.
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/AboutU.h"
#include "app/DriveBox.h"
#include "app/FileLists.h"
#include "app/ReportMemo.h"
#include "app/quillonU.h"
#include "engine/ConversionRun.h"
#include "history/MYcustomhistory.h"
#include "settings/SettingsFile.h"
#include "shelltree/ShellTree.h"
#include "support/EventSync.h"
#include "support/FileSizeLimit.h"
#include "support/RecordingRunHost.h"
#include "support/RecordingSeam.h"
#include "support/TempDir.h"
#include "util/FileSystem.h"
#include "util/Text.h"
#include "util/Volumes.h"

using namespace quillon;
using quillon::testing::kGuardMs;
using quillon::testing::ReadBytes;
using quillon::testing::RecordingSeam;
using quillon::testing::TempDir;
using quillon::ui::BoxKind;
using quillon::ui::FromBytes;
using quillon::ui::ToBytes;

namespace {

// A seam that also notes the run buttons' states whenever a question is asked.
class StateSeam : public RecordingSeam {
 public:
  bool AskYesNo(const QString& question, quillon::ui::DefaultAnswer default_answer) override {
    if (window) {
      states << QStringLiteral("cancel=%1 run=%2 clear=%3")
                    .arg(window->cancelB->isEnabled())
                    .arg(window->RunB->isEnabled())
                    .arg(window->ClearB->isEnabled());
      reports << window->RunM->toPlainText();
    }
    return RecordingSeam::AskYesNo(question, default_answer);
  }
  TmainF* window = nullptr;
  QStringList states;
  QStringList reports;
};

QString ButtonStates(const TmainF& window) {
  return QStringLiteral("cancel=%1 run=%2 clear=%3")
      .arg(window.cancelB->isEnabled())
      .arg(window.RunB->isEnabled())
      .arg(window.ClearB->isEnabled());
}

std::vector<std::string> ReportLines(const TmainF& window) {
  std::vector<std::string> lines;
  const QString text = window.RunM->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split('\n')) lines.push_back(ToBytes(line));
  return lines;
}

std::string NumberedLines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "line" + std::to_string(i) + "\r\n";
  return text;
}

QString Q(const std::string& bytes) { return FromBytes(bytes); }

// A history entry of a submenu, as the menu shows it now.
QAction* Entry(const QMenu* menu, const char* name) {
  for (QAction* action : menu->actions()) {
    if (action->objectName() == QLatin1String(name)) return action;
  }
  return nullptr;
}

// A fresh program folder with its window, the seam answering every box.
struct Fixture {
  Fixture() {
    seam.window = nullptr;
    window = std::make_unique<TmainF>(dir / "quillon");
    seam.window = window.get();
  }
  void Show() {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get(), kGuardMs));
  }
  void SetPaths(const std::string& source, const std::string& destination) {
    window->AddsourceE->setText(Q(source));
    window->adddestE->setText(Q(destination));
  }
  TempDir dir;
  StateSeam seam;
  std::unique_ptr<TmainF> window;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startState();
  void menusCaptionsAndShortcuts();
  void keyboardOrder();
  void runButtonRule();
  void runReportEqualsTheEngines();
  void runStatesDuringAndAfterQuestion();
  void refusedRunsReturnToIdle();
  void cancelStopsAfterTheCurrentLine();
  void cancelDuringTheLastLineCancels();
  void failureOfFileOutputShowsApplicationError();
  void settingsReadAtCreationWrittenAtClose();
  void unwritableSettingsShowTheError();
  void escapeClosesFromAnEdit();
  void everyWayOutClosesAndSaves();
  void aboutAndBackgroundClick();
  void helpCommands();
  void installedCopyFindsItsHelpPageAndKeepsItsFilesWithTheUser();
  void historyFilesAfterRunsAndBrowsing();
  void historyPicksAndLimits();
  void folderOpenRefusesMissingFolder();
  void fileListFilterAndAddButtons();
  void statusBarInformation();
  void folderCommands();
  void removeFileCommand();
  void dropsFillThePathFields();
};

void MainWindowTest::startState() {
  Fixture f;
  TmainF& w = *f.window;
  QCOMPARE(w.objectName(), QStringLiteral("mainF"));
  QCOMPARE(w.windowTitle(), QStringLiteral("Quillon"));
  for (
      const char* name :
      {"Panel1",          "Panel2",      "Panel3",   "Panel4",     "SelectL",      "DriveComboBox1",
       "infoCB",          "filefilterL", "filterCB", "ST1",        "FileListBox1", "dlb1",
       "FilterComboBox1", "sourceL",     "Label6",   "AddsourceB", "AddsourceE",   "destL",
       "Label1",          "adddestB",    "adddestE", "repL",       "RunB",         "cancelB",
       "ClearB",          "ExitB",       "RunM",     "stb1",       "PM1",          "flbPM"}) {
    QVERIFY2(w.findChild<QObject*>(QString::fromLatin1(name)), name);
  }
  QVERIFY(!w.AddsourceB->isEnabled());
  QVERIFY(!w.adddestB->isEnabled());
  QCOMPARE(ButtonStates(w), QStringLiteral("cancel=0 run=0 clear=0"));
  QVERIFY(w.ExitB->isEnabled());
  QVERIFY(w.RunM->isReadOnly());
  QVERIFY(!w.infoCB->isChecked());
  QCOMPARE(w.filterCB->currentText(), QStringLiteral("*.txt"));
  QCOMPARE(w.FilterComboBox1->Filter(), QStringLiteral("custom files|*.txt"));
  QCOMPARE(w.StatusText(), QString());
  QVERIFY(w.windowState() & Qt::WindowMaximized);
  QCOMPARE(w.sourceL->palette().color(QPalette::WindowText), QColor(0, 170, 100));
  QCOMPARE(w.destL->palette().color(QPalette::WindowText), QColor(170, 0, 0));
  QCOMPARE(w.repL->palette().color(QPalette::WindowText), QColor(0, 0, 170));
  QCOMPARE(w.ProgramFolder(), Q(f.dir.path()));
  QCOMPARE(w.OpenDialog().InitialDir, Q(f.dir.path()) + "/");
  QVERIFY(w.RunPB->isHidden());
  // The histories loaded and wrote their (empty) files at creation.
  QCOMPARE(ReadBytes(f.dir / "files.his"), std::string());
  QCOMPARE(ReadBytes(f.dir / "dirfiles.his"), std::string());
  QVERIFY(f.seam.boxes.empty());
}

void MainWindowTest::menusCaptionsAndShortcuts() {
  Fixture f;
  TmainF& w = *f.window;
  struct Item {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
  };
  const Item items[] = {
      {"enterbrowse", "&Browse...", QKeySequence(Qt::CTRL | Qt::Key_B)},
      {"openbrowse", "&Browse...", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_B)},
      {"Exit2", "E&xit", {}},
      {"direnterBrowseMI", "&Browse...", QKeySequence(Qt::CTRL | Qt::Key_D)},
      {"diropenBrowseMI", "&Browse...", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D)},
      {"selfolderMI", "&Selection folder", {}},
      {"Replaceillegalcharacters1", "&Invalid characters", QKeySequence(Qt::CTRL | Qt::Key_F2)},
      {"outputextension1", "Output &extension", QKeySequence(Qt::SHIFT | Qt::Key_F2)},
      {"FillfilesMI", "Fill files...", QKeySequence(Qt::Key_F3)},
      {"Contents1", "&Contents", QKeySequence(Qt::Key_F1)},
      {"textversion", "&Text Help", {}},
      {"Website1", "Go to &website", {}},
      {"About1", "&About", {}},
      {"Exit1", "E&xit", {}},
      {"Createfolder1", "Create folder", {}},
      {"Removefolder1", "Remove empty folder", {}},
      {"Remove1", "&Remove", {}},
  };
  for (const Item& item : items) {
    auto* action = w.findChild<QAction*>(QString::fromLatin1(item.name));
    QVERIFY2(action, item.name);
    QCOMPARE(action->text(), QString::fromLatin1(item.caption));
    QCOMPARE(action->shortcut(), item.shortcut);
  }
  QStringList bar;
  for (QAction* action : w.menuBar()->actions()) bar << action->text();
  QCOMPARE(bar, QStringList({"&File", "Fol&der", "&Options", "&Help", "&About", "E&xit"}));
  QVERIFY(!w.findChild<QAction*>("About1")->menu());
  // Each submenu: Browse, the separator, then the history's ">>>".
  for (QMenu* menu : {w.EnterMI, w.openMI, w.dirEnterMI, w.dirOpenMI}) {
    const QList<QAction*> actions = menu->actions();
    QVERIFY(actions.size() >= 3);
    QCOMPARE(actions[0]->text(), QStringLiteral("&Browse..."));
    QVERIFY(actions[1]->isSeparator());
    QCOMPARE(actions[2]->text(), QStringLiteral(">>>"));
  }
  QCOMPARE(w.EnterMI->title(), QStringLiteral("&Enter"));
  QCOMPARE(w.dirOpenMI->title(), QStringLiteral("&Open"));
}

void MainWindowTest::keyboardOrder() {
  Fixture f;
  f.Show();
  TmainF& w = *f.window;
  for (QPushButton* button : {w.AddsourceB, w.adddestB, w.RunB, w.cancelB, w.ClearB}) {
    button->setEnabled(true);
  }
  w.activateWindow();
  w.DriveComboBox1->setFocus(Qt::TabFocusReason);
  QStringList order;
  for (int i = 0; i < 15; ++i) {
    QWidget* focused = QApplication::focusWidget();
    QVERIFY(focused);
    order << focused->objectName();
    QTest::keyClick(focused, Qt::Key_Tab);
  }
  QCOMPARE(order, (QStringList{"DriveComboBox1", "infoCB", "filterCB", "ST1", "FileListBox1",
                               "AddsourceB", "AddsourceE", "adddestB", "adddestE", "RunB",
                               "cancelB", "ClearB", "ExitB", "RunM", "DriveComboBox1"}));
}

void MainWindowTest::runButtonRule() {
  Fixture f;
  TmainF& w = *f.window;
  w.AddsourceE->setText("a.txt");
  QVERIFY(!w.RunB->isEnabled());
  w.adddestE->setText("out");
  QVERIFY(w.RunB->isEnabled());
  w.AddsourceE->clear();
  QVERIFY(!w.RunB->isEnabled());
  w.AddsourceE->setText("b.txt");
  QVERIFY(w.RunB->isEnabled());
  w.adddestE->clear();
  QVERIFY(!w.RunB->isEnabled());
  // No run has ended yet, so Clear stays disabled although the report is empty.
  QVERIFY(!w.ClearB->isEnabled());
}

void MainWindowTest::runReportEqualsTheEngines() {
  Fixture f;
  TmainF& w = *f.window;
  const std::string source =
      f.dir.Write("names.txt", "a\r\nb\r\na\r\n\r\nbad:name\r\n" + std::string(130, 'x') + "\r\n");
  std::filesystem::create_directory(f.dir / "out");
  std::filesystem::create_directory(f.dir / "engine");

  f.SetPaths(source, f.dir / "out");
  w.RunB->click();

  quillon::testing::RecordingRunHost engineHost;
  quillon::ConversionRun(engineHost, w.RunSettings()).Run(source, f.dir / "engine");
  std::vector<std::string> expected = engineHost.report;
  QVERIFY(expected.size() > 6);
  QCOMPARE(ReportLines(w), expected);
  QVERIFY(std::filesystem::exists(f.dir / "out/a.txt"));
  QVERIFY(std::filesystem::exists(f.dir / "out/b.txt"));
  QCOMPARE(ButtonStates(w), QStringLiteral("cancel=0 run=1 clear=1"));
  QVERIFY(w.RunPB->isHidden());

  // A second run appends its own report, where every file exists already.
  w.RunB->click();
  quillon::ConversionRun(engineHost, w.RunSettings()).Run(source, f.dir / "engine");
  QCOMPARE(ReportLines(w), engineHost.report);
  QCOMPARE(ReportLines(w).back(), std::string("Success ratio: 3/5 or 60%"));
  // Clear empties the report and stays enabled.
  w.ClearB->click();
  QCOMPARE(w.RunM->toPlainText(), QString());
  QVERIFY(w.ClearB->isEnabled());
}

void MainWindowTest::runStatesDuringAndAfterQuestion() {
  Fixture f;
  TmainF& w = *f.window;
  const std::string source = f.dir.Write("many.txt", NumberedLines(101));
  f.SetPaths(source, f.dir / "missing");
  // Yes to the 101 files, No to creating the destination.
  f.seam.answers = {true, false};
  w.RunB->click();
  QCOMPARE(
      f.seam.questions,
      QStringList({"101 files to be created. Really proceed??",
                   "Chosen parent folder is invalid or does not exist. I try to create it??"}));
  QCOMPARE(f.seam.states, QStringList({"cancel=1 run=0 clear=0", "cancel=1 run=0 clear=0"}));
  // The report is shown up to its last line before each question.
  QCOMPARE(f.seam.reports, QStringList({"Started...", "Started...\nParent folder does not exist: " +
                                                          Q(f.dir / "missing")}));
  QCOMPARE(ButtonStates(w), QStringLiteral("cancel=0 run=1 clear=1"));
  QCOMPARE(ReportLines(w),
           (std::vector<std::string>{"Started...",
                                     "Parent folder does not exist: " + (f.dir / "missing")}));

  // While running, typing into the path fields does not enable a second run.
  f.seam.clear();
  bool runEnabledDuringRun = true;
  QTimer::singleShot(0, &w, [&] {
    w.adddestE->setText(Q(f.dir / "other"));
    runEnabledDuringRun = w.RunB->isEnabled();
  });
  f.seam.answers = {true, true};
  w.RunB->click();
  QVERIFY(!runEnabledDuringRun);
  QCOMPARE(ButtonStates(w), QStringLiteral("cancel=0 run=1 clear=1"));
  QCOMPARE(ReportLines(w).back(), std::string("Success ratio: 101/101 or 100%"));
}

void MainWindowTest::refusedRunsReturnToIdle() {
  Fixture f;
  TmainF& w = *f.window;
  f.SetPaths(f.dir / "none.txt", f.dir / "dest");
  w.RunB->click();
  QCOMPARE(f.seam.boxes.size(), std::size_t(1));
  QCOMPARE(f.seam.boxes[0].kind, BoxKind::Error);
  QCOMPARE(f.seam.boxes[0].text,
           Q(f.dir / "none.txt") + " does not exist! Please check complete path.");
  QCOMPARE(ReportLines(w),
           (std::vector<std::string>{"Started...", "Does not exist: " + (f.dir / "none.txt")}));
  QCOMPARE(ButtonStates(w), QStringLiteral("cancel=0 run=1 clear=1"));
  // The destination entered both folder histories; the file histories stay empty.
  QCOMPARE(ReadBytes(f.dir / "dirfiles.his"), (f.dir / "dest") + "\r\n");
  QCOMPARE(ReadBytes(f.dir / "files.his"), std::string());
  QCOMPARE(w.MYdirenterH->items(), QStringList{Q(f.dir / "dest")});
  QCOMPARE(w.MYdiropenH->items(), QStringList{Q(f.dir / "dest")});
  QVERIFY(w.MyEnterH->items().isEmpty());

  // Refused by the question: idle again, with the line of the refusal.
  f.seam.clear();
  const std::string many = f.dir.Write("many.txt", NumberedLines(150));
  w.AddsourceE->setText(Q(many));
  w.RunB->click();
  QCOMPARE(ReportLines(w).back(), std::string("User decides not to proceed."));
  QCOMPARE(ButtonStates(w), QStringLiteral("cancel=0 run=1 clear=1"));
  QVERIFY(!std::filesystem::exists(f.dir / "dest"));
}

void MainWindowTest::cancelDuringTheLastLineCancels() {
  // Fast lines leave their events for later, but never past the last counted line.
  QVERIFY(quillon::WindowRunHost::EventsDue(-1, 1, 50));
  QVERIFY(!quillon::WindowRunHost::EventsDue(1, 2, 50));
  QVERIFY(quillon::WindowRunHost::EventsDue(4, 2, 50));
  QVERIFY(quillon::WindowRunHost::EventsDue(0, 50, 50));
  // Blank lines shrink the total below the lines read.
  QVERIFY(quillon::WindowRunHost::EventsDue(0, 48, 45));
}

void MainWindowTest::cancelStopsAfterTheCurrentLine() {
  Fixture f;
  TmainF& w = *f.window;
  const std::string source = f.dir.Write("five.txt", NumberedLines(5));
  std::filesystem::create_directory(f.dir / "out");
  f.SetPaths(source, f.dir / "out");
  // The press waits in the event queue while the first line is processed.
  QString statesWhileRunning;
  bool progressShown = false;
  QTimer::singleShot(0, w.cancelB, [&] {
    statesWhileRunning = ButtonStates(w);
    progressShown = !w.RunPB->isHidden();
    w.cancelB->click();
  });
  w.RunB->click();
  QCOMPARE(statesWhileRunning, QStringLiteral("cancel=1 run=0 clear=0"));
  QVERIFY(progressShown);
  QVERIFY(w.RunPB->isHidden());
  const std::vector<std::string> lines = ReportLines(w);
  QCOMPARE(lines, (std::vector<std::string>{"Started...", "Cancelled! Not all created.",
                                            "Created files: 1/5", "Existing files: 0/5",
                                            "Success ratio: 1/5 or 20%"}));
  QVERIFY(std::filesystem::exists(f.dir / "out/line1.txt"));
  QVERIFY(!std::filesystem::exists(f.dir / "out/line2.txt"));
  QCOMPARE(ButtonStates(w), QStringLiteral("cancel=0 run=1 clear=1"));

  // The next run starts uncancelled.
  w.RunB->click();
  QCOMPARE(ReportLines(w).back(), std::string("Success ratio: 5/5 or 100%"));

  // Closing the window during a run stops the run after its line, then closes the window.
  w.show();
  w.RunM->clear();
  std::filesystem::create_directory(f.dir / "again");
  w.adddestE->setText(Q(f.dir / "again"));
  bool stillOpen = false;
  QTimer::singleShot(0, &w, [&] {
    w.close();
    stillOpen = w.isVisible();
  });
  w.RunB->click();
  QVERIFY(stillOpen);
  QVERIFY(!w.isVisible());
  QCOMPARE(ReportLines(w)[1], std::string("Cancelled! Not all created."));
  QVERIFY(std::filesystem::exists(f.dir / "quillon.ini"));
}

void MainWindowTest::failureOfFileOutputShowsApplicationError() {
  Fixture f;
  TmainF& w = *f.window;
  const std::string source = f.dir.Write("two.txt", "a\r\nb\r\n");
  std::filesystem::create_directory(f.dir / "out");
  w.RunSettings().FillKind = "fix";
  w.RunSettings().FillSize = 100000;
  f.SetPaths(source, f.dir / "out");
  {
    // The first fill outgrows what this process may write.
    const quillon::testing::FileSizeLimit limit(4096);
    w.RunB->click();
  }
  QCOMPARE(f.seam.boxes.size(), std::size_t(1));
  QCOMPARE(f.seam.boxes[0].kind, BoxKind::ApplicationError);
  QCOMPARE(f.seam.boxes[0].title, QStringLiteral("Quillon"));
  QCOMPARE(f.seam.boxes[0].text, QStringLiteral("Disk full."));
  QVERIFY2(std::filesystem::is_empty(f.dir / "out"), "the file whose filling failed is left");
  QCOMPARE(ButtonStates(w), QStringLiteral("cancel=0 run=1 clear=1"));
  QVERIFY(w.RunPB->isHidden());
  QCOMPARE(ReportLines(w), std::vector<std::string>{"Started..."});
}

void MainWindowTest::settingsReadAtCreationWrittenAtClose() {
  TempDir dir;
  RecordingSeam seam;
  dir.Write("quillon.ini",
            "; mine\r\n[Output extension]\r\nExtension=log\r\nAlways=0\r\n[Other]\r\nKeep=1\r\n");
  {
    TmainF w(dir / "quillon");
    QCOMPARE(w.RunSettings().OutputExtension, std::string("log"));
    QVERIFY(!w.RunSettings().ExtensionAlways);
    QCOMPARE(w.RunSettings().SelectionFolder, dir.path());
    QCOMPARE(w.SettingsFile(), Q(dir / "quillon.ini"));
    w.RunSettings().FillKind = "fix";
    w.RunSettings().FillSize = 12;
    // Nothing is written before the window closes.
    QVERIFY(ReadBytes(dir / "quillon.ini").find("Kind") == std::string::npos);
    w.show();
    QVERIFY(w.close());
    QCOMPARE(w.StatusText(), "Saving settings to " + Q(dir / "quillon.ini"));
    QVERIFY(!w.ST1);
  }
  const std::string ini = ReadBytes(dir / "quillon.ini");
  const quillon::RunSettings read = quillon::ReadRunSettings(dir / "quillon.ini", "/elsewhere");
  QCOMPARE(read.FillKind, std::string("fix"));
  QCOMPARE(read.FillSize, 12);
  QCOMPARE(read.OutputExtension, std::string("log"));
  QCOMPARE(read.SelectionFolder, dir.path());
  for (const char* line :
       {"[Several]\r\nSelection folder=", "Extension=log\r\nAlways=0\r\n",
        "[Invalid characters]\r\nInvalid replace=0\r\nInvalid replacer=TEMP\r\n",
        "[Fill]\r\nKind=fix\r\nSource=0\r\nText=0\r\nFile name=\r\nWith=48\r\nSize=12\r\n"
        "Separator=124\r\n",
        "; mine\r\n", "[Other]\r\nKeep=1\r\n"}) {
    QVERIFY2(ini.find(line) != std::string::npos, line);
  }
  QVERIFY(seam.boxes.empty());
}

void MainWindowTest::unwritableSettingsShowTheError() {
  TempDir dir;
  RecordingSeam seam;
  std::filesystem::create_directory(dir / "quillon.ini");  // a folder where the file belongs
  TmainF w(dir / "quillon");
  QVERIFY(w.close());
  QCOMPARE(seam.boxes.size(), std::size_t(1));
  QCOMPARE(seam.boxes[0].kind, BoxKind::ApplicationError);
  QCOMPARE(seam.boxes[0].text, "Unable to write to " + Q(dir / "quillon.ini") + ".");
}

void MainWindowTest::escapeClosesFromAnEdit() {
  Fixture f;
  f.Show();
  TmainF& w = *f.window;
  w.AddsourceE->setFocus();
  QTest::keyClicks(w.AddsourceE, "abc");
  QCOMPARE(w.AddsourceE->text(), QStringLiteral("abc"));
  QTest::keyClick(w.AddsourceE, Qt::Key_Escape);
  QVERIFY(!w.isVisible());
  QVERIFY(std::filesystem::exists(f.dir / "quillon.ini"));
}

void MainWindowTest::everyWayOutClosesAndSaves() {
  const std::function<void(TmainF&)> ways[] = {
      [](TmainF& w) { w.findChild<QAction*>("Exit1")->trigger(); },
      [](TmainF& w) { w.findChild<QAction*>("Exit2")->trigger(); },
      [](TmainF& w) { w.ExitB->click(); },
      [](TmainF& w) { w.close(); },
  };
  for (const auto& way : ways) {
    Fixture f;
    f.Show();
    TmainF& w = *f.window;
    way(w);
    QVERIFY(!w.isVisible());
    QVERIFY(!w.ST1);
    QVERIFY(std::filesystem::exists(f.dir / "quillon.ini"));
    QCOMPARE(w.StatusText(), "Saving settings to " + Q(f.dir / "quillon.ini"));
  }
}

void MainWindowTest::aboutAndBackgroundClick() {
  Fixture f;
  f.Show();
  TmainF& w = *f.window;
  TAboutF about(&w, w.DataFolder());
  w.SetDialogs(nullptr, nullptr, nullptr, nullptr, &about);
  const QString text = about.aboutM->toPlainText();
  QVERIFY(!text.isEmpty());
  QCOMPARE(about.windowTitle(), QStringLiteral("About..."));
  QCOMPARE(about.findChild<QLabel*>("ProgramL")->text(), QStringLiteral("Quillon"));
  QCOMPARE(about.findChild<QLabel*>("VersionL")->text(), QStringLiteral("Version 3.0"));
  QString statusWhileShown;
  QPoint centreWhileShown;
  QFont memoFontWhileShown;
  w.showNormal();
  w.move(0, 0);
  for (int shown = 0; shown < 2; ++shown) {
    QTimer::singleShot(0, &about, [&] {
      statusWhileShown = w.StatusText();
      memoFontWhileShown = about.aboutM->font();
      centreWhileShown = about.frameGeometry().center();
      QTest::keyClick(&about, Qt::Key_Escape);
    });
    w.findChild<QAction*>("About1")->trigger();
    QCOMPARE(statusWhileShown, QStringLiteral("About..."));
    const QPoint screenCentre = about.screen()->availableGeometry().center();
    QVERIFY((centreWhileShown - screenCentre).manhattanLength() <= 2);
    QCOMPARE(w.StatusText(), QStringLiteral("About..."));
    QCOMPARE(about.aboutM->toPlainText(), text);
    QCOMPARE(memoFontWhileShown.pixelSize(), 9);
    QCOMPARE(memoFontWhileShown.family(),
             QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
  }
  QVERIFY(w.isVisible());  // Escape closed the box only
  // A click on a panel is not the background; a click between the panels is.
  QTest::mouseClick(w.Panel4, Qt::LeftButton, {}, QPoint(3, 3));
  QCOMPARE(w.StatusText(), QStringLiteral("About..."));
  const QPoint between = w.centralWidget()->mapFromGlobal(
      w.Panel2->mapToGlobal(QPoint(w.Panel2->width() / 2, w.Panel2->height() + 2)));
  QTest::mouseClick(w.centralWidget(), Qt::LeftButton, {}, between);
  QCOMPARE(w.StatusText(), QString());
}

void MainWindowTest::helpCommands() {
  Fixture f;
  TmainF& w = *f.window;
  w.findChild<QAction*>("Contents1")->trigger();
  w.findChild<QAction*>("Website1")->trigger();
  QCOMPARE(f.seam.shellTargets.size(), 2);
  QCOMPARE(f.seam.shellTargets[0], Q(f.dir / "quillon.html"));
  QVERIFY(f.seam.shellTargets[1].startsWith("https://"));
  QVERIFY(f.seam.boxes.empty());  // a missing help file shows nothing of ours
  w.findChild<QAction*>("textversion")->trigger();
  QCOMPARE(f.seam.boxes.size(), std::size_t(1));
  QCOMPARE(f.seam.boxes[0].kind, BoxKind::Notice);
  QCOMPARE(f.seam.boxes[0].text,
           QStringLiteral("All the basic info is also available in txt-files (included in "
                          "zip-package) which you can open with simple programs like Notepad."));
}

void MainWindowTest::installedCopyFindsItsHelpPageAndKeepsItsFilesWithTheUser() {
  TempDir dir;
  std::filesystem::create_directories(dir / "usr/bin");
  std::filesystem::create_directories(dir / "usr/share/doc/quillon");
  dir.Write("usr/share/doc/quillon/quillon.html", "<html></html>");
  struct ConfigHome {
    explicit ConfigHome(const std::string& folder) : old(qgetenv("XDG_CONFIG_HOME")) {
      qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder));
    }
    ~ConfigHome() { old.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", old); }
    QByteArray old;
  } configHome(dir / "config");
  RecordingSeam seam;
  TmainF w(dir / "usr/bin/quillon");
  TAboutF about(&w, w.DataFolder());
  w.findChild<QAction*>("Contents1")->trigger();
  QCOMPARE(seam.shellTargets, QStringList{Q(dir / "usr/share/doc/quillon/quillon.html")});
  QCOMPARE(w.DataFolder(), Q(dir / "config/quillon"));
  QVERIFY(std::filesystem::exists(dir / "config/quillon/files.his"));
  QVERIFY(about.aboutM->toPlainText().endsWith("in this folder:\n" + Q(dir / "config/quillon")));
  w.close();
  QCOMPARE(w.SettingsFile(), Q(dir / "config/quillon/quillon.ini"));
  QVERIFY(std::filesystem::exists(dir / "config/quillon/quillon.ini"));
  QVERIFY(std::filesystem::is_empty(dir / "usr/bin"));
}

void MainWindowTest::historyFilesAfterRunsAndBrowsing() {
  Fixture f;
  TmainF& w = *f.window;
  const std::string first = f.dir.Write("first.txt", "a\r\n");
  const std::string second = f.dir.Write("second.txt", "b\r\n");
  std::filesystem::create_directory(f.dir / "out");
  f.SetPaths(first, f.dir / "out");
  w.RunB->click();
  QCOMPARE(ReadBytes(f.dir / "files.his"), first + "\r\n");
  QCOMPARE(ReadBytes(f.dir / "dirfiles.his"), (f.dir / "out") + "\r\n");

  // File > Enter > Browse...: the chosen file goes into the field and on top of both.
  f.seam.fileAnswers = {Q(second)};
  w.findChild<QAction*>("enterbrowse")->trigger();
  QCOMPARE(f.seam.openRequests.back().title, QStringLiteral("Select text file"));
  QCOMPARE(f.seam.openRequests.back().filter,
           QStringLiteral("Txt-files (*.txt)|*.txt|All files (*.*)|*.*"));
  QCOMPARE(f.seam.openRequests.back().initial_folder, Q(f.dir.path()) + "/");
  QCOMPARE(w.AddsourceE->text(), Q(second));
  QCOMPARE(ReadBytes(f.dir / "files.his"), second + "\r\n" + first + "\r\n");
  QCOMPARE(w.MyEnterH->items(), (QStringList{Q(second), Q(first)}));
  QCOMPARE(w.MyOpenH->items(), (QStringList{Q(second), Q(first)}));

  // File > Open > Browse... opens the file and records it; a cancelled browse changes nothing.
  f.seam.fileAnswers = {Q(first)};
  w.findChild<QAction*>("openbrowse")->trigger();
  QCOMPARE(f.seam.openRequests.back().title, QStringLiteral("Select text file you want to view"));
  QCOMPARE(f.seam.shellTargets, QStringList{Q(first)});
  QCOMPARE(ReadBytes(f.dir / "files.his"), first + "\r\n" + second + "\r\n");
  w.findChild<QAction*>("enterbrowse")->trigger();
  QCOMPARE(w.AddsourceE->text(), Q(second));
  QCOMPARE(ReadBytes(f.dir / "files.his"), first + "\r\n" + second + "\r\n");
}

void MainWindowTest::historyPicksAndLimits() {
  TempDir dir;
  StateSeam seam;
  dir.Write("dirfiles.his", "/f1\r\n/f2\r\n/f3\r\n");
  dir.Write("files.his", "/a.txt\r\n/b.txt\r\n");
  TmainF w(dir / "quillon");
  QCOMPARE(w.MYdirenterH->items(), (QStringList{"/f1", "/f2", "/f3"}));

  // Folder > Enter: the picked folder goes into the field, to the top of both, unchecked.
  auto* entry = Entry(w.dirEnterMI, "historyitem2");
  QVERIFY(entry);
  QCOMPARE(entry->text(), QStringLiteral("/f3"));
  entry->trigger();
  QCOMPARE(w.adddestE->text(), QStringLiteral("/f3"));
  QCOMPARE(ReadBytes(dir / "dirfiles.his"), std::string("/f3\r\n/f1\r\n/f2\r\n"));
  QCOMPARE(w.MYdiropenH->items(), (QStringList{"/f3", "/f1", "/f2"}));

  // File > Open: the picked file is opened with the shell and moves up in both.
  Entry(w.openMI, "historyitem1")->trigger();
  QCOMPARE(seam.shellTargets, QStringList{"/b.txt"});
  QCOMPARE(ReadBytes(dir / "files.his"), std::string("/b.txt\r\n/a.txt\r\n"));
  QCOMPARE(w.MyEnterH->items(), (QStringList{"/b.txt", "/a.txt"}));

  // File > Enter: into the source field.
  Entry(w.EnterMI, "historyitem1")->trigger();
  QCOMPARE(w.AddsourceE->text(), QStringLiteral("/a.txt"));

  // A removal through one component of the pair comes back with the next addition.
  w.EnterMI->findChild<QMenu*>("toolsitem")->actions().last()->trigger();  // remove /b.txt
  QCOMPARE(ReadBytes(dir / "files.his"), std::string("/a.txt\r\n"));
  seam.fileAnswers = {QStringLiteral("/c.txt")};
  w.findChild<QAction*>("enterbrowse")->trigger();
  QCOMPARE(ReadBytes(dir / "files.his"), std::string("/c.txt\r\n/a.txt\r\n/b.txt\r\n"));

  // A new limit through the dialog trims that component and writes the count file.
  seam.inputAnswers = {QStringLiteral("1")};
  w.dirEnterMI->findChild<QAction*>("setmaxhistitem")->trigger();
  QCOMPARE(ReadBytes(dir / "dirmax.his"), std::string("1\r\n"));
  QCOMPARE(ReadBytes(dir / "dirfiles.his"), std::string("/f3\r\n"));
  QCOMPARE(w.MYdirenterH->items(), QStringList{"/f3"});
}

void MainWindowTest::folderOpenRefusesMissingFolder() {
  TempDir dir;
  StateSeam seam;
  std::filesystem::create_directory(dir / "kept");
  dir.Write("dirfiles.his", (dir / "kept") + "\r\n" + (dir / "gone") + "\r\n");
  TmainF w(dir / "quillon");
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w, kGuardMs));
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(dir.path()), kGuardMs);

  Entry(w.dirOpenMI, "historyitem1")->trigger();
  QCOMPARE(seam.texts(), QStringList{"Folder does not exist: " + Q(dir / "gone")});
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(dir.path()), kGuardMs);
  QCOMPARE(w.MYdiropenH->items(), (QStringList{Q(dir / "gone"), Q(dir / "kept")}));
  QCOMPARE(w.MYdirenterH->items(), (QStringList{Q(dir / "kept"), Q(dir / "gone")}));

  Entry(w.dirOpenMI, "historyitem1")->trigger();  // now "kept"
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(dir / "kept"), kGuardMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), Q(dir / "kept"), kGuardMs);
  QCOMPARE(w.MYdirenterH->items(), (QStringList{Q(dir / "kept"), Q(dir / "gone")}));
  w.close();
}

void MainWindowTest::fileListFilterAndAddButtons() {
  Fixture f;
  TmainF& w = *f.window;
  std::filesystem::create_directory(f.dir / "src");
  std::filesystem::create_directory(f.dir / "src/folder.txt");
  f.dir.Write("src/b.txt", "b");
  f.dir.Write("src/A.txt", "a");
  f.dir.Write("src/.hidden.txt", "h");
  f.dir.Write("src/c.log", "c");
  f.dir.Write("src/README", "r");
  f.Show();
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(f.dir.path()), kGuardMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), Q(f.dir.path()), kGuardMs);

  w.ST1->SetPath(Q(f.dir / "src"));
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), Q(f.dir / "src"), kGuardMs);
  QCOMPARE(QDir::currentPath(), Q(f.dir / "src"));
  QVERIFY(w.FileListBox1->Settle());
  auto names = [&] {
    QStringList listed;
    for (int i = 0; i < w.FileListBox1->count(); ++i) listed << w.FileListBox1->item(i)->text();
    return listed;
  };
  QCOMPARE(names(), (QStringList{".hidden.txt", "A.txt", "b.txt"}));
  w.filterCB->setEditText("*.log;*.txt");
  QCOMPARE(names(), (QStringList{".hidden.txt", "A.txt", "b.txt", "c.log"}));
  w.filterCB->setCurrentIndex(w.filterCB->findText("*.*"));
  QCOMPARE(names(), (QStringList{".hidden.txt", "A.txt", "b.txt", "c.log", "README"}));
  w.filterCB->setEditText("*.log|*.txt");
  QCOMPARE(names(), QStringList{"c.log"});
  w.filterCB->setEditText("");
  QCOMPARE(names(), QStringList());
  w.filterCB->setEditText("*.txt");

  // A file selected: Source's Add enabled, Destination's disabled; the full path is copied.
  w.ST1Click();
  QVERIFY(w.adddestB->isEnabled());
  QVERIFY(!w.AddsourceB->isEnabled());
  w.FileListBox1->setCurrentRow(2);
  QVERIFY(w.AddsourceB->isEnabled());
  QVERIFY(!w.adddestB->isEnabled());
  w.AddsourceB->click();
  QCOMPARE(w.AddsourceE->text(), Q(f.dir / "src/b.txt"));

  // A click on the tree: Destination's Add copies the listed folder without a trailing "/".
  w.ST1Click();
  QVERIFY(!w.AddsourceB->isEnabled());
  w.adddestB->click();
  QCOMPARE(w.adddestE->text(), Q(f.dir / "src"));
  w.ST1->SetPath("/");
  w.ST1Click();
  w.adddestB->click();
  QCOMPARE(w.adddestE->text(), QStringLiteral("/"));

  // Double clicks: a file of the list and an existing source open with the shell; the
  // destination field moves the tree (to the nearest existing parent for a missing folder).
  w.ST1->SetPath(Q(f.dir / "src"));
  QVERIFY(w.FileListBox1->Settle());
  w.FileListBox1->setCurrentRow(1);
  emit w.FileListBox1->itemDoubleClicked(w.FileListBox1->item(1));
  w.AddsourceE->setText(Q(f.dir / "src/missing.txt"));
  QTest::mouseDClick(w.AddsourceE, Qt::LeftButton);
  w.AddsourceE->setText(Q(f.dir / "src/c.log"));
  QTest::mouseDClick(w.AddsourceE, Qt::LeftButton);
  QCOMPARE(f.seam.shellTargets.join(" | "),
           Q(f.dir / "src/A.txt") + " | " + Q(f.dir / "src/c.log"));
  w.adddestE->setText(Q(f.dir / "src/folder.txt/not-yet"));
  QTest::mouseDClick(w.adddestE, Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(f.dir / "src/folder.txt"), kGuardMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), Q(f.dir / "src/folder.txt"), kGuardMs);

  // The drive box follows the tree without moving it; a volume picked moves the tree to it.
  QCOMPARE(w.DriveComboBox1->Drive(),
           Q(quillon::VolumeHoldingPath(quillon::ListVolumes(), f.dir.path())->mount_point));
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(f.dir / "src/folder.txt"), kGuardMs);
  emit w.DriveComboBox1->activated(0);
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), QStringLiteral("/"), kGuardMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), QStringLiteral("/"), kGuardMs);

  // Volumes mounted or gone since the list was read show when the list opens.
  w.DriveComboBox1->SetVolumes(
      {{"/", "/dev/root", "/", "ext4"}, {"/media/gone", "/dev/gone", "GONE", "vfat"}});
  QCOMPARE(w.DriveComboBox1->count(), 2);
  w.DriveComboBox1->showPopup();
  w.DriveComboBox1->hidePopup();
  QCOMPARE(w.DriveComboBox1->count(), static_cast<int>(quillon::ListVolumes().size()));
  QVERIFY(w.DriveComboBox1->findText("/media/gone  [GONE]") < 0);
  QCOMPARE(w.DriveComboBox1->Drive(), QStringLiteral("/"));

  // While the drive box has the focus, the status bar gives its advice.
  w.activateWindow();
  w.DriveComboBox1->setFocus(Qt::TabFocusReason);
  QTRY_COMPARE_WITH_TIMEOUT(w.StatusText(),
                            QStringLiteral("If you get error: \"I/O error 21\" then you "
                                           "probably forgot to insert a disk"),
                            kGuardMs);
  w.AddsourceE->setFocus(Qt::TabFocusReason);
  QTRY_COMPARE_WITH_TIMEOUT(w.StatusText(), QString(), kGuardMs);
  w.close();
}

void MainWindowTest::statusBarInformation() {
  Fixture f;
  TmainF& w = *f.window;
  std::filesystem::create_directories(f.dir / "data/sub");
  std::filesystem::create_directory(f.dir / "empty");
  f.dir.Write("data/kilo.txt", std::string(1000, 'k'));
  f.dir.Write("data/sub/.more", std::string(234, 'm'));
  f.Show();
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(f.dir.path()), kGuardMs);
  // The information is computed on a worker: the text once it has come.
  QSignalSpy shown(&w, &TmainF::StatusInfoShown);
  const auto described = [&](const std::function<void()>& select) {
    shown.clear();
    select();
    return shown.isEmpty() && !shown.wait(kGuardMs) ? QStringLiteral("(never described)")
                                                    : w.StatusText();
  };

  // Unticked: nothing is described.
  w.ST1->SetPath(Q(f.dir / "data"));
  QCOMPARE(w.StatusText(), QString());

  const QString dataDate = Q(quillon::PathDateText(f.dir / "data"));
  QVERIFY(!dataDate.isEmpty());
  QCOMPARE(described([&] { w.infoCB->click(); }), "1.234 bytes; Created: " + dataDate);
  QCOMPARE(described([&] { w.ST1->SetPath(Q(f.dir / "empty")); }),
           "0 bytes; Created: " + Q(quillon::PathDateText(f.dir / "empty")));

  // A file of the list.
  described([&] { w.ST1->SetPath(Q(f.dir / "data")); });
  QVERIFY(w.FileListBox1->Settle());
  QCOMPARE(described([&] { w.FileListBox1->setCurrentRow(0); }),
           "1.000 bytes; Last changed: " + Q(quillon::PathDateText(f.dir / "data/kilo.txt")));
  QVERIFY(w.AddsourceB->isEnabled());

  // Unticking empties at once; ticking with a file selected describes the file again.
  w.infoCB->click();
  QCOMPARE(w.StatusText(), QString());
  QVERIFY(described([&] { w.infoCB->click(); }).startsWith("1.000 bytes; Last changed: "));

  // A volume root shows its free space.
  const QRegularExpression freeSpace(R"(^\d{1,3}(\.\d{3})* bytes free on drive /$)");
  const QString root = described([&] { w.ST1->SetPath("/"); });
  QVERIFY2(freeSpace.match(root).hasMatch(), qPrintable(root));

  // The virtual root: no path, an empty status bar, the listed folder kept.
  w.ST1->setCurrentItem(w.ST1->RootNode());
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), QString(), kGuardMs);
  QCOMPARE(w.StatusText(), QString());
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), QStringLiteral("/"), kGuardMs);
  w.close();
}

void MainWindowTest::folderCommands() {
  Fixture f;
  TmainF& w = *f.window;
  std::filesystem::create_directories(f.dir / "base/full");
  f.dir.Write("base/full/file", "x");
  f.Show();
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(f.dir.path()), kGuardMs);
  w.ST1->SetPath(Q(f.dir / "base"));

  // Create folder: a chain of names below the selected folder; the selection stays.
  f.seam.inputAnswers = {QStringLiteral("one/two")};
  w.findChild<QAction*>("Createfolder1")->trigger();
  QCOMPARE(f.seam.inputs.back().caption, QStringLiteral("Create folder"));
  QCOMPARE(f.seam.inputs.back().prompt, QStringLiteral("Give name of new folder"));
  QVERIFY(std::filesystem::is_directory(f.dir / "base/one/two"));
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(f.dir / "base"), kGuardMs);
  // Cancel and an empty name do nothing and say nothing.
  w.findChild<QAction*>("Createfolder1")->trigger();
  f.seam.inputAnswers = {QString()};
  w.findChild<QAction*>("Createfolder1")->trigger();
  QVERIFY(f.seam.boxes.empty());
  f.dir.Write("base/plain", "x");
  f.seam.inputAnswers = {QStringLiteral("plain/below")};
  w.findChild<QAction*>("Createfolder1")->trigger();
  QCOMPARE(f.seam.texts(), QStringList{"Could not create folder"});
  f.seam.clear();
  // On a virtual folder: Cancel says nothing, a name cannot be placed anywhere.
  w.ST1->setCurrentItem(w.ST1->RootNode());
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), QString(), kGuardMs);
  w.findChild<QAction*>("Createfolder1")->trigger();
  QVERIFY(f.seam.boxes.empty());
  f.seam.inputAnswers = {QStringLiteral("nowhere")};
  w.findChild<QAction*>("Createfolder1")->trigger();
  QCOMPARE(f.seam.texts(), QStringList{"Could not create folder"});
  QVERIFY(!std::filesystem::exists(f.dir / "nowhere"));
  f.seam.clear();

  // Removing a folder that is not empty: the message, and the tree back on the folder.
  w.ST1->SetPath(Q(f.dir / "base/full"));
  w.findChild<QAction*>("Removefolder1")->trigger();
  QCOMPARE(f.seam.texts(), QStringList{"Not removed. Probably not empty"});
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(f.dir / "base/full"), kGuardMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), Q(f.dir / "base/full"), kGuardMs);
  QVERIFY(w.ST1->ReadOnly());
  QVERIFY(w.ST1->UpdAutoThread());
  f.seam.clear();

  // An empty folder goes; the tree is on its parent, which no longer shows it.
  // The tree learns of the folders made above through its own watching.
  auto selects = [&](const QString& path) {
    w.ST1->SetPath(path);
    return w.ST1->Path() == path;
  };
  QTRY_VERIFY_WITH_TIMEOUT(selects(Q(f.dir / "base/one/two")), kGuardMs);
  w.findChild<QAction*>("Removefolder1")->trigger();
  QCOMPARE(f.seam.texts().join("|"), QString());
  QVERIFY(!std::filesystem::exists(f.dir / "base/one/two"));
  QTRY_COMPARE_WITH_TIMEOUT(w.ST1->Path(), Q(f.dir / "base/one"), kGuardMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.dlb1->Directory(), Q(f.dir / "base/one"), kGuardMs);
  QCOMPARE(w.ST1->Selected()->childCount(), 0);
  QVERIFY(w.ST1->ReadOnly());
  QVERIFY(w.ST1->UpdAutoThread());
  w.close();
}

void MainWindowTest::removeFileCommand() {
  Fixture f;
  TmainF& w = *f.window;
  std::filesystem::create_directory(f.dir / "files");
  f.dir.Write("files/a.txt", "a");
  f.dir.Write("files/locked.txt", "l");
  chmod((f.dir / "files/locked.txt").c_str(), 0444);
  f.Show();
  w.ST1->SetPath(Q(f.dir / "files"));
  QVERIFY(w.FileListBox1->Settle());
  QCOMPARE(w.FileListBox1->count(), 2);

  w.findChild<QAction*>("Remove1")->trigger();
  QCOMPARE(f.seam.texts(), QStringList{"Unable to remove: "});
  QCOMPARE(f.seam.boxes.back().kind, BoxKind::Error);
  f.seam.clear();

  w.FileListBox1->setCurrentRow(0);
  w.findChild<QAction*>("Remove1")->trigger();
  QCOMPARE(f.seam.texts(), QStringList{"Succesfully removed: " + Q(f.dir / "files/a.txt")});
  QCOMPARE(f.seam.boxes.back().kind, BoxKind::Information);
  QVERIFY(!std::filesystem::exists(f.dir / "files/a.txt"));
  QVERIFY(w.FileListBox1->Settle());
  QCOMPARE(w.FileListBox1->count(), 1);
  QVERIFY(w.FileListBox1->selectedItems().isEmpty());
  f.seam.clear();

  w.FileListBox1->setCurrentRow(0);
  w.findChild<QAction*>("Remove1")->trigger();
  QCOMPARE(f.seam.texts(), QStringList{"Unable to remove: " + Q(f.dir / "files/locked.txt")});
  QVERIFY(std::filesystem::exists(f.dir / "files/locked.txt"));
  f.seam.clear();

  // The menu acts on the file under the pointer, never on another one selected before.
  f.dir.Write("files/b.txt", "b");
  w.FileListBox1->Update();
  QVERIFY(w.FileListBox1->Settle());
  w.FileListBox1->setCurrentRow(1);
  QCOMPARE(w.FileListBox1->FileName(), Q(f.dir / "files/locked.txt"));
  const QRect under = w.FileListBox1->visualItemRect(w.FileListBox1->item(0));
  QTest::mouseClick(w.FileListBox1->viewport(), Qt::RightButton, {}, under.center());
  w.flbPM->hide();
  w.findChild<QAction*>("Remove1")->trigger();
  QCOMPARE(f.seam.texts(), QStringList{"Succesfully removed: " + Q(f.dir / "files/b.txt")});
  QVERIFY(std::filesystem::exists(f.dir / "files/locked.txt"));
  w.close();
}

void MainWindowTest::dropsFillThePathFields() {
  Fixture f;
  TmainF& w = *f.window;
  const std::string text = f.dir.Write("dropped.txt", "x");
  std::filesystem::create_directory(f.dir / "target");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(Q(text)), QUrl::fromLocalFile(Q(f.dir / "target"))});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&w, &drop);
  QCOMPARE(w.AddsourceE->text(), Q(text));
  QCOMPARE(w.adddestE->text(), Q(f.dir / "target"));
  QVERIFY(w.RunB->isEnabled());
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
