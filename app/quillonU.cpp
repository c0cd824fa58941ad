#include "app/quillonU.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>
#include <system_error>

#include "app/AboutU.h"
#include "app/DriveBox.h"
#include "app/FileLists.h"
#include "app/LocXXX.h"
#include "app/ReportMemo.h"
#include "engine/ConversionRun.h"
#include "history/MYcustomhistory.h"
#include "util/ui/Fonts.h"
#include "settings/SettingsFile.h"
#include "settings/fillU.h"
#include "settings/outputextensionU.h"
#include "settings/repU.h"
#include "shelltree/ShellTree.h"
#include "util/FileSystem.h"
#include "util/Platform.h"
#include "util/Text.h"
#include "util/Volumes.h"
#include "util/ui/Seam.h"
#include "util/ui/SeamMessageHost.h"

using quillon::shelltree::TShellTree;
using quillon::ui::ControlFont;
using quillon::ui::FromBytes;
using quillon::ui::ToBytes;

namespace {

constexpr int kFlushMilliseconds = 60;
constexpr int kEventsMilliseconds = 4;
const char* const kWebsite = "https://quillon.example.org/";
const char* const kTextHelp =
    "All the basic info is also available in txt-files (included in zip-package) which you "
    "can open with simple programs like Notepad.";
const char* const kFilters[] = {"*.txt", "*.log", "*.ini", "*.cfg", "*.tmp", "*.*"};

QLabel* Heading(const char* name, const QString& caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  QFont font = ControlFont();
  font.setPixelSize(21);
  label->setFont(font);
  return label;
}

QFrame* NewPanel(const char* name, QWidget* parent) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  // A click on a panel is not a click on the window's background.
  panel->setAttribute(Qt::WA_NoMousePropagation);
  return panel;
}

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QPushButton* NewButton(const char* name, const QString& caption, QWidget* parent) {
  auto* button = Named(new QPushButton(caption, parent), name);
  button->setFont(ControlFont());
  return button;
}

void Recolour(QLabel* label, const QColor& colour) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
}

bool IsVolumeRoot(const std::string& path) {
  for (const quillon::Volume& volume : quillon::ListVolumes()) {
    if (volume.mountPoint == path) return true;
  }
  return false;
}

// The drive box's focus changes count only within the window, not when another window (a
// dialog, a menu, the box's own list) takes the keyboard for a while.
bool WindowSwitch(QEvent* event) {
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
}

}  // namespace

// The window as the host of a run: report lines are gathered and shown in batches, pending
// events are handled every few milliseconds, so Cancel stays responsive without slowing the
// run down.
class TmainF::WindowRunHost : public quillon::RunHost {
 public:
  explicit WindowRunHost(TmainF& window) : window_(window) {}

  void ShowNotice(const std::string& text) override {
    window_.FlushReport();
    boxes_.ShowNotice(text);
  }
  void ShowError(const std::string& text) override {
    window_.FlushReport();
    boxes_.ShowError(text);
  }
  void ShowWarning(const std::string& text) override {
    window_.FlushReport();
    boxes_.ShowWarning(text);
  }
  void ShowInformation(const std::string& text) override {
    window_.FlushReport();
    boxes_.ShowInformation(text);
  }
  bool AskYesNo(const std::string& question) override {
    window_.FlushReport();
    return boxes_.AskYesNo(question);
  }

  void AppendReport(const std::string& line) override {
    window_.pending_report_.append(line).push_back('\n');
    if (!window_.since_flush_.isValid() ||
        window_.since_flush_.elapsed() >= kFlushMilliseconds) {
      window_.FlushReport();
    }
  }
  void HandlePendingEvents() override {
    const qint64 elapsed = since_events_.isValid() ? since_events_.elapsed() : -1;
    if (!EventsDue(elapsed, window_.line_reached_, window_.line_total_)) return;
    if (window_.since_flush_.elapsed() >= kFlushMilliseconds) window_.FlushReport();
    QCoreApplication::processEvents();
    since_events_.start();
  }
  bool CancelPressed() override { return window_.RunCancelled; }
  void ClearCancel() override { window_.RunCancelled = false; }
  void SetRunning(bool running) override { window_.SetRunning(running); }
  void LineReached(std::int32_t line, std::int32_t line_total) override {
    window_.line_reached_ = line;
    window_.line_total_ = line_total;
  }
  void RecordDestination(const std::string& destination) override {
    window_.RecordFolder(FromBytes(destination));
  }
  void RecordSource(const std::string& source) override {
    window_.RecordFile(FromBytes(source));
  }

 private:
  TmainF& window_;
  quillon::ui::SeamMessageHost boxes_;
  QElapsedTimer since_events_;
};

bool TmainF::EventsDue(qint64 elapsed_ms, std::int32_t line, std::int32_t line_total) {
  return elapsed_ms < 0 || elapsed_ms >= kEventsMilliseconds || line >= line_total;
}

TmainF::TmainF(const std::string& executable_path, QWidget* parent)
    : QMainWindow(parent), executable_path_(executable_path) {
  setObjectName(QStringLiteral("mainF"));
  setWindowTitle(QStringLiteral("Quillon"));
  setFont(quillon::ui::WindowFont());
  resize(682, 503);
  setMinimumSize(640, 394);
  setAcceptDrops(true);

  BuildPanels();
  BuildMenus();
  BuildHistories();
  SetTabOrder();
  qApp->installEventFilter(this);
  FormCreate();
}

TmainF::~TmainF() { qApp->removeEventFilter(this); }

void TmainF::SetDialogs(quillon::TLocxxxF* locxxxF, quillon::TrepF* repF_,
                        quillon::TfillF* fillF_, quillon::ToutputextF* outputextF_,
                        TAboutF* aboutF) {
  LocxxxF = locxxxF;
  repF = repF_;
  fillF = fillF_;
  outputextF = outputextF_;
  AboutF = aboutF;
  if (fillF) fillF->SetOpenDialog(&OpenDialog1);
}

void TmainF::BuildPanels() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(8, 8, 8, 6);
  column->setSpacing(6);
  setCentralWidget(client);

  // Select
  Panel1 = NewPanel("Panel1", client);
  SelectL = Heading("SelectL", QStringLiteral("Select"), Panel1);
  DriveComboBox1 = Named(new TDriveComboBox(Panel1), "DriveComboBox1");
  DriveComboBox1->setFont(ControlFont());
  DriveComboBox1->setMaximumWidth(229);
  infoCB = Named(new QCheckBox(QStringLiteral("Show folder and file &info on statusbar"), Panel1),
                 "infoCB");
  infoCB->setFont(ControlFont());
  filefilterL = Named(new QLabel(QStringLiteral("Filter:"), Panel1), "filefilterL");
  filefilterL->setFont(ControlFont());
  filterCB = Named(new QComboBox(Panel1), "filterCB");
  filterCB->setFont(ControlFont());
  filterCB->setEditable(true);
  filterCB->setInsertPolicy(QComboBox::NoInsert);
  for (const char* filter : kFilters) filterCB->addItem(QString::fromLatin1(filter));
  filterCB->setCurrentIndex(0);
  filterCB->setMinimumWidth(90);
  filterCB->lineEdit()->setAcceptDrops(false);

  ST1 = Named(new TShellTree(Panel1), "ST1");
  ST1->setFont(ControlFont());
  FileListBox1 = Named(new TFileListBox(Panel1), "FileListBox1");
  FileListBox1->setFont(ControlFont());
  FileListBox1->setFixedWidth(276);
  FileListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
  dlb1 = Named(new TDirectoryListBox(Panel1), "dlb1");
  dlb1->SetFileList(FileListBox1);
  FilterComboBox1 = Named(new TFilterComboBox(Panel1), "FilterComboBox1");
  FilterComboBox1->SetFileList(FileListBox1);

  auto* select = new QVBoxLayout(Panel1);
  select->setContentsMargins(8, 4, 8, 8);
  select->setSpacing(4);
  select->addWidget(SelectL);
  auto* selectRow = new QHBoxLayout;
  selectRow->addWidget(DriveComboBox1, 1);
  selectRow->addStretch(0);
  selectRow->addSpacing(12);
  selectRow->addWidget(infoCB);
  selectRow->addSpacing(12);
  selectRow->addWidget(filefilterL);
  selectRow->addWidget(filterCB);
  select->addLayout(selectRow);
  auto* browse = new QHBoxLayout;
  browse->addWidget(ST1, 1);
  browse->addWidget(FileListBox1);
  select->addLayout(browse, 1);
  column->addWidget(Panel1, 1);

  // Source and destination
  auto pathPanel = [&](const char* panelName, QFrame*& panel, const char* headingName,
                       const QString& heading, QLabel*& headingLabel, const char* noteName,
                       const QString& note, QLabel*& noteLabel, const char* buttonName,
                       const QString& caption, QPushButton*& button, const char* editName,
                       QLineEdit*& edit) {
    panel = NewPanel(panelName, client);
    headingLabel = Heading(headingName, heading, panel);
    noteLabel = Named(new QLabel(note, panel), noteName);
    noteLabel->setFont(ControlFont());
    button = NewButton(buttonName, caption, panel);
    button->setEnabled(false);
    edit = Named(new QLineEdit(panel), editName);
    edit->setFont(ControlFont());
    edit->setAcceptDrops(false);  // dropped paths go to the window
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(8, 2, 8, 6);
    layout->setSpacing(2);
    auto* row = new QHBoxLayout;
    row->addWidget(headingLabel);
    row->addSpacing(8);
    row->addWidget(noteLabel);
    row->addSpacing(16);
    row->addWidget(button);
    row->addStretch(1);
    layout->addLayout(row);
    layout->addWidget(edit);
    panel->setFixedHeight(75);
    column->addWidget(panel);
  };
  pathPanel("Panel2", Panel2, "sourceL", QStringLiteral("Source"), sourceL, "Label6",
            QStringLiteral("(Text file)"), Label6, "AddsourceB", QStringLiteral("&Add selected"),
            AddsourceB, "AddsourceE", AddsourceE);
  pathPanel("Panel3", Panel3, "destL", QStringLiteral("Destination"), destL, "Label1",
            QStringLiteral("(Parent directory)"), Label1, "adddestB",
            QStringLiteral("A&dd selected"), adddestB, "adddestE", adddestE);
  Panel3->setFixedHeight(74);

  // Report
  Panel4 = NewPanel("Panel4", client);
  repL = Heading("repL", QStringLiteral("Report"), Panel4);
  RunB = NewButton("RunB", QStringLiteral("&Run"), Panel4);
  cancelB = NewButton("cancelB", QStringLiteral("&Cancel"), Panel4);
  RunPB = Named(new QProgressBar(Panel4), "RunPB");
  RunPB->setFont(ControlFont());
  RunPB->setFormat(QStringLiteral("%v / %m"));
  RunPB->setMaximumWidth(260);
  RunPB->hide();
  ClearB = NewButton("ClearB", QStringLiteral("&Clear"), Panel4);
  ExitB = NewButton("ExitB", QStringLiteral("E&xit"), Panel4);
  RunB->setEnabled(false);
  cancelB->setEnabled(false);
  ClearB->setEnabled(false);
  RunM = Named(new TReportMemo(Panel4), "RunM");
  RunM->setFont(ControlFont());
  RunM->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* report = new QVBoxLayout(Panel4);
  report->setContentsMargins(8, 2, 8, 8);
  report->setSpacing(2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(repL);
  buttons->addSpacing(16);
  buttons->addWidget(RunB);
  buttons->addWidget(cancelB);
  buttons->addSpacing(8);
  buttons->addWidget(RunPB, 1);
  buttons->addStretch(1);
  buttons->addWidget(ClearB);
  buttons->addWidget(ExitB);
  report->addLayout(buttons);
  report->addWidget(RunM, 1);
  Panel4->setFixedHeight(146);
  column->addWidget(Panel4);

  stb1 = Named(statusBar(), "stb1");
  stb1->setSizeGripEnabled(false);
  stb1->setFixedHeight(19);
  status_label_ = Named(new QLabel(stb1), "stb1Text");
  status_label_->setFont(ControlFont());
  stb1->addWidget(status_label_, 1);

  PM1 = Named(new QMenu(this), "PM1");
  AddCommand(PM1, "Createfolder1", QStringLiteral("Create folder"), &TmainF::Createfolder1Click);
  PM1->addSeparator()->setObjectName(QStringLiteral("N6"));
  AddCommand(PM1, "Removefolder1", QStringLiteral("Remove empty folder"),
             &TmainF::Removefolder1Click);
  flbPM = Named(new QMenu(this), "flbPM");
  AddCommand(flbPM, "Remove1", QStringLiteral("&Remove"), &TmainF::Remove1Click);

  // Rooted at the virtual desktop, folders only, the program's own pop-up menu, and a right
  // click that leaves the selection alone.
  ST1->SetRootUsePIDL(true);
  ST1->SetRootPIDL(TShellTree::PIDL_DESKTOP);
  ST1->SetOptions(TShellTree::TF_FOLDERS);
  ST1->SetPopupMenu(PM1);
  ST1->SetPopupMenuMode(TShellTree::pmm_PopupMenu);
  ST1->SetRightClickSelect(false);
  ST1->SetReadOnly(true);
  ST1->setIndentation(19);

  connect(ST1, &TShellTree::OnChange, this, [this] { quillon::ui::ReportFailures([this] { ST1Change(); }); });
  connect(ST1, &TShellTree::OnClick, this, [this] { quillon::ui::ReportFailures([this] { ST1Click(); }); });
  connect(FileListBox1, &TFileListBox::Click, this,
          [this] { quillon::ui::ReportFailures([this] { FileListBox1Click(); }); });
  connect(FileListBox1, &QListWidget::itemDoubleClicked, this,
          [this] { quillon::ui::ReportFailures([this] { FileListBox1DblClick(); }); });
  connect(FileListBox1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { flbPM->popup(FileListBox1->viewport()->mapToGlobal(at)); });
  connect(DriveComboBox1, &QComboBox::activated, this,
          [this] { quillon::ui::ReportFailures([this] { DriveComboBox1Change(); }); });
  connect(filterCB, &QComboBox::currentTextChanged, this,
          [this] { quillon::ui::ReportFailures([this] { filterCBChange(); }); });
  connect(infoCB, &QCheckBox::clicked, this, [this] { quillon::ui::ReportFailures([this] { infoCBClick(); }); });
  connect(AddsourceB, &QPushButton::clicked, this,
          [this] { quillon::ui::ReportFailures([this] { AddsourceBClick(); }); });
  connect(adddestB, &QPushButton::clicked, this,
          [this] { quillon::ui::ReportFailures([this] { adddestBClick(); }); });
  connect(AddsourceE, &QLineEdit::textChanged, this, [this] { AddsourceEChange(); });
  connect(adddestE, &QLineEdit::textChanged, this, [this] { adddestEChange(); });
  connect(RunB, &QPushButton::clicked, this, [this] { RunBClick(); });
  connect(cancelB, &QPushButton::clicked, this, [this] { cancelBClick(); });
  connect(ClearB, &QPushButton::clicked, this, [this] { ClearBClick(); });
  connect(ExitB, &QPushButton::clicked, this, [this] { ExitBClick(); });
}

QAction* TmainF::AddCommand(QMenu* menu, const char* name, const QString& caption,
                            void (TmainF::*handler)(), const QKeySequence& shortcut) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  connect(action, &QAction::triggered, this,
          [this, handler] { quillon::ui::ReportFailures([this, handler] { (this->*handler)(); }); });
  return action;
}

void TmainF::BuildMenus() {
  QMenuBar* MainMenu1 = Named(menuBar(), "MainMenu1");

  QMenu* Project1 = Named(MainMenu1->addMenu(QStringLiteral("&File")), "Project1");
  EnterMI = Named(Project1->addMenu(QStringLiteral("&Enter")), "EnterMI");
  AddCommand(EnterMI, "enterbrowse", QStringLiteral("&Browse..."), &TmainF::enterbrowseClick,
             QKeySequence(Qt::CTRL | Qt::Key_B));
  EnterMI->addSeparator()->setObjectName(QStringLiteral("N2"));
  openMI = Named(Project1->addMenu(QStringLiteral("&Open")), "openMI");
  AddCommand(openMI, "openbrowse", QStringLiteral("&Browse..."), &TmainF::openbrowseClick,
             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_B));
  openMI->addSeparator()->setObjectName(QStringLiteral("N3"));
  Project1->addSeparator()->setObjectName(QStringLiteral("N1"));
  AddCommand(Project1, "Exit2", QStringLiteral("E&xit"), &TmainF::Exit2Click);

  QMenu* Folder1 = Named(MainMenu1->addMenu(QStringLiteral("Fol&der")), "Folder1");
  dirEnterMI = Named(Folder1->addMenu(QStringLiteral("&Enter")), "dirEnterMI");
  AddCommand(dirEnterMI, "direnterBrowseMI", QStringLiteral("&Browse..."),
             &TmainF::direnterBrowseMIClick, QKeySequence(Qt::CTRL | Qt::Key_D));
  dirEnterMI->addSeparator()->setObjectName(QStringLiteral("N4"));
  dirOpenMI = Named(Folder1->addMenu(QStringLiteral("&Open")), "dirOpenMI");
  AddCommand(dirOpenMI, "diropenBrowseMI", QStringLiteral("&Browse..."),
             &TmainF::diropenBrowseMIClick, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));
  dirOpenMI->addSeparator()->setObjectName(QStringLiteral("N5"));

  QMenu* Options1 = Named(MainMenu1->addMenu(QStringLiteral("&Options")), "Options1");
  AddCommand(Options1, "selfolderMI", QStringLiteral("&Selection folder"),
             &TmainF::selfolderMIClick);
  QAction* invalid = Options1->addAction(QStringLiteral("&Invalid characters"));
  invalid->setObjectName(QStringLiteral("Replaceillegalcharacters1"));
  invalid->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F2));
  connect(invalid, &QAction::triggered, this, [this] {
    quillon::ui::ReportFailures([this] {
      if (repF) quillon::Replaceillegalcharacters1Click(*repF, settings_);
    });
  });
  QAction* extension = Options1->addAction(QStringLiteral("Output &extension"));
  extension->setObjectName(QStringLiteral("outputextension1"));
  extension->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F2));
  connect(extension, &QAction::triggered, this, [this] {
    quillon::ui::ReportFailures([this] {
      if (outputextF) quillon::outputextension1Click(*outputextF, settings_);
    });
  });
  Options1->addSeparator()->setObjectName(QStringLiteral("N7"));
  QAction* fill = Options1->addAction(QStringLiteral("Fill files..."));
  fill->setObjectName(QStringLiteral("FillfilesMI"));
  fill->setShortcut(QKeySequence(Qt::Key_F3));
  connect(fill, &QAction::triggered, this, [this] {
    quillon::ui::ReportFailures([this] {
      if (fillF) quillon::FillfilesMIClick(*fillF, settings_, OpenDialog1);
    });
  });

  QMenu* Help1 = Named(MainMenu1->addMenu(QStringLiteral("&Help")), "Help1");
  AddCommand(Help1, "Contents1", QStringLiteral("&Contents"), &TmainF::Contents1Click,
             QKeySequence(Qt::Key_F1));
  AddCommand(Help1, "textversion", QStringLiteral("&Text Help"), &TmainF::textversionClick);
  AddCommand(Help1, "Website1", QStringLiteral("Go to &website"), &TmainF::Website1Click);

  // Items of the menu bar itself act when clicked.
  QAction* About1 = MainMenu1->addAction(QStringLiteral("&About"));
  About1->setObjectName(QStringLiteral("About1"));
  connect(About1, &QAction::triggered, this, [this] { quillon::ui::ReportFailures([this] { About1Click(); }); });
  QAction* Exit1 = MainMenu1->addAction(QStringLiteral("E&xit"));
  Exit1->setObjectName(QStringLiteral("Exit1"));
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
}

void TmainF::BuildHistories() {
  auto history = [this](const char* name, QMenu* menu, const char* histname,
                        const char* maxhistname, const char* maxitemlenname,
                        void (TmainF::*handler)(TMYcustomhistory*, const QString&)) {
    auto* component = new TMYcustomhistory(this);
    component->setObjectName(QString::fromLatin1(name));
    component->setMenuitem(menu);
    component->setHistname(QString::fromLatin1(histname));
    component->setMaxhistname(QString::fromLatin1(maxhistname));
    component->setMaxitemlenname(QString::fromLatin1(maxitemlenname));
    connect(component, &TMYcustomhistory::Onitemclicked, this,
            [this, handler](TMYcustomhistory* sender, const QString& text) {
              quillon::ui::ReportFailures([&] { (this->*handler)(sender, text); });
            });
    return component;
  };
  MyEnterH = history("MyEnterH", EnterMI, "files.his", "max.his", "maxlen.his",
                     &TmainF::MyEnterHitemclicked);
  MyOpenH = history("MyOpenH", openMI, "files.his", "max.his", "maxlen.his",
                    &TmainF::MyOpenHitemclicked);
  MYdirenterH = history("MYdirenterH", dirEnterMI, "dirfiles.his", "dirmax.his",
                        "dirmaxlen.his", &TmainF::MYdirenterHitemclicked);
  MYdiropenH = history("MYdiropenH", dirOpenMI, "dirfiles.his", "dirmax.his", "dirmaxlen.his",
                       &TmainF::MYdiropenHitemclicked);
}

void TmainF::SetTabOrder() {
  QWidget* order[] = {DriveComboBox1, infoCB, filterCB, ST1,    FileListBox1,
                      AddsourceB,     AddsourceE, adddestB, adddestE, RunB,
                      cancelB,        ClearB,     ExitB,    RunM};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void TmainF::FormCreate() {
  setWindowState(windowState() | Qt::WindowMaximized);
  Recolour(sourceL, QColor(0, 170, 100));
  Recolour(destL, QColor(170, 0, 0));
  Recolour(repL, QColor(0, 0, 170));
  quillon::ui::ReportFailures([this] { filterCBChange(); });
  DriveComboBox1->ReadVolumes();
  DriveComboBox1->ShowFolder(QDir::currentPath());

  program_folder_ = quillon::FolderOfPath(executable_path_);
  data_folder_ = quillon::DataFolderFor(program_folder_);
  for (TMYcustomhistory* history : {MyEnterH, MyOpenH, MYdirenterH, MYdiropenH}) {
    history->setFolder(FromBytes(data_folder_));
    quillon::ui::ReportFailures([history] { history->LoadHistory(); });
  }
  settings_.SelectionFolder = program_folder_;
  quillon::ui::ReportFailures([this] {
    settings_ = quillon::ReadRunSettings(quillon::SettingsFileFor(executable_path_),
                                         program_folder_);
  });
  OpenDialog1.InitialDir = FromBytes(settings_.SelectionFolder) + QLatin1Char('/');
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
        if (TreePath() == shown) quillon::ui::ReportFailures([this] { FormShow(); });
      },
      Qt::QueuedConnection);
}

void TmainF::FormShow() { SetTreePath(FromBytes(settings_.SelectionFolder) + QLatin1Char('/')); }

void TmainF::closeEvent(QCloseEvent* event) {
  // A run keeps the window until it has stopped after its current line; then it closes.
  if (running_) {
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
  const std::string settings_file = quillon::SettingsFileFor(executable_path_);
  SetStatusText(QStringLiteral("Saving settings to ") + FromBytes(settings_file));
  quillon::ui::ReportFailures([&] { quillon::WriteRunSettings(settings_file, settings_); });
}

bool TmainF::eventFilter(QObject* watched, QEvent* event) {
  // The window sees every key of its controls first (key preview).
  auto* widget = qobject_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::KeyPress:
      if (widget && widget->window() == this && FormKeyPress(static_cast<QKeyEvent*>(event))) {
        return true;
      }
      break;
    case QEvent::MouseButtonPress:
      if (watched == centralWidget()) FormClick();
      break;
    case QEvent::MouseButtonDblClick:
      if (watched == AddsourceE) quillon::ui::ReportFailures([this] { AddsourceEDblClick(); });
      if (watched == adddestE) quillon::ui::ReportFailures([this] { adddestEDblClick(); });
      break;
    case QEvent::FocusIn:
      if (watched == DriveComboBox1 && !WindowSwitch(event)) DriveComboBox1Enter();
      break;
    case QEvent::FocusOut:
      if (watched == DriveComboBox1 && !WindowSwitch(event)) DriveComboBox1Exit();
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TmainF::FormKeyPress(QKeyEvent* key) {
  if (key->key() != Qt::Key_Escape) return false;
  close();
  return true;
}

void TmainF::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TmainF::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = QDir::cleanPath(url.toLocalFile());
    (quillon::IsFolder(ToBytes(path)) ? adddestE : AddsourceE)->setText(path);
  }
  event->acceptProposedAction();
}

QString TmainF::ProgramFolder() const { return FromBytes(program_folder_); }
QString TmainF::DataFolder() const { return FromBytes(data_folder_); }
QString TmainF::SettingsFile() const {
  return FromBytes(quillon::SettingsFileFor(executable_path_));
}
QString TmainF::StatusText() const { return status_label_->text(); }
void TmainF::SetStatusText(const QString& text) { status_label_->setText(text); }

void TmainF::ShowStatusNow(const QString& text) {
  SetStatusText(text);
  status_label_->repaint();
}

void TmainF::FormClick() { SetStatusText(QString()); }

void TmainF::Exit1Click() { close(); }
void TmainF::Exit2Click() { close(); }
void TmainF::ExitBClick() { close(); }

void TmainF::About1Click() {
  SetStatusText(QStringLiteral("About..."));
  if (AboutF) AboutF->exec();
}

void TmainF::Contents1Click() {
  quillon::ui::OpenWithShell(FromBytes(quillon::HelpFileFor(program_folder_)));
}

void TmainF::textversionClick() { quillon::ui::ShowNotice(QString::fromLatin1(kTextHelp)); }

void TmainF::Website1Click() { quillon::ui::OpenWithShell(QString::fromLatin1(kWebsite)); }

// Run

void TmainF::RunBClick() {
  // One run at a time: the Run button stays disabled while a run goes on.
  if (running_) return;
  WindowRunHost host(*this);
  quillon::ConversionRun run(host, settings_);
  since_flush_.invalidate();
  try {
    run.Run(ToBytes(AddsourceE->text()), ToBytes(adddestE->text()));
  } catch (const std::exception& error) {
    FlushReport();
    if (running_) SetRunning(false);
    quillon::ui::ShowApplicationError(quillon::ui::FailureText(error));
  }
  FlushReport();
  // A run that reported many lines freed much on the way.
  quillon::ReturnFreedMemory();
  if (close_after_run_) close();
}

void TmainF::cancelBClick() { RunCancelled = true; }

void TmainF::ClearBClick() { RunM->clear(); }

void TmainF::SetRunning(bool running) {
  running_ = running;
  if (running) {
    line_reached_ = 0;
    line_total_ = 0;
    cancelB->setEnabled(true);
    RunB->setEnabled(false);
    ClearB->setEnabled(false);
    RunPB->setRange(0, 0);
    RunPB->show();
  } else {
    FlushReport();
    cancelB->setEnabled(false);
    RunB->setEnabled(true);
    ClearB->setEnabled(true);
    RunPB->hide();
  }
}

void TmainF::FlushReport() {
  if (!pending_report_.empty()) {
    pending_report_.pop_back();  // the last line's "\n"
    RunM->AppendBytes(pending_report_);
    pending_report_.clear();
  }
  since_flush_.start();
  if (running_) ShowRunProgress();
}

void TmainF::ShowRunProgress() {
  if (line_total_ <= 0 && line_reached_ == 0) return;
  RunPB->setRange(0, std::max(line_total_, line_reached_));
  RunPB->setValue(line_reached_);
}

void TmainF::AddsourceEChange() { ApplyRunBRule(); }
void TmainF::adddestEChange() { ApplyRunBRule(); }

void TmainF::ApplyRunBRule() {
  RunB->setEnabled(!running_ && !AddsourceE->text().isEmpty() && !adddestE->text().isEmpty());
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
  quillon::ui::OpenWithShell(*file);
  RecordFile(*file);
}

void TmainF::direnterBrowseMIClick() {
  if (!LocxxxF) return;
  const std::optional<QString> folder = quillon::direnterBrowse(*LocxxxF, settings_);
  if (!folder) return;
  adddestE->setText(*folder);
  RecordFolder(*folder);
}

void TmainF::diropenBrowseMIClick() {
  if (!LocxxxF) return;
  const std::optional<QString> folder = quillon::diropenBrowse(*LocxxxF, settings_);
  if (!folder) return;
  if (!quillon::IsFolder(ToBytes(*folder))) {
    quillon::ui::ShowError(QStringLiteral("Folder does not exist: ") + *folder);
    return;
  }
  SetTreePath(*folder);
  RecordFolder(*folder);
}

void TmainF::selfolderMIClick() {
  SetStatusText(QStringLiteral("Actual selection folder: ") +
                FromBytes(settings_.SelectionFolder));
  if (LocxxxF) quillon::selfolderMIClick(*LocxxxF, settings_, OpenDialog1);
}

void TmainF::MyEnterHitemclicked(TMYcustomhistory*, const QString& str) {
  AddsourceE->setText(str);
  RecordFile(str);
}

void TmainF::MyOpenHitemclicked(TMYcustomhistory*, const QString& str) {
  quillon::ui::OpenWithShell(str);
  RecordFile(str);
}

void TmainF::MYdirenterHitemclicked(TMYcustomhistory*, const QString& str) {
  adddestE->setText(str);
  RecordFolder(str);
}

void TmainF::MYdiropenHitemclicked(TMYcustomhistory*, const QString& str) {
  if (!quillon::IsFolder(ToBytes(str))) {
    quillon::ui::ShowError(QStringLiteral("Folder does not exist: ") + str);
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

void TmainF::FileListBox1DblClick() { quillon::ui::OpenWithShell(FileListBox1->FileName()); }

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
  quillon::StripTrailingBackslash(folder);
  adddestE->setText(FromBytes(folder));
}

void TmainF::AddsourceEDblClick() {
  if (quillon::IsExistingFile(ToBytes(AddsourceE->text()))) {
    quillon::ui::OpenWithShell(AddsourceE->text());
  }
}

void TmainF::adddestEDblClick() { SetTreePath(adddestE->text() + QLatin1Char('/')); }

// Status-bar information

void TmainF::infoCBClick() {
  if (!infoCB->isChecked()) {
    SetStatusText(QString());
    return;
  }
  if (FileListBox1->selectedItems().isEmpty()) {
    ST1Change();
  } else {
    FileListBox1Click();
  }
}

void TmainF::ShowFolderInfo() {
  const std::string path = ToBytes(TreePath());
  if (path.empty()) {
    SetStatusText(QString());
    return;
  }
  if (IsVolumeRoot(path)) {
    std::uint64_t free_bytes = 0;
    if (!quillon::VolumeFreeBytes(path, free_bytes)) {
      SetStatusText(QStringLiteral("Drive ") + FromBytes(path) + QStringLiteral(" is invalid!"));
      return;
    }
    ShowStatusNow(QStringLiteral("Calculating, please wait..."));
    SetStatusText(FromBytes(quillon::GroupThousands(std::to_string(free_bytes))) +
                  QStringLiteral(" bytes free on drive ") + FromBytes(path));
    return;
  }
  ShowStatusNow(QStringLiteral("Calculating, please wait..."));
  const std::uint64_t size = quillon::PathSize(path);
  const std::string date = quillon::PathDateText(path);
  SetStatusText(FromBytes(quillon::GroupThousands(std::to_string(size))) +
                QStringLiteral(" bytes; Created: ") + FromBytes(date));
}

void TmainF::ShowFileInfo() {
  const std::string path = ToBytes(FileListBox1->FileName());
  const std::uint64_t size = quillon::PathSize(path);
  const std::string date = quillon::PathDateText(path);
  SetStatusText(FromBytes(quillon::GroupThousands(std::to_string(size))) +
                QStringLiteral(" bytes; Last changed: ") + FromBytes(date));
}

// Folder and file commands

void TmainF::Createfolder1Click() {
  const QString name = quillon::ui::CurrentSeam()
                           .InputBox(QStringLiteral("Create folder"),
                                     QStringLiteral("Give name of new folder"), QString())
                           .value_or(QString());
  const std::string parent = ToBytes(TreePath());
  // Cancel or an empty name names the selected folder itself: nothing to create, nothing to
  // say, also on a virtual folder, which has no place in the file system for a new one.
  if (parent.empty() && name.isEmpty()) return;
  if (parent.empty() || !quillon::ForceFolder(quillon::JoinPath(parent, ToBytes(name)))) {
    quillon::ui::ShowError(QStringLiteral("Could not create folder"));
  }
}

void TmainF::Removefolder1Click() {
  if (!ST1) return;
  ST1->SetUpdAutoThread(false);
  std::string folder = ToBytes(TreePath());
  const QString original = FromBytes(folder);
  quillon::StripTrailingBackslash(folder);
  const QString parent = FromBytes(quillon::ParentFolder(folder));
  SetTreePath(parent);
  ST1->SetReadOnly(false);
  // A virtual folder (empty path) is never a folder to remove.
  if (!folder.empty() && quillon::RemoveFolder(folder)) {
    ST1->RefreshTree();
    SetTreePath(parent);
  } else {
    quillon::ui::ShowError(QStringLiteral("Not removed. Probably not empty"));
    SetTreePath(original);
  }
  ST1->SetReadOnly(true);
  ST1->SetUpdAutoThread(true);
}

void TmainF::Remove1Click() {
  const QString file = FileListBox1->FileName();
  const std::string path = ToBytes(file);
  std::error_code error;
  const bool removed = !path.empty() && quillon::IsExistingFile(path) && !quillon::IsWriteProtected(path) &&
                       std::filesystem::remove(path, error);
  if (removed) {
    quillon::ui::ShowInformation(QStringLiteral("Succesfully removed: ") + file);
  } else {
    quillon::ui::ShowError(QStringLiteral("Unable to remove: ") + file);
  }
  FileListBox1->Update();
}
