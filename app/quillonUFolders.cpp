// The main window's status-bar information and its folder and file commands: what the
// selected folder or file holds, and creating and removing folders and files.
#include <QCheckBox>
#include <QLabel>
#include <chrono>
#include <string>

#include "app/AnsweredWork.h"
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

// Status-bar information. Sizes and dates are asked of the file system on workers, one lane
// a volume, so the window never waits for a walk of a large folder or for a volume that does
// not answer; a later selection abandons the walk before it.

namespace {

std::string FolderInfoText(const std::string& path, const TmainF::SizeWalk& walk,
                           const std::atomic<bool>& stop) {
  if (IsVolumeRoot(path)) {
    std::uint64_t free_bytes = 0;
    if (!VolumeFreeBytes(path, free_bytes)) return "Drive " + path + " is invalid!";
    return GroupThousands(std::to_string(free_bytes)) + " bytes free on drive " + path;
  }
  const std::uint64_t size = walk(path, stop);
  return GroupThousands(std::to_string(size)) + " bytes; Created: " + PathDateText(path);
}

std::string FileInfoText(const std::string& path, const TmainF::SizeWalk& walk,
                         const std::atomic<bool>& stop) {
  const std::uint64_t size = walk(path, stop);
  return GroupThousands(std::to_string(size)) + " bytes; Last changed: " + PathDateText(path);
}

}  // namespace

void TmainF::BuildStatusInfo() {
  size_walk_ = [](const std::string& path, const std::atomic<bool>& stop) {
    return PathSize(path, &stop);
  };
  info_work_ = new AnsweredWork(this);
}

bool TmainF::SettleStatusInfo(int milliseconds) {
  return info_work_->work().RunUntilIdle(BlockingWork::Clock::now() +
                                         std::chrono::milliseconds(milliseconds));
}

void TmainF::AbandonStatusInfo() {
  ++info_request_;
  if (!info_stop_) return;
  info_stop_->store(true);
  info_stop_->notify_all();
  info_stop_.reset();
}

void TmainF::DescribeOffThread(const std::string& path,
                               std::function<std::string(const std::atomic<bool>&)> describe) {
  SetStatusText(QStringLiteral("Calculating, please wait..."));
  const std::uint64_t request = info_request_;
  auto stop = std::make_shared<std::atomic<bool>>(false);
  info_stop_ = stop;
  const std::string lane = ST1 ? ST1->LaneOf(path) : path;
  info_work_->work().Post(
      lane, [this, request, describe = std::move(describe), stop]() -> BlockingWork::Answer {
        std::string text = describe(*stop);
        return [this, request, text = std::move(text)] {
          if (request != info_request_) return;
          info_stop_.reset();
          status_label_->setText(FromBytes(text));
          emit StatusInfoShown();
        };
      });
}

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
  DescribeOffThread(path, [path, walk = size_walk_](const std::atomic<bool>& stop) {
    return FolderInfoText(path, walk, stop);
  });
}

void TmainF::ShowFileInfo() {
  const std::string path = ToBytes(FileListBox1->FileName());
  DescribeOffThread(path, [path, walk = size_walk_](const std::atomic<bool>& stop) {
    return FileInfoText(path, walk, stop);
  });
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
