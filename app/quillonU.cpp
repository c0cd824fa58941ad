#include "app/quillonU.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "app/AboutU.h"
#include "app/DriveBox.h"
#include "app/FileLists.h"
#include "app/LocXXX.h"
#include "app/PreviewF.h"
#include "app/ReportMemo.h"
#include "app/RunCommands.h"
#include "history/MYcustomhistory.h"
#include "settings/SettingsFile.h"
#include "settings/fillU.h"
#include "settings/outputextensionU.h"
#include "settings/repU.h"
#include "shelltree/ShellTree.h"
#include "util/FileSystem.h"
#include "util/Platform.h"
#include "util/ui/Colours.h"
#include "util/ui/Commands.h"
#include "util/ui/Fonts.h"
#include "util/ui/Seam.h"

using quillon::TShellTree;
using quillon::ui::ConnectCommand;
using quillon::ui::ControlFont;
using quillon::ui::FromBytes;
using quillon::ui::RunCommand;
using quillon::ui::ToBytes;

namespace quillon {

namespace {

const char* const kWebsite = "https://quillon.example.org/";
const char* const kTextHelp =
    "All the basic info is also available in txt-files (included in zip-package) which you "
    "can open with simple programs like Notepad.";

// The heading's colour, lightened on a dark palette so that it stays readable.
void Recolour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  // The panels take the window's background; the window has its new palette before they do.
  const QColor background = label->window()->palette().color(QPalette::Window);
  palette.setColor(QPalette::WindowText, ui::ReadableOn(colour, background));
  label->setPalette(palette);
}

// The drive box's focus changes count only within the window, not when another window (a
// dialog, a menu, the box's own list) takes the keyboard for a while.
bool WindowSwitch(QEvent* event) {
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

}  // namespace

TmainF::TmainF(const std::string& executable_path, QWidget* parent)
    : QMainWindow(parent), executable_path_(executable_path), run_host_(*this, RunCancelled) {
  setObjectName(QStringLiteral("mainF"));
  setWindowTitle(QStringLiteral("Quillon"));
  setFont(ui::WindowFont());
  resize(682, 503);
  setMinimumSize(640, 394);
  setAcceptDrops(true);

  BuildPanels();
  BuildStatusInfo();
  BuildMenus();
  BuildHistories();
  SetTabOrder();
  NameControls();
  qApp->installEventFilter(this);
  FormCreate();
}

TmainF::~TmainF() {
  qApp->removeEventFilter(this);
  AbandonStatusInfo();  // a walk still going ends on its own; nothing waits for it
}

void TmainF::SetDialogs(TLocxxxF* locxxx, TrepF* rep, TfillF* fill, ToutputextF* outputext,
                        TAboutF* about) {
  LocxxxF = locxxx;
  repF = rep;
  fillF = fill;
  outputextF = outputext;
  AboutF = about;
  if (fillF) fillF->SetOpenDialog(&OpenDialog1);
}

void TmainF::FormCreate() {
  setWindowState(windowState() | Qt::WindowMaximized);
  SetHeadingColours();
  RunCommand([this] { filterCBChange(); });
  DriveComboBox1->SetVolumes(ST1->Volumes());  // the tree has just read them
  DriveComboBox1->ShowFolder(QDir::currentPath());

  program_folder_ = FolderOfPath(executable_path_);
  data_folder_ = DataFolderFor(program_folder_);
  for (TMYcustomhistory* history : {MyEnterH, MyOpenH, MYdirenterH, MYdiropenH}) {
    history->setFolder(FromBytes(data_folder_));
    RunCommand([history] { history->LoadHistory(); });
  }
  settings_.SelectionFolder = program_folder_;
  RunCommand(
      [this] { settings_ = ReadRunSettings(SettingsFileFor(executable_path_), program_folder_); });
  OpenDialog1.InitialDir = FromBytes(settings_.SelectionFolder) + QLatin1Char('/');
  RunCommand([this] {
    stored_report_height_ = ReadWindowLayout(SettingsFileFor(executable_path_)).ReportHeight;
  });
  report_height_ = stored_report_height_;
  if (report_height_ > 0) SetReportHeight(report_height_);
  ConnectCommand(SelectReportS, &QSplitter::splitterMoved, this,
                 [this] { report_height_ = Panel4->height(); });
}

void TmainF::SetReportHeight(int height) {
  // The Select side takes what the Report leaves; its stretch gives it every later change.
  const int total = std::max(SelectReportS->height(), height + 1);
  SelectReportS->setSizes({total - height, height});
}

void TmainF::SetHeadingColours() {
  Recolour(sourceL, QColor(0, 170, 100));
  Recolour(destL, QColor(170, 0, 0));
  Recolour(repL, QColor(0, 0, 170));
}

void TmainF::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // The desktop's palette changed while the program runs.
  if (event->type() == QEvent::PaletteChange && sourceL) SetHeadingColours();
}

void TmainF::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) tree_move_due_ = true;
}

void TmainF::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  // The tree reads its way to the selection folder once the window has appeared, so reading
  // those folders does not hold the window back; a move of the tree meanwhile wins.
  if (!tree_move_due_) return;
  tree_move_due_ = false;
  QMetaObject::invokeMethod(
      this,
      [this, shown = TreePath()] {
        if (TreePath() == shown) RunCommand([this] { FormShow(); });
      },
      Qt::QueuedConnection);
}

void TmainF::FormShow() { SetTreePath(FromBytes(settings_.SelectionFolder) + QLatin1Char('/')); }

void TmainF::closeEvent(QCloseEvent* event) {
  // A run keeps the window until it has stopped after its current line; then it closes.
  if (run_host_.Running()) {
    RunCancelled = true;
    close_after_run_ = true;
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

void TmainF::FormClose() {
  if (!ST1) return;  // closed already
  SetStatusText(QStringLiteral("Closing program..."));
  ST1->disconnect(this);
  delete ST1;
  ST1 = nullptr;
  const std::string settings_file = SettingsFileFor(executable_path_);
  SetStatusText(QStringLiteral("Saving settings to ") + FromBytes(settings_file));
  RunCommand([&] { WriteRunSettings(settings_file, settings_); });
  if (report_height_ != stored_report_height_) {
    RunCommand([&] { WriteWindowLayout(settings_file, {report_height_}); });
  }
}

bool TmainF::eventFilter(QObject* watched, QEvent* event) {
  // The window sees every key of its controls first (key preview).
  auto* widget = qobject_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::KeyPress:
      // A menu, the menu bar and a pop-up take their own Escape, to close themselves.
      if (widget && widget->window() == this && !qobject_cast<QMenuBar*>(widget) &&
          !QApplication::activePopupWidget() && FormKeyPress(static_cast<QKeyEvent*>(event))) {
        return true;
      }
      break;
    case QEvent::MouseButtonPress:
      if (watched == centralWidget()) FormClick();
      break;
    case QEvent::MouseButtonDblClick:
      if (watched == AddsourceE) RunCommand([this] { AddsourceEDblClick(); });
      if (watched == adddestE) RunCommand([this] { adddestEDblClick(); });
      break;
    case QEvent::FocusIn:
      if (watched == DriveComboBox1 && !WindowSwitch(event)) DriveComboBox1Enter();
      break;
    case QEvent::FocusOut:
      if (watched == DriveComboBox1 && !WindowSwitch(event)) DriveComboBox1Exit();
      break;
    default: break;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TmainF::FormKeyPress(QKeyEvent* key) {
  if (key->key() != Qt::Key_Escape) return false;
  // During a run Escape stops the run as Cancel does; the summary follows and the window stays.
  if (run_host_.Running()) {
    cancelBClick();
  } else {
    close();
  }
  return true;
}

void TmainF::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TmainF::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = QDir::cleanPath(url.toLocalFile());
    (IsFolder(ToBytes(path)) ? adddestE : AddsourceE)->setText(path);
  }
  event->acceptProposedAction();
}

QString TmainF::ProgramFolder() const { return FromBytes(program_folder_); }
QString TmainF::DataFolder() const { return FromBytes(data_folder_); }
QString TmainF::SettingsFile() const { return FromBytes(SettingsFileFor(executable_path_)); }
QString TmainF::StatusText() const { return status_label_->text(); }
void TmainF::SetStatusText(const QString& text) {
  AbandonStatusInfo();
  status_label_->setText(text);
}

void TmainF::FormClick() { SetStatusText(QString()); }

void TmainF::Exit1Click() { close(); }
void TmainF::Exit2Click() { close(); }
void TmainF::ExitBClick() { close(); }

void TmainF::About1Click() {
  SetStatusText(QStringLiteral("About..."));
  if (AboutF) AboutF->exec();
}

void TmainF::Contents1Click() { ui::OpenWithShell(FromBytes(HelpFileFor(program_folder_))); }

void TmainF::textversionClick() { ui::ShowNotice(QString::fromLatin1(kTextHelp)); }

void TmainF::Website1Click() { ui::OpenWithShell(QString::fromLatin1(kWebsite)); }

// Run

void TmainF::RunBClick() {
  // One run at a time: the Run button stays disabled while a run goes on.
  if (run_host_.Running()) return;
  try {
    run_host_.Run(settings_, ToBytes(AddsourceE->text()), ToBytes(adddestE->text()));
  } catch (...) {
    // A close asked for during the run waits until the failure has been told.
    if (close_after_run_) QTimer::singleShot(0, this, &QWidget::close);
    throw;
  }
  // A run that reported many lines freed much on the way.
  ReturnFreedMemory();
  if (close_after_run_) close();
}

void TmainF::cancelBClick() { RunCancelled = true; }

void TmainF::ClearBClick() { RunM->clear(); }

void TmainF::PreviewBClick() {
  if (run_host_.Running()) return;
  if (!PreviewF) PreviewF = new TPreviewF(this);
  PreviewF->ShowPlan(settings_, ToBytes(AddsourceE->text()), ToBytes(adddestE->text()));
  PreviewF->show();
  PreviewF->raise();
  PreviewF->activateWindow();
}

void TmainF::UndoLastRunMIClick() {
  if (!run_host_.Running()) UndoLastRun(*RunM, run_host_.LastRunUnjournaled());
}

void TmainF::SaveReportMIClick() { SaveReport(*RunM); }

void TmainF::ShowReportBytes(std::string_view lines) { RunM->AppendBytes(lines); }

void TmainF::ShowLineReason(int lines_before_last, const std::string& reason) {
  RunM->SetLineTip(RunM->blockCount() - 1 - lines_before_last, FromBytes(reason));
}

void TmainF::ShowProgress(int line, int line_total) {
  if (line_total <= 0 && line == 0) return;
  RunPB->setRange(0, std::max(line_total, line));
  RunPB->setValue(line);
}

void TmainF::ShowRunning(bool running) {
  // The run's own files would have the tree and the list read its destination again and again.
  FileListBox1->HoldReading(running);
  if (ST1) ST1->HoldChanges(running);
  cancelB->setEnabled(running);
  RunB->setEnabled(!running);
  PreviewB->setEnabled(!running);
  ClearB->setEnabled(!running);
  if (running) {
    RunPB->setRange(0, 0);
    RunPB->show();
  } else {
    RunPB->hide();
  }
}

void TmainF::AddsourceEChange() { ApplyRunBRule(); }
void TmainF::adddestEChange() { ApplyRunBRule(); }

void TmainF::ApplyRunBRule() {
  RunB->setEnabled(!run_host_.Running() && !AddsourceE->text().isEmpty() &&
                   !adddestE->text().isEmpty());
  PreviewB->setEnabled(RunB->isEnabled());
}

// History menus

void TmainF::RecordFile(const QString& path) {
  MyEnterH->AddItem(path);
  MyOpenH->AddItem(path);
}

void TmainF::RecordFolder(const QString& path) {
  MYdirenterH->AddItem(path);
  MYdiropenH->AddItem(path);
}

void TmainF::enterbrowseClick() {
  OpenDialog1.Title = QStringLiteral("Select text file");
  const std::optional<QString> file = OpenDialog1.Execute();
  if (!file) return;
  AddsourceE->setText(*file);
  RecordFile(*file);
}

void TmainF::openbrowseClick() {
  OpenDialog1.Title = QStringLiteral("Select text file you want to view");
  const std::optional<QString> file = OpenDialog1.Execute();
  if (!file) return;
  ui::OpenWithShell(*file);
  RecordFile(*file);
}

void TmainF::direnterBrowseMIClick() {
  if (!LocxxxF) return;
  const std::optional<QString> folder = direnterBrowse(*LocxxxF, settings_);
  if (!folder) return;
  adddestE->setText(*folder);
  RecordFolder(*folder);
}

void TmainF::diropenBrowseMIClick() {
  if (!LocxxxF) return;
  const std::optional<QString> folder = diropenBrowse(*LocxxxF, settings_);
  if (!folder) return;
  if (!IsFolder(ToBytes(*folder))) {
    ui::ShowError(QStringLiteral("Folder does not exist: ") + *folder);
    return;
  }
  SetTreePath(*folder);
  RecordFolder(*folder);
}

void TmainF::selfolderMIClick() {
  SetStatusText(QStringLiteral("Actual selection folder: ") + FromBytes(settings_.SelectionFolder));
  if (LocxxxF) quillon::selfolderMIClick(*LocxxxF, settings_, OpenDialog1);
}

void TmainF::Replaceillegalcharacters1Click() {
  if (repF) quillon::Replaceillegalcharacters1Click(*repF, settings_);
}

void TmainF::outputextension1Click() {
  if (outputextF) quillon::outputextension1Click(*outputextF, settings_);
}

void TmainF::FillfilesMIClick() {
  if (fillF) quillon::FillfilesMIClick(*fillF, settings_, OpenDialog1);
}

void TmainF::MyEnterHitemclicked(TMYcustomhistory*, const QString& str) {
  AddsourceE->setText(str);
  RecordFile(str);
}

void TmainF::MyOpenHitemclicked(TMYcustomhistory*, const QString& str) {
  ui::OpenWithShell(str);
  RecordFile(str);
}

void TmainF::MYdirenterHitemclicked(TMYcustomhistory*, const QString& str) {
  adddestE->setText(str);
  RecordFolder(str);
}

void TmainF::MYdiropenHitemclicked(TMYcustomhistory*, const QString& str) {
  if (!IsFolder(ToBytes(str))) {
    ui::ShowError(QStringLiteral("Folder does not exist: ") + str);
    return;
  }
  SetTreePath(str);
  RecordFolder(str);
}

// Selection

QString TmainF::TreePath() const { return ST1 ? ST1->Path() : QString(); }

void TmainF::SetTreePath(const QString& path) {
  if (ST1) ST1->SetPath(path);
}

void TmainF::ST1Change() {
  const QString path = TreePath();
  if (!path.isEmpty()) DriveComboBox1->ShowFolder(path);
  dlb1->setDirectory(path);
  // The file that was selected went with its folder (the tree moved away from a folder that
  // is gone): the buttons follow the tree, as after a click on it.
  if (AddsourceB->isEnabled() && FileListBox1->FileName().isEmpty()) {
    AddsourceB->setEnabled(false);
    adddestB->setEnabled(true);
  }
  if (infoCB->isChecked()) ShowFolderInfo();
}

void TmainF::ST1Click() {
  AddsourceB->setEnabled(false);
  adddestB->setEnabled(true);
  ST1Change();
}

void TmainF::FileListBox1Click() {
  if (infoCB->isChecked()) ShowFileInfo();
  AddsourceB->setEnabled(true);
  adddestB->setEnabled(false);
}

void TmainF::FileListBox1DblClick() { ui::OpenWithShell(FileListBox1->FileName()); }

void TmainF::DriveComboBox1Change() {
  const QString drive = DriveComboBox1->Drive();
  if (!drive.isEmpty()) SetTreePath(drive);
}

void TmainF::DriveComboBox1Enter() {
  SetStatusText(QStringLiteral(
      "If you get error: \"I/O error 21\" then you probably forgot to insert a disk"));
}

void TmainF::DriveComboBox1Exit() { SetStatusText(QString()); }

void TmainF::filterCBChange() {
  FilterComboBox1->setFilter(QStringLiteral("custom files|") + filterCB->currentText());
}

void TmainF::AddsourceBClick() { AddsourceE->setText(FileListBox1->FileName()); }

void TmainF::adddestBClick() {
  std::string folder = ToBytes(dlb1->Directory());
  StripTrailingBackslash(folder);
  adddestE->setText(FromBytes(folder));
}

void TmainF::AddsourceEDblClick() {
  if (IsExistingFile(ToBytes(AddsourceE->text()))) {
    ui::OpenWithShell(AddsourceE->text());
  }
}

void TmainF::adddestEDblClick() {
  // An empty field names no folder: the root it would give is not what the user asked for.
  if (adddestE->text().isEmpty()) return;
  SetTreePath(adddestE->text() + QLatin1Char('/'));
}

}  // namespace quillon
