// The main window: the Select, Source, Destination and Report panels, the menus, the run in the
// window, the history menus, browsing for source and destination, the status-bar information
// and the folder and file commands.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/WindowRunHost.h"
#include "engine/RunSettings.h"
#include "util/ui/OpenDialog.h"

class QAction;
class QCheckBox;
class QKeyEvent;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;

namespace quillon {

class AnsweredWork;
class TAboutF;
class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;
class TFilterComboBox;
class TLocxxxF;
class TPreviewF;
class TMYcustomhistory;
class TReportMemo;
class TShellTree;
class TfillF;
class ToutputextF;
class TrepF;

class TmainF : public QMainWindow, private RunView {
  Q_OBJECT
  Q_PROPERTY(QString ProgramFolder READ ProgramFolder)

 public:
  // The program folder and the settings file follow from the executable's path; tests pass a
  // path inside a temporary folder.
  explicit TmainF(const std::string& executable_path, QWidget* parent = nullptr);
  ~TmainF() override;

  // The dialogs created after the window, in start-up order.
  void SetDialogs(TLocxxxF* locxxxF, TrepF* repF, TfillF* fillF, ToutputextF* outputextF,
                  TAboutF* aboutF);

  // The Report panel's usual height; the user's own is kept in the settings file.
  static constexpr int kReportHeight = 146;

  QString ProgramFolder() const;
  QString DataFolder() const;
  QString SettingsFile() const;
  quillon::RunSettings& RunSettings() { return settings_; }
  ui::OpenDialog& OpenDialog() { return OpenDialog1; }
  QString StatusText() const;
  // A status text of its own: the folder or file information on its way is abandoned.
  void SetStatusText(const QString& text);

  // How the status-bar information finds a size: PathSize unless a test puts a walk of its
  // own here. It runs on a worker and should end soon once stop is set.
  using SizeWalk =
      std::function<std::uint64_t(const std::string& path, const std::atomic<bool>& stop)>;
  void SetSizeWalk(SizeWalk walk) { size_walk_ = std::move(walk); }
  // Takes in the answers of the information's workers until none is outstanding or the time
  // is up; true when none is.
  bool SettleStatusInfo(int milliseconds = 5000);

  // Handlers, named by control and event.
  void FormShow();
  void FormClick();
  void Exit1Click();
  void Exit2Click();
  void ExitBClick();
  void About1Click();
  void Contents1Click();
  void textversionClick();
  void Website1Click();

  void RunBClick();
  void PreviewBClick();
  void UndoLastRunMIClick();
  void SaveReportMIClick();
  void cancelBClick();
  void ClearBClick();
  void AddsourceEChange();
  void adddestEChange();

  void enterbrowseClick();
  void openbrowseClick();
  void direnterBrowseMIClick();
  void diropenBrowseMIClick();
  void MyEnterHitemclicked(TMYcustomhistory* Sender, const QString& str);
  void MyOpenHitemclicked(TMYcustomhistory* Sender, const QString& str);
  void MYdirenterHitemclicked(TMYcustomhistory* Sender, const QString& str);
  void MYdiropenHitemclicked(TMYcustomhistory* Sender, const QString& str);

  void ST1Change();
  void ST1Click();
  void FileListBox1Click();
  void FileListBox1DblClick();
  void DriveComboBox1Change();
  void DriveComboBox1Enter();
  void DriveComboBox1Exit();
  void filterCBChange();
  void AddsourceBClick();
  void adddestBClick();
  void AddsourceEDblClick();
  void adddestEDblClick();

  void infoCBClick();
  void ShowFolderInfo();
  void ShowFileInfo();

  void Createfolder1Click();
  void Removefolder1Click();
  void Remove1Click();

  void selfolderMIClick();
  void Replaceillegalcharacters1Click();
  void outputextension1Click();
  void FillfilesMIClick();

  // Controls, named as the layout names them.
  QFrame* Panel1 = nullptr;
  QLabel* SelectL;
  TDriveComboBox* DriveComboBox1;
  QCheckBox* infoCB;
  QLabel* filefilterL;
  QComboBox* filterCB;
  TShellTree* ST1;
  TFileListBox* FileListBox1;
  TDirectoryListBox* dlb1;
  TFilterComboBox* FilterComboBox1;
  QFrame* Panel2;
  QLabel* sourceL = nullptr;
  QLabel* Label6;
  QPushButton* AddsourceB;
  QLineEdit* AddsourceE;
  QFrame* Panel3;
  QLabel* destL;
  QLabel* Label1;
  QPushButton* adddestB;
  QLineEdit* adddestE;
  QSplitter* SelectReportS;  // between the Select panel (with Source and Destination) and Report
  QFrame* Panel4;
  QLabel* repL;
  QPushButton* RunB;
  QPushButton* PreviewB;
  QPushButton* cancelB;
  QProgressBar* RunPB;
  QPushButton* ClearB;
  QPushButton* ExitB;
  TReportMemo* RunM;
  QStatusBar* stb1;

  QMenu* PM1;
  QMenu* flbPM;
  QMenu* EnterMI;
  QMenu* openMI;
  QMenu* dirEnterMI;
  QMenu* dirOpenMI;

  TMYcustomhistory* MyEnterH;
  TMYcustomhistory* MyOpenH;
  TMYcustomhistory* MYdirenterH;
  TMYcustomhistory* MYdiropenH;

 signals:
  // The status bar shows the information of the latest selection.
  void StatusInfoShown();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void FormCreate();
  void FormClose();
  void SetReportHeight(int height);
  // The described heading colours, or lighter ones of the same hues on a dark palette.
  void SetHeadingColours();
  // Escape closes the window, whichever control has the focus.
  bool FormKeyPress(QKeyEvent* key);
  void BuildPanels();
  void BuildMenus();
  void BuildHistories();
  void SetTabOrder();
  void NameControls();
  // A menu item whose handler runs as a command (see ConnectCommand).
  QAction* AddCommand(QWidget* menu, const char* name, const QString& caption,
                      void (TmainF::*handler)(), const QKeySequence& shortcut = {});
  void ApplyRunBRule();
  // What a run shows in the window.
  void ShowReportBytes(std::string_view lines) override;
  void ShowLineReason(int lines_before_last, const std::string& reason) override;
  void ShowProgress(int line, int line_total) override;
  void ShowRunning(bool running) override;
  void RecordFile(const QString& path) override;
  void RecordFolder(const QString& path) override;
  QString TreePath() const;
  void SetTreePath(const QString& path);
  void BuildStatusInfo();
  // "Calculating, please wait..." at once, then the text that describe gives on a worker,
  // unless a newer status text came first.
  void DescribeOffThread(const std::string& path,
                         std::function<std::string(const std::atomic<bool>& stop)> describe);
  void AbandonStatusInfo();

  std::string executable_path_;
  std::string program_folder_;
  std::string data_folder_;
  quillon::RunSettings settings_;
  ui::OpenDialog OpenDialog1;
  QLabel* status_label_ = nullptr;
  AnsweredWork* info_work_ = nullptr;
  SizeWalk size_walk_;
  std::uint64_t info_request_ = 0;  // the latest status text; an older answer is dropped
  std::shared_ptr<std::atomic<bool>> info_stop_;  // ends the walk of the latest request

  QPointer<TLocxxxF> LocxxxF;
  QPointer<TrepF> repF;
  QPointer<TfillF> fillF;
  QPointer<ToutputextF> outputextF;
  QPointer<TAboutF> AboutF;
  QPointer<TPreviewF> PreviewF;

  bool RunCancelled = false;
  bool close_after_run_ = false;
  bool tree_move_due_ = false;  // shown, the tree not yet moved to the selection folder
  // The Report panel's height as the user left it, and as the settings file holds it (0: the
  // usual height).
  int report_height_ = 0;
  int stored_report_height_ = 0;
  WindowRunHost run_host_;
};

}  // namespace quillon
