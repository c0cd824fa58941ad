// The main window's status-bar information and its folder and file commands: what the
// selected folder or file holds, and creating and removing folders and files.
#include <QCheckBox>
#include <string>

#include "app/FileLists.h"
#include "app/quillonU.h"
#include "shelltree/ShellTree.h"
#include "util/FileSystem.h"
#include "util/Platform.h"
#include "util/Text.h"
#include "util/Volumes.h"
#include "util/ui/Seam.h"

using quillon::ui::FromBytes;
using quillon::ui::ToBytes;

namespace quillon {

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
    if (!VolumeFreeBytes(path, free_bytes)) {
      SetStatusText(QStringLiteral("Drive ") + FromBytes(path) + QStringLiteral(" is invalid!"));
      return;
    }
    ShowStatusNow(QStringLiteral("Calculating, please wait..."));
    SetStatusText(FromBytes(GroupThousands(std::to_string(free_bytes))) +
                  QStringLiteral(" bytes free on drive ") + FromBytes(path));
    return;
  }
  ShowStatusNow(QStringLiteral("Calculating, please wait..."));
  const std::uint64_t size = PathSize(path);
  const std::string date = PathDateText(path);
  SetStatusText(FromBytes(GroupThousands(std::to_string(size))) +
                QStringLiteral(" bytes; Created: ") + FromBytes(date));
}

void TmainF::ShowFileInfo() {
  const std::string path = ToBytes(FileListBox1->FileName());
  const std::uint64_t size = PathSize(path);
  const std::string date = PathDateText(path);
  SetStatusText(FromBytes(GroupThousands(std::to_string(size))) +
                QStringLiteral(" bytes; Last changed: ") + FromBytes(date));
}

// Folder and file commands

void TmainF::Createfolder1Click() {
  const QString name = ui::CurrentSeam()
                           .InputBox(QStringLiteral("Create folder"),
                                     QStringLiteral("Give name of new folder"), QString())
                           .value_or(QString());
  const std::string parent = ToBytes(TreePath());
  // Cancel or an empty name names the selected folder itself: nothing to create, nothing to
  // say, also on a virtual folder, which has no place in the file system for a new one.
  if (parent.empty() && name.isEmpty()) return;
  if (parent.empty() || !ForceFolder(JoinPath(parent, ToBytes(name)))) {
    ui::ShowError(QStringLiteral("Could not create folder"));
  }
}

void TmainF::Removefolder1Click() {
  if (!ST1) return;
  ST1->SetUpdAutoThread(false);
  std::string folder = ToBytes(TreePath());
  const QString original = FromBytes(folder);
  StripTrailingBackslash(folder);
  const QString parent = FromBytes(ParentFolder(folder));
  SetTreePath(parent);
  ST1->SetReadOnly(false);
  // A virtual folder (empty path) is never a folder to remove.
  if (!folder.empty() && RemoveFolder(folder)) {
    ST1->RefreshTree();
    SetTreePath(parent);
  } else {
    ui::ShowError(QStringLiteral("Not removed. Probably not empty"));
    SetTreePath(original);
  }
  ST1->SetReadOnly(true);
  ST1->SetUpdAutoThread(true);
}

void TmainF::Remove1Click() {
  const QString file = FileListBox1->FileName();
  if (RemoveFile(ToBytes(file))) {
    ui::ShowInformation(QStringLiteral("Succesfully removed: ") + file);
  } else {
    ui::ShowError(QStringLiteral("Unable to remove: ") + file);
  }
  FileListBox1->Update();
}

}  // namespace quillon
