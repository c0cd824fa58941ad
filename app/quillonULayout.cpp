// The main window's widgets: the four panels, the status bar, the pop-up and main menus, the
// history components and the tab order, with every control's name and its handler.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/DriveBox.h"
#include "app/FileLists.h"
#include "app/ReportMemo.h"
#include "app/quillonU.h"
#include "history/MYcustomhistory.h"
#include "settings/fillU.h"
#include "settings/outputextensionU.h"
#include "settings/repU.h"
#include "shelltree/ShellTree.h"
#include "util/ui/Commands.h"
#include "util/ui/Fonts.h"
#include "util/ui/Seam.h"

using quillon::TShellTree;
using quillon::ui::ConnectCommand;
using quillon::ui::ControlFont;
using quillon::ui::Scaled;

namespace quillon {

namespace {

const char* const kFilters[] = {"*.txt", "*.log", "*.ini", "*.cfg", "*.tmp", "*.*"};

QLabel* Heading(const char* name, const QString& caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setFont(ui::HeadingFont(21));
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

}  // namespace

void TmainF::BuildPanels() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  auto* outer = new QVBoxLayout(client);
  outer->setContentsMargins(8, 8, 8, 6);
  setCentralWidget(client);
  // The Report panel can take room from the Select panel above it; by default the Select
  // panel takes every change of the window's height.
  SelectReportS = Named(new QSplitter(Qt::Vertical, client), "SelectReportS");
  SelectReportS->setChildrenCollapsible(false);
  outer->addWidget(SelectReportS);
  auto* selection = Named(new QWidget(SelectReportS), "selection");
  auto* column = new QVBoxLayout(selection);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(6);
  SelectReportS->addWidget(selection);

  // Select
  Panel1 = NewPanel("Panel1", client);
  SelectL = Heading("SelectL", QStringLiteral("Select"), Panel1);
  DriveComboBox1 = Named(new TDriveComboBox(Panel1), "DriveComboBox1");
  DriveComboBox1->setFont(ControlFont());
  DriveComboBox1->setMaximumWidth(Scaled(229));
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
  filterCB->setMinimumWidth(Scaled(90));
  filterCB->lineEdit()->setAcceptDrops(false);

  ST1 = Named(new TShellTree(Panel1), "ST1");
  ST1->setFont(ControlFont());
  FileListBox1 = Named(new TFileListBox(Panel1), "FileListBox1");
  FileListBox1->setFont(ControlFont());
  FileListBox1->setFixedWidth(Scaled(276));
  FileListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
  dlb1 = Named(new TDirectoryListBox(Panel1), "dlb1");
  dlb1->SetFileList(FileListBox1);
  FileListBox1->SetLaneOf(
      [this](const std::string& path) { return ST1 ? ST1->LaneOf(path) : path; });
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
  // A few rows at least, so that the window fits a small screen (a 1280 x 900 one at 200 %).
  for (QWidget* list : std::initializer_list<QWidget*>{ST1, FileListBox1}) {
    list->setMinimumHeight(Scaled(48));
  }
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
    panel->setFixedHeight(Scaled(75));
    column->addWidget(panel);
  };
  pathPanel("Panel2", Panel2, "sourceL", QStringLiteral("Source"), sourceL, "Label6",
            QStringLiteral("(Text file)"), Label6, "AddsourceB", QStringLiteral("Add &selected"),
            AddsourceB, "AddsourceE", AddsourceE);
  pathPanel("Panel3", Panel3, "destL", QStringLiteral("Destination"), destL, "Label1",
            QStringLiteral("(Parent directory)"), Label1, "adddestB",
            QStringLiteral("Add selec&ted"), adddestB, "adddestE", adddestE);
  Panel3->setFixedHeight(Scaled(74));
  Label6->setBuddy(AddsourceE);
  Label1->setBuddy(adddestE);
  filefilterL->setBuddy(filterCB);

  // Report
  Panel4 = NewPanel("Panel4", client);
  repL = Heading("repL", QStringLiteral("Report"), Panel4);
  RunB = NewButton("RunB", QStringLiteral("&Run"), Panel4);
  PreviewB = NewButton("PreviewB", QStringLiteral("&Preview"), Panel4);
  cancelB = NewButton("cancelB", QStringLiteral("&Cancel"), Panel4);
  RunPB = Named(new QProgressBar(Panel4), "RunPB");
  RunPB->setFont(ControlFont());
  RunPB->setFormat(QStringLiteral("%v / %m"));
  RunPB->setMaximumWidth(Scaled(260));
  RunPB->hide();
  ClearB = NewButton("ClearB", QStringLiteral("C&lear"), Panel4);
  ExitB = NewButton("ExitB", QStringLiteral("&Exit"), Panel4);
  RunB->setEnabled(false);
  PreviewB->setEnabled(false);
  cancelB->setEnabled(false);
  ClearB->setEnabled(false);
  RunM = Named(new TReportMemo(Panel4), "RunM");
  RunM->setFont(ControlFont());
  RunM->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RunM->setMinimumHeight(Scaled(48));
  auto* report = new QVBoxLayout(Panel4);
  report->setContentsMargins(8, 2, 8, 8);
  report->setSpacing(2);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(repL);
  buttons->addSpacing(16);
  buttons->addWidget(RunB);
  buttons->addWidget(PreviewB);
  buttons->addWidget(cancelB);
  buttons->addSpacing(8);
  buttons->addWidget(RunPB, 1);
  buttons->addStretch(1);
  buttons->addWidget(ClearB);
  buttons->addWidget(ExitB);
  report->addLayout(buttons);
  report->addWidget(RunM, 1);
  SelectReportS->addWidget(Panel4);
  SelectReportS->setStretchFactor(0, 1);
  SelectReportS->setStretchFactor(1, 0);
  SetReportHeight(Scaled(kReportHeight));

  stb1 = Named(statusBar(), "stb1");
  stb1->setSizeGripEnabled(false);
  stb1->setFixedHeight(Scaled(19));
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
  // click that selects the folder under the pointer, so the menu acts on the folder pointed at.
  ST1->SetRootUsePIDL(true);
  ST1->SetRootPIDL(TShellTree::PIDL_DESKTOP);
  ST1->SetOptions(TShellTree::TF_FOLDERS);
  ST1->SetPopupMenu(PM1);
  ST1->SetPopupMenuMode(TShellTree::pmm_PopupMenu);
  ST1->SetRightClickSelect(true);
  ST1->SetReadOnly(true);
  ST1->setIndentation(19);

  ConnectCommand(ST1, &TShellTree::OnChange, this, &TmainF::ST1Change);
  ConnectCommand(ST1, &TShellTree::OnClick, this, &TmainF::ST1Click);
  ConnectCommand(FileListBox1, &TFileListBox::Click, this, &TmainF::FileListBox1Click);
  ConnectCommand(FileListBox1, &QListWidget::itemDoubleClicked, this,
                 &TmainF::FileListBox1DblClick);
  ConnectCommand(
      FileListBox1, &QWidget::customContextMenuRequested, this,
      [this](const QPoint& at) { flbPM->popup(FileListBox1->viewport()->mapToGlobal(at)); });
  ConnectCommand(DriveComboBox1, &QComboBox::activated, this, &TmainF::DriveComboBox1Change);
  ConnectCommand(filterCB, &QComboBox::currentTextChanged, this, &TmainF::filterCBChange);
  ConnectCommand(infoCB, &QCheckBox::clicked, this, &TmainF::infoCBClick);
  ConnectCommand(AddsourceB, &QPushButton::clicked, this, &TmainF::AddsourceBClick);
  ConnectCommand(adddestB, &QPushButton::clicked, this, &TmainF::adddestBClick);
  ConnectCommand(AddsourceE, &QLineEdit::textChanged, this, &TmainF::AddsourceEChange);
  ConnectCommand(adddestE, &QLineEdit::textChanged, this, &TmainF::adddestEChange);
  ConnectCommand(RunB, &QPushButton::clicked, this, &TmainF::RunBClick);
  ConnectCommand(PreviewB, &QPushButton::clicked, this, &TmainF::PreviewBClick);
  ConnectCommand(cancelB, &QPushButton::clicked, this, &TmainF::cancelBClick);
  ConnectCommand(ClearB, &QPushButton::clicked, this, &TmainF::ClearBClick);
  ConnectCommand(ExitB, &QPushButton::clicked, this, &TmainF::ExitBClick);
}

QAction* TmainF::AddCommand(QWidget* menu, const char* name, const QString& caption,
                            void (TmainF::*handler)(), const QKeySequence& shortcut) {
  auto* action = new QAction(caption, menu);
  menu->addAction(action);
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  ConnectCommand(action, &QAction::triggered, this, handler);
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
  AddCommand(Project1, "PreviewMI", QStringLiteral("&Preview..."), &TmainF::PreviewBClick,
             QKeySequence(Qt::CTRL | Qt::Key_P));
  AddCommand(Project1, "UndoLastRunMI", QStringLiteral("&Undo last run"),
             &TmainF::UndoLastRunMIClick);
  AddCommand(Project1, "SaveReportMI", QStringLiteral("&Save report..."),
             &TmainF::SaveReportMIClick, QKeySequence(Qt::CTRL | Qt::Key_S));
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
  AddCommand(Options1, "Replaceillegalcharacters1", QStringLiteral("&Invalid characters"),
             &TmainF::Replaceillegalcharacters1Click, QKeySequence(Qt::CTRL | Qt::Key_F2));
  AddCommand(Options1, "outputextension1", QStringLiteral("Output &extension"),
             &TmainF::outputextension1Click, QKeySequence(Qt::SHIFT | Qt::Key_F2));
  Options1->addSeparator()->setObjectName(QStringLiteral("N7"));
  AddCommand(Options1, "FillfilesMI", QStringLiteral("Fill files..."), &TmainF::FillfilesMIClick,
             QKeySequence(Qt::Key_F3));

  QMenu* Help1 = Named(MainMenu1->addMenu(QStringLiteral("&Help")), "Help1");
  AddCommand(Help1, "Contents1", QStringLiteral("&Contents"), &TmainF::Contents1Click,
             QKeySequence(Qt::Key_F1));
  AddCommand(Help1, "textversion", QStringLiteral("&Text Help"), &TmainF::textversionClick);
  AddCommand(Help1, "Website1", QStringLiteral("Go to &website"), &TmainF::Website1Click);

  // Items of the menu bar itself act when clicked.
  AddCommand(MainMenu1, "About1", QStringLiteral("&About"), &TmainF::About1Click);
  AddCommand(MainMenu1, "Exit1", QStringLiteral("E&xit"), &TmainF::Exit1Click);
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
    ConnectCommand(component, &TMYcustomhistory::Onitemclicked, this, handler);
    return component;
  };
  MyEnterH = history("MyEnterH", EnterMI, "files.his", "max.his", "maxlen.his",
                     &TmainF::MyEnterHitemclicked);
  MyOpenH =
      history("MyOpenH", openMI, "files.his", "max.his", "maxlen.his", &TmainF::MyOpenHitemclicked);
  MYdirenterH = history("MYdirenterH", dirEnterMI, "dirfiles.his", "dirmax.his", "dirmaxlen.his",
                        &TmainF::MYdirenterHitemclicked);
  MYdiropenH = history("MYdiropenH", dirOpenMI, "dirfiles.his", "dirmax.his", "dirmaxlen.his",
                       &TmainF::MYdiropenHitemclicked);
}

void TmainF::SetTabOrder() {
  QWidget* order[] = {DriveComboBox1, infoCB,     filterCB, ST1,      FileListBox1,
                      AddsourceB,     AddsourceE, adddestB, adddestE, RunB,
                      PreviewB,       cancelB,    ClearB,   ExitB,    RunM};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void TmainF::NameControls() {
  // What a screen reader says for each control; a caption alone would not tell the two Add
  // buttons apart, and the path fields and lists have none.
  const std::pair<QWidget*, const char*> names[] = {
      {DriveComboBox1, "Volume"},
      {filterCB, "File filter"},
      {ST1, "Folders"},
      {FileListBox1, "Files of the folder"},
      {AddsourceB, "Add selected source"},
      {AddsourceE, "Source text file"},
      {adddestB, "Add selected destination"},
      {adddestE, "Destination parent folder"},
      {RunPB, "Lines done"},
      {RunM, "Report"},
  };
  for (const auto& [control, name] : names) control->setAccessibleName(QString::fromLatin1(name));
}

}  // namespace quillon
