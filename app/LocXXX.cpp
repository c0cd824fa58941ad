#include "app/LocXXX.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <exception>

#include "app/DriveBox.h"
#include "app/FileLists.h"
#include "shelltree/ShellTree.h"
#include "util/FileSystem.h"
#include "util/Platform.h"
#include "util/ui/Commands.h"
#include "util/ui/Controls.h"
#include "util/ui/Fonts.h"
#include "util/ui/OpenDialog.h"
#include "util/ui/Seam.h"

namespace quillon {

TLocxxxF::TLocxxxF(QWidget* parent) : QDialog(parent) {
  setObjectName("LocxxxF");
  setWindowTitle("Search Location ");
  resize(489, 232);
  setFont(ui::ControlFont());

  DriveComboBox1 = new TDriveComboBox(this);
  DriveComboBox1->setObjectName("DriveComboBox1");
  DriveComboBox1->setAccessibleName("Volume");
  DriveComboBox1->setFixedWidth(145);
  // The folder list lies behind the tree: it holds the folder, the user never sees it.
  DirectoryListBox1 = new TDirectoryListBox(this);
  DirectoryListBox1->setObjectName("DirectoryListBox1");
  DirectoryListBox1->setFocusPolicy(Qt::NoFocus);
  DirectoryListBox1->hide();
  // The main window's tree settings, without its pop-up menu and click handler.
  ST1 = new TShellTree(this);
  ST1->setObjectName("ST1");
  ST1->SetRootUsePIDL(true);
  ST1->SetRootPIDL(TShellTree::PIDL_DESKTOP);
  ST1->SetOptions(TShellTree::TF_FOLDERS);
  ST1->SetPopupMenuMode(TShellTree::pmm_PopupMenu);
  ST1->SetPopupMenu(nullptr);
  ST1->SetRightClickSelect(false);
  ST1->SetReadOnly(true);
  ST1->setIndentation(19);
  ST1->setAccessibleName("Folders");
  Label2 = new QLabel("Resulting location", this);
  Label2->setObjectName("Label2");
  locxxxE = new QLineEdit(this);
  locxxxE->setObjectName("locxxxE");
  locxxxE->setAccessibleName("Location");
  resultL = new QLabel(this);
  resultL->setObjectName("resultL");
  resultL->hide();
  SavelocB = new QPushButton("&Ok", this);
  SavelocB->setObjectName("SavelocB");
  SavelocB->setDefault(true);
  CancelB = new QPushButton("&Cancel", this);
  CancelB->setObjectName("CancelB");

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 8);
  column->setSpacing(4);
  column->addWidget(DriveComboBox1, 0, Qt::AlignLeft);
  column->addWidget(ST1, 1);
  column->addWidget(Label2);
  column->addWidget(locxxxE);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  buttons->addWidget(SavelocB);
  buttons->addWidget(CancelB);
  buttons->addStretch(1);
  column->addLayout(buttons);

  QWidget::setTabOrder(DriveComboBox1, ST1);
  QWidget::setTabOrder(ST1, locxxxE);
  QWidget::setTabOrder(locxxxE, SavelocB);
  QWidget::setTabOrder(SavelocB, CancelB);

  DriveComboBox1->SetVolumes(ST1->Volumes());  // the tree has just read them
  ui::ConnectCommand(ST1, &TShellTree::OnChange, this, &TLocxxxF::ST1Change);
  ui::ConnectCommand(DirectoryListBox1, &TDirectoryListBox::Change, this,
                     &TLocxxxF::DirectoryListBox1Change);
  ui::ConnectCommand(DriveComboBox1, &QComboBox::activated, this, &TLocxxxF::DriveComboBox1Change);
  ui::ConnectCommand(SavelocB, &QPushButton::clicked, this, &TLocxxxF::SavelocBClick);
  ui::ConnectCommand(CancelB, &QPushButton::clicked, this, &TLocxxxF::CancelBClick);
}

void TLocxxxF::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TLocxxxF::FormShow() {
  if (windowState() == Qt::WindowNoState) {
    if (const QScreen* shown = screen()) {
      move(shown->availableGeometry().center() - rect().center());
    }
  }
  // A selection folder that no longer exists leaves the tree where it was.
  try {
    ST1->SetPath(SelectionFolder);
  } catch (const std::exception&) {
  }
}

void TLocxxxF::ST1Change() {
  // A folder the list cannot read (a drive without a medium) ends the command.
  DirectoryListBox1->setDirectory(ST1->Path());
}

void TLocxxxF::DirectoryListBox1Change(const QString& folder) {
  DriveComboBox1->ShowFolder(folder);
  locxxxE->setText(folder);
}

void TLocxxxF::DriveComboBox1Change() {
  const QString drive = DriveComboBox1->Drive();
  if (!drive.isEmpty()) ST1->SetPath(drive);
}

void TLocxxxF::SavelocBClick() {
  const QString typed = locxxxE->text();
  if (typed.isEmpty()) {
    ui::ShowNotice("No directory selected!");
    resultL->clear();
    accept();
    return;
  }
  // The root is a whole location in one character; any other location needs two. A host
  // without drive letters has no "C:\" to cut to "C:", so the text is the location.
  if (typed.size() < 2 && !IsRootPath(ui::ToBytes(typed))) {
    ui::ShowNotice("Invalid, need at least 2 characters!");
    return;
  }
  resultL->setText(typed);
  const std::string location = ui::ToBytes(typed);
  if (GetPathKind(location) != 'd') {
    if (ui::AskYesNo("Chosen location is invalid or does not exist. I try to create it??")) {
      if (ForceFolder(location)) {
        ui::ShowNotice("Creation succesfull");
      } else {
        ui::ShowError("Unable to create " + typed +
                      ". Probably invalid drive or not writable! accept it anyway??");
      }
    } else if (!ui::AskYesNo("Accept the path anyway??")) {
      return;
    }
  }
  std::string accepted = ui::ToBytes(resultL->text());
  StripTrailingBackslash(accepted);
  resultL->setText(ui::FromBytes(accepted));
  accept();
}

void TLocxxxF::CancelBClick() { reject(); }

bool TLocxxxF::FormKeyPress(QKeyEvent* key) { return ui::CloseOnEscape(this, key); }

void TLocxxxF::keyPressEvent(QKeyEvent* event) {
  if (!FormKeyPress(event)) QDialog::keyPressEvent(event);
}

namespace {

// Presets the dialog, shows it, and gives resultL after OK when it is not empty. A caller
// without a window state leaves the one of the last use.
std::optional<QString> ShowLocation(TLocxxxF& locxxxF, const RunSettings& settings,
                                    const QString& caption, const QString& preset,
                                    std::optional<Qt::WindowState> state) {
  if (state) locxxxF.setWindowState(*state);
  locxxxF.setWindowTitle(caption);
  locxxxF.locxxxE->setText(preset);
  locxxxF.SelectionFolder = ui::FromBytes(settings.SelectionFolder);
  if (locxxxF.exec() != QDialog::Accepted) return std::nullopt;
  const QString result = locxxxF.resultL->text();
  if (result.isEmpty()) return std::nullopt;
  return result;
}

}  // namespace

void selfolderMIClick(TLocxxxF& locxxxF, RunSettings& settings, ui::OpenDialog& openDialog1) {
  const std::optional<QString> folder =
      ShowLocation(locxxxF, settings, "Give default start folder when looking for text files",
                   ui::FromBytes(settings.SelectionFolder), Qt::WindowNoState);
  if (!folder) return;
  settings.SelectionFolder = ui::ToBytes(*folder);
  openDialog1.InitialDir = *folder + QChar(kPathSeparator);
}

std::optional<QString> direnterBrowse(TLocxxxF& locxxxF, const RunSettings& settings) {
  return ShowLocation(locxxxF, settings, "Give parent folder for new directories (big browser)",
                      QString(), std::nullopt);
}

std::optional<QString> diropenBrowse(TLocxxxF& locxxxF, const RunSettings& settings) {
  return ShowLocation(locxxxF, settings, "Search and open a folder (big browser)", QString(),
                      Qt::WindowMaximized);
}

}  // namespace quillon
