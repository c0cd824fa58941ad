// The search-location dialog: the user picks a folder in the tree or types one, is offered to
// create it when it does not exist, and the accepted location is handed back.
//
// The main window creates one TLocxxxF at start-up (right after itself) and reuses it. Its
// commands call, in one line each:
//   "&Selection folder" (selfolderMI): after showing "Actual selection folder: " followed by
//       SelectionFolder in its status bar,
//       quillon::selfolderMIClick(*LocxxxF, RunSettings, OpenDialog1);
//   Folder > Enter > "&Browse..." (direnterBrowseMI):
//       std::optional<QString> folder = quillon::direnterBrowse(*LocxxxF, RunSettings);
//   Folder > Open > "&Browse..." (diropenBrowseMI):
//       std::optional<QString> folder = quillon::diropenBrowse(*LocxxxF, RunSettings);
#pragma once

#include <QDialog>
#include <QString>
#include <optional>

#include "engine/RunSettings.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace quillon {

class TDirectoryListBox;
class TDriveComboBox;
class TShellTree;
namespace ui {
class OpenDialog;
}

class TLocxxxF : public QDialog {
  Q_OBJECT

 public:
  explicit TLocxxxF(QWidget* parent = nullptr);

  // Where the tree moves each time the dialog is shown; each caller sets it before showing.
  QString SelectionFolder;

  TDriveComboBox* DriveComboBox1;
  TShellTree* ST1;
  TDirectoryListBox* DirectoryListBox1;
  QLabel* Label2;
  QLineEdit* locxxxE;
  QLabel* resultL;
  QPushButton* SavelocB;
  QPushButton* CancelB;

  void FormShow();
  void ST1Change();
  void DirectoryListBox1Change(const QString& folder);
  void DriveComboBox1Change();
  void SavelocBClick();
  void CancelBClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool FormKeyPress(QKeyEvent* key);
};

// "&Selection folder": a location accepted becomes SelectionFolder, and the initial folder of
// the open dialog becomes it followed by a separator.
void selfolderMIClick(TLocxxxF& locxxxF, RunSettings& settings, ui::OpenDialog& openDialog1);

// The two Browse commands of the Folder menu: the folder chosen, for the caller to use.
std::optional<QString> direnterBrowse(TLocxxxF& locxxxF, const RunSettings& settings);
std::optional<QString> diropenBrowse(TLocxxxF& locxxxF, const RunSettings& settings);

}  // namespace quillon
