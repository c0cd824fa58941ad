// A node of the folder tree: one item of the host's namespace (the virtual root, the home
// shortcut, a volume, a folder or a file) with the attributes the tree's events report.
#pragma once

#include <QCollatorSortKey>
#include <QTreeWidgetItem>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/FolderReading.h"

namespace quillon {

class TShellTree;

// Item attributes, with the values of the shell attributes the tree's events report.
enum ShellAttribute : std::uint32_t {
  SFGAO_CANCOPY = 0x1,
  SFGAO_CANMOVE = 0x2,
  SFGAO_CANLINK = 0x4,
  SFGAO_CANRENAME = 0x10,
  SFGAO_CANDELETE = 0x20,
  SFGAO_DROPTARGET = 0x100,
  SFGAO_LINK = 0x10000,
  SFGAO_SHARE = 0x20000,
  SFGAO_HIDDEN = 0x80000,
  SFGAO_REMOVABLE = 0x2000000,
  SFGAO_FILESYSANCESTOR = 0x10000000,
  SFGAO_FOLDER = 0x20000000,
  SFGAO_FILESYSTEM = 0x40000000,
  SFGAO_HASSUBFOLDER = 0x80000000u
};

constexpr std::uint32_t kFolderAttributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;

class TShellNode : public QTreeWidgetItem {
 public:
  // Pending: the placeholder child of a folder whose reading has not answered yet.
  enum class Kind { VirtualRoot, Home, Volume, Folder, File, Pending };

  // id: the name inside the parent folder; for the root its whole path (empty for the
  // virtual root); for a volume its mount point; for the home shortcut "~".
  TShellNode(TShellTree* tree, Kind kind, std::string id);
  ~TShellNode() override;

  Kind kind() const { return kind_; }
  TShellTree* tree() const { return tree_; }
  TShellNode* ParentNode() const;
  TShellNode* ChildNode(int index) const;
  const std::string& RelativeId() const { return id_; }
  // The ids from the root down to this node, the root's own one included unless empty.
  std::vector<std::string> AbsoluteIdList() const;
  // The file-system path; empty for the virtual root. No trailing separator except "/".
  std::string Path() const;
  bool IsFolder() const { return kind_ != Kind::File && kind_ != Kind::Pending; }
  // The folder's volume has not answered a reading within the time the tree waits for it.
  bool Unavailable() const { return unavailable_; }
  bool IsLink() const { return ItemAttributes & SFGAO_LINK; }

  virtual void UpdateImages();
  virtual QString GetDisplayText() const;
  // Renames the item in its folder, never over an existing entry; false on failure.
  virtual bool Rename(const QString& newName);
  // Whether the item may be given that name; the name in the host's bytes then goes to name.
  bool MayTake(const QString& newName, std::string& name) const;
  // The item is known by the new name now (the renaming has been done).
  void TakeName(const std::string& name);

  bool operator<(const QTreeWidgetItem& other) const override;
  QVariant data(int column, int role) const override;
  void setData(int column, int role, const QVariant& value) override;

  std::uint32_t ItemAttributes = 0;
  bool ChildrenRead = false;
  bool SeenInScan = false;
  bool MonitorStarted = false;
  bool Checked = false;

 private:
  friend class TShellTree;
  // The key the tree's order compares, made once per name.
  const QCollatorSortKey& SortKey() const;

  TShellTree* tree_;
  Kind kind_;
  std::string id_;
  std::uint64_t serial_;     // finds the node again when a reading answers
  std::uint64_t inode_ = 0;  // the entry's inode in its parent folder, 0 where unknown
  FolderIdentity identity_;  // the folder's own identity at its last reading
  int watch_ = -1;
  int icon_key_ = -1;
  bool probed_ = false;             // the expand button has been decided
  std::uint64_t probe_ticket_ = 0;  // the probe that has not answered yet
  bool unavailable_ = false;
  std::uint64_t read_ticket_ = 0;                       // the reading that has not answered yet
  bool read_again_ = false;                             // a change came while it was being read
  std::chrono::steady_clock::time_point last_refresh_;  // the last re-read for a change
  mutable std::optional<QCollatorSortKey> sort_key_;
  // A file's size and modification time, for sorting by them: asked by the reading that
  // found it while the tree sorts files by size or date.
  bool info_read_ = false;
  std::int64_t size_ = 0;
  std::int64_t modified_ = 0;
};

}  // namespace quillon
