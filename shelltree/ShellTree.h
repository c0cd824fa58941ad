// The folder tree control: the host's folders under a virtual root (home, the file-system
// root and every other mounted volume), read lazily as nodes expand, kept current through
// the kernel's change notification and the mount table, with its selection as a path. What
// may wait on a volume runs on worker threads, so the window never waits long for one.
#pragma once

#include <QCollator>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QTreeWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "shelltree/DiscMonitor.h"
#include "shelltree/FolderScan.h"
#include "shelltree/ShellNode.h"
#include "util/BlockingWork.h"
#include "util/ChangeWatch.h"
#include "util/FolderReading.h"
#include "util/Volumes.h"

class QSocketNotifier;
class QTimer;

namespace quillon {

// The order of names: the user's locale, numbers by value, letter case aside.
QCollator NameCollator();

// Host notes: the sharing overlay never shows (POSIX files carry no "shared" attribute), every
// item is in the file system (ShowVirtualFolders changes nothing but a refresh), and the host
// keeps no namespace cache (UseShellCache is stored only). OwnerWindow stands for the window
// the control's own messages (a failed rename) belong to.
class TShellTree : public QTreeWidget {
  Q_OBJECT
 public:
  enum TPidls {
    PIDL_DESKTOP,
    PIDL_PROGRAMS,
    PIDL_CONTROLS,
    PIDL_PRINTERS,
    PIDL_PERSONAL,
    PIDL_FAVORITES,
    PIDL_STARTUP,
    PIDL_RECENT,
    PIDL_SENDTO,
    PIDL_BITBUCKET,
    PIDL_STARTMENU,
    PIDL_DESKTOPDIRECTORY,
    PIDL_DRIVES,
    PIDL_NETWORK,
    PIDL_NETHOOD,
    PIDL_FONTS,
    PIDL_TEMPLATES,
    PIDL_USERDEFINED
  };
  Q_ENUM(TPidls)
  enum TVisOption { TF_FOLDERS = 1, TF_NONFOLDERS = 2, TF_HIDDEN = 4 };
  Q_DECLARE_FLAGS(TVisOptions, TVisOption)
  Q_FLAG(TVisOptions)
  enum TFileSortType { so_Name, so_Size, so_Type, so_Date };
  Q_ENUM(TFileSortType)
  enum TFileSortOrder { so_Ascending, so_Descending };
  Q_ENUM(TFileSortOrder)
  enum TPopupMenuMode { pmm_System, pmm_PopupMenu };
  Q_ENUM(TPopupMenuMode)

  Q_PROPERTY(bool UseShellCache READ UseShellCache WRITE SetUseShellCache)
  Q_PROPERTY(bool ShowVirtualFolders READ ShowVirtualFolders WRITE SetShowVirtualFolders)
  Q_PROPERTY(bool ShowSharedOverlay READ ShowSharedOverlay WRITE SetShowSharedOverlay)
  Q_PROPERTY(bool ShowLinkOverlay READ ShowLinkOverlay WRITE SetShowLinkOverlay)
  Q_PROPERTY(bool RootUsePIDL READ RootUsePIDL WRITE SetRootUsePIDL)
  Q_PROPERTY(TPidls RootPIDL READ RootPIDL WRITE SetRootPIDL)
  Q_PROPERTY(QString RootDir READ RootDir WRITE SetRootDir)
  Q_PROPERTY(TVisOptions Options READ Options WRITE SetOptions)
  Q_PROPERTY(QString Path READ Path WRITE SetPath)
  Q_PROPERTY(bool UpdAutoThread READ UpdAutoThread WRITE SetUpdAutoThread)
  Q_PROPERTY(bool UpdAuto READ UpdAuto WRITE SetUpdAuto)
  Q_PROPERTY(bool UpdAutoRec READ UpdAutoRec WRITE SetUpdAutoRec)
  Q_PROPERTY(bool ShowIcons READ ShowIcons WRITE SetShowIcons)
  Q_PROPERTY(QString FileMask READ FileMask WRITE SetFileMask)
  Q_PROPERTY(bool FileMaskUse READ FileMaskUse WRITE SetFileMaskUse)
  Q_PROPERTY(TFileSortType FileSortType READ FileSortType WRITE SetFileSortType)
  Q_PROPERTY(TFileSortOrder FileSortOrder READ FileSortOrder WRITE SetFileSortOrder)
  Q_PROPERTY(TPopupMenuMode PopupMenuMode READ PopupMenuMode WRITE SetPopupMenuMode)
  Q_PROPERTY(QMenu* PopupMenu READ PopupMenu WRITE SetPopupMenu)
  Q_PROPERTY(bool ShowMessages READ ShowMessages WRITE SetShowMessages)
  Q_PROPERTY(bool CheckBoxes READ CheckBoxes WRITE SetCheckBoxes)
  Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
  Q_PROPERTY(bool RightClickSelect READ RightClickSelect WRITE SetRightClickSelect)
  Q_PROPERTY(int Indent READ indentation WRITE setIndentation)

  explicit TShellTree(QWidget* parent = nullptr);
  ~TShellTree() override;

  bool UseShellCache() const { return use_shell_cache_; }
  void SetUseShellCache(bool on) { use_shell_cache_ = on; }
  bool ShowVirtualFolders() const { return show_virtual_folders_; }
  void SetShowVirtualFolders(bool on);
  bool ShowSharedOverlay() const { return show_shared_overlay_; }
  void SetShowSharedOverlay(bool on);
  bool ShowLinkOverlay() const { return show_link_overlay_; }
  void SetShowLinkOverlay(bool on);
  bool RootUsePIDL() const { return root_use_pidl_; }
  void SetRootUsePIDL(bool on);
  TPidls RootPIDL() const { return root_pidl_; }
  void SetRootPIDL(TPidls root);
  QString RootDir() const;
  void SetRootDir(const QString& folder);
  TVisOptions Options() const { return options_; }
  void SetOptions(TVisOptions options);
  QString Path() const;
  void SetPath(const QString& path);
  bool UpdAutoThread() const { return upd_auto_thread_; }
  void SetUpdAutoThread(bool on) { upd_auto_thread_ = on; }
  bool UpdAuto() const { return upd_auto_; }
  void SetUpdAuto(bool on) { upd_auto_ = on; }
  bool UpdAutoRec() const { return upd_auto_rec_; }
  void SetUpdAutoRec(bool on) { upd_auto_rec_ = on; }
  bool ShowIcons() const { return show_icons_; }
  void SetShowIcons(bool on);
  QString FileMask() const;
  void SetFileMask(const QString& mask);
  bool FileMaskUse() const { return file_mask_use_; }
  void SetFileMaskUse(bool on);
  TFileSortType FileSortType() const { return file_sort_type_; }
  void SetFileSortType(TFileSortType type);
  TFileSortOrder FileSortOrder() const { return file_sort_order_; }
  void SetFileSortOrder(TFileSortOrder order);
  TPopupMenuMode PopupMenuMode() const { return popup_menu_mode_; }
  void SetPopupMenuMode(TPopupMenuMode mode) { popup_menu_mode_ = mode; }
  QMenu* PopupMenu() const { return popup_menu_; }
  void SetPopupMenu(QMenu* menu) { popup_menu_ = menu; }
  bool ShowMessages() const { return show_messages_; }
  void SetShowMessages(bool on) { show_messages_ = on; }
  bool CheckBoxes() const { return check_boxes_; }
  void SetCheckBoxes(bool on);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool on) { read_only_ = on; }
  bool RightClickSelect() const { return right_click_select_; }
  void SetRightClickSelect(bool on) { right_click_select_ = on; }

  TShellNode* RootNode() const { return root_node_; }
  TShellNode* Selected() const;
  TShellNode* NodeFromIndex(const QModelIndex& index) const {
    return static_cast<TShellNode*>(itemFromIndex(index));
  }
  // A path written before the control was first shown, selected once the tree exists.
  const QString& PendingPath() const { return pending_path_; }
  // The change kinds the folder watches wait for, from Options.
  std::uint32_t NotifyFilter() const { return notify_filter_; }
  // The window the control's messages belong to; none while a watcher's refresh runs or while
  // ShowMessages is false.
  QWidget* OwnerWindow() const;

  // Re-reads every folder shown, from the root down through the expanded nodes.
  void RefreshTree();
  void RefreshChildren(TShellNode* node, bool recursive);
  // Reads a folder node's children; a re-read keeps the nodes that are still there. The
  // reading runs on a worker: a folder whose volume does not answer at once shows a
  // placeholder child and is filled in when the answer comes.
  void ReadChildren(TShellNode* node);

  // Hands the tree every change reported so far and every answer of its workers, and makes the
  // re-reads waiting to be gathered run now, until nothing is outstanding or the time is up;
  // true when the tree has caught up.
  bool Settle(int milliseconds = 5000);
  // The folder readings the tree has taken in since it was made.
  std::uint64_t ReadsDone() const { return reads_done_; }
  // Expand-all (the "*" key) is still at work.
  bool ExpandingAll() const { return expanding_all_; }

  // The ids leading from the root to the folder of an absolute path (see
  // TShellNode::AbsoluteIdList); false when no volume or root folder holds it.
  bool IdListOfPath(const std::string& path, std::vector<std::string>& idList) const;
  TShellNode* FindNodeByIdList(const std::vector<std::string>& idList, bool expand, bool fromRoot,
                               bool exact);

  bool CanEdit(TShellNode* node) const;
  // The end of an in-place edit with the edited text.
  void Edit(TShellNode* node, const QString& text);

  // Decides the expand buttons of the nodes on screen that were not decided yet: the first
  // subfolder found (or, when files are listed, the first entry listed) shows one. Waits a
  // moment for the answers; painting asks the same without waiting.
  void UpdateExpandButtons();

  // Watching of one folder node; the node keeps its watch until StopMonitor or its end. The
  // watch is set up on a worker; the ticket of that (0 when none) lets a caller wait for it.
  std::uint64_t StartMonitor(TShellNode* node);
  void StopMonitor(TShellNode* node);
  bool IsMonitored(const TShellNode* node) const;
  // The reaction to a change report for a watched folder.
  void FolderChanged(TShellNode* node);
  // While held (during a run, which makes files by the thousand), change reports are only
  // noted; each folder they concern is read once when let go.
  void HoldChanges(bool hold);

  // The queue that work on the path waits in: the mount point of its volume, so a volume that
  // does not answer holds up its own work only.
  std::string LaneOf(const std::string& path) const;

  // The mount table the volumes come from; its changes are signalled to poll.
  void SetMountTable(const QString& path);
  // The volumes as last read from it.
  const std::vector<Volume>& Volumes() const { return volumes_; }
  // Mounts or unmounts happened: the volume nodes are brought up to date.
  void DeviceChange();

 signals:
  void OnChange(quillon::TShellNode* node);
  void OnClick();
  void OnExpanding(quillon::TShellNode* node, bool& AllowExpansion);
  void OnEdited(quillon::TShellNode* node, QString& S);
  void OnDirAdd(const QString& Dirname, quint32 Attributes, bool& Allow);
  void OnFileAdd(const QString& Filename, quint32 Attributes, bool& Allow);
  void OnPopupMenu(quillon::TShellNode* node, bool& Allow);
  void OnCheckBoxChanged(quillon::TShellNode* node, bool NewState);
  // TSysCMenuPopupEvent: raised before the system menu shows; Menu may be changed or replaced.
  void OnSystemContextMenu(quillon::TShellNode* Node, QMenu*& Menu);

 protected:
  virtual void LoadSystemImages();
  virtual bool PopupAllowed(TShellNode* node);
  virtual void BuildRoot();

  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  friend class TShellNode;
  using Clock = std::chrono::steady_clock;
  enum class Rebuild { Plain, RootChanged, KeepPath };
  enum class Wait { No, Briefly };
  // What a worker read of one folder.
  struct Listing {
    bool readable = false;
    bool gone = false;  // no folder is there any more
    bool writable = false;
    bool wanted_watch = false;
    int watch = -1;
    FolderIdentity identity;
    std::vector<FolderEntry> entries;
  };

  void RebuildTree(Rebuild mode);
  std::uint64_t RegisterNode(TShellNode* node);
  TShellNode* NodeBySerial(std::uint64_t serial) const;
  // Reading: asked of a worker on the lane of the folder's volume, taken in on this thread.
  void ReadFolder(TShellNode* node, Wait wait);
  void ApplyListing(TShellNode* node, const Listing& listing);
  Listing VolumeListing() const;
  bool AddChildItem(TShellNode* parent, const FolderEntry& entry, const std::string& parentPath,
                    std::uint32_t inherited,
                    std::unordered_map<std::string_view, TShellNode*>& existing,
                    QList<QTreeWidgetItem*>& added);
  bool Accepts(const FolderEntry& entry, const std::string& fullPath, std::uint32_t attributes);
  bool WaitForAnswer(std::uint64_t ticket, const std::string& lane);
  void ShowPending(TShellNode* node);
  void SetUnavailable(TShellNode* node, bool unavailable);
  // The selection inside a subtree about to go moves to keeper, silently; gives the path it
  // had, empty when it was elsewhere.
  std::string TakeSelectionFrom(TShellNode* doomed, TShellNode* keeper);
  // After the subtree went: the nearest existing folder of the lost path shown in the tree, or
  // keeper, is selected, and OnChange raised once.
  void RestoreSelection(const std::string& lostPath, TShellNode* keeper);
  void DropChildren(TShellNode* node);
  // Expand buttons.
  std::uint64_t RequestProbe(TShellNode* node);
  void ApplyProbe(TShellNode* node, bool hasChildren);
  void HideLeafButtons();
  std::vector<std::pair<std::uint64_t, std::string>> RequestVisibleProbes();
  std::vector<std::pair<std::uint64_t, std::string>> WatchVisibleLeaves();
  void SortChildrenOf(TShellNode* node);
  void ResortAll(TShellNode* node);
  // Files are listed and sorted by size or date: the readings ask each file for them.
  bool SortsByFileInfo() const;
  // Sorts again after the sort key changed; a key the nodes do not know yet is read first.
  void SortAgain();
  void NodeExpanded(QTreeWidgetItem* item);
  void NodeCollapsed(QTreeWidgetItem* item);
  void StopMonitorsBelow(TShellNode* node);
  void RestartStoppedBelow(TShellNode* node);
  void ExpandNode(TShellNode* node);
  void ExpandAll(TShellNode* from);
  void ExpandAllStep();
  // Watching.
  void WatchEvents(const std::vector<TDiscMonitor::Event>& events);
  enum class Concern { No, Yes, IfFolder };
  Concern EventConcerns(const TShellNode* node, const TDiscMonitor::Event& event) const;
  void ClaimWatch(TShellNode* node, bool wanted, int watch);
  void ScheduleRefresh(TShellNode* node, Clock::time_point due);
  void RunDueRefreshes();
  void ForgetNode(TShellNode* node);
  // Gives every running watch the new change kinds, through its folder's present path.
  void ChangeNotifyFilter(std::uint32_t filter);
  // Volumes.
  void ReadVolumes(bool markLate);
  // Paths.
  void SelectFolder(const std::string& folder);
  void ContinueSelection(TShellNode* node);
  void ForEachNode(const std::function<void(TShellNode*)>& visit);
  int IconKeyFor(const TShellNode* node) const;
  int CompareNodes(const TShellNode& a, const TShellNode& b) const;
  std::string HomePath() const;
  std::string SpecialFolderPath(TPidls folder) const;

  bool use_shell_cache_ = false;
  bool show_virtual_folders_ = true;
  bool show_shared_overlay_ = true;
  bool show_link_overlay_ = true;
  bool root_use_pidl_ = true;
  TPidls root_pidl_ = PIDL_DESKTOP;
  std::string root_dir_ = "/";
  TVisOptions options_ = TF_FOLDERS;
  bool upd_auto_thread_ = true;
  bool upd_auto_ = true;
  bool upd_auto_rec_ = false;
  bool show_icons_ = true;
  std::vector<std::string> mask_list_{"*.*"};
  bool file_mask_use_ = false;
  TFileSortType file_sort_type_ = so_Name;
  TFileSortOrder file_sort_order_ = so_Ascending;
  TPopupMenuMode popup_menu_mode_ = pmm_System;
  QPointer<QMenu> popup_menu_;
  bool show_messages_ = true;
  bool check_boxes_ = false;
  bool read_only_ = false;
  bool right_click_select_ = false;

  TShellNode* root_node_ = nullptr;
  bool expand_allowed_ = false;
  bool window_created_ = false;
  bool watcher_refresh_ = false;
  QString pending_path_;
  std::uint32_t notify_filter_ = kNotifyDirName | kNotifyAttributes;
  std::vector<QIcon> icons_;  // by icon key, from LoadSystemImages
  QCollator collator_;        // the order of names

  std::uint64_t next_serial_ = 1;
  std::unordered_map<std::uint64_t, TShellNode*> nodes_by_serial_;
  std::unique_ptr<BlockingWork> work_;
  QSocketNotifier* answers_ = nullptr;
  std::uint64_t reads_done_ = 0;
  std::uint64_t path_request_ = 0;
  std::uint64_t root_request_ = 0;  // the latest RootDir written
  // A Path written while a folder on its way was still being read.
  struct PendingSelection {
    std::string folder;
    std::uint64_t request = 0;
    std::uint64_t stoppedAt = 0;  // the serial of the folder being read
  } pending_selection_;
  // While several changes are taken in at once, the path of a selection they took away.
  bool hold_selection_ = false;
  std::string held_selection_;  // the latest Path written; an older one's late answer is dropped

  TDiscMonitor* monitor_ = nullptr;
  // Which nodes share each watch (one folder reached through two nodes gives one watch).
  std::unordered_map<int, std::vector<TShellNode*>> watchers_;
  // Watches reported before a reading that added them was taken in.
  std::unordered_set<int> stray_watches_;
  bool changes_held_ = false;
  std::unordered_set<std::uint64_t> held_changes_;  // serials of folders changed while held
  // Re-reads gathered from change reports, by node serial, each with the time it is due.
  std::unordered_map<std::uint64_t, Clock::time_point> refresh_due_;
  QTimer* refresh_timer_ = nullptr;
  // Folders without subfolders watched while they are on screen.
  std::unordered_set<TShellNode*> leaf_watches_;
  // Folders found without subfolders whose expand buttons have not gone yet.
  std::vector<std::uint64_t> pending_leaves_;
  QTimer* leaf_timer_ = nullptr;

  int wheel_rest_ = 0;  // the wheel's turn not yet scrolled
  bool expanding_all_ = false;
  std::vector<std::uint64_t> expand_queue_;
  std::size_t expand_next_ = 0;
  std::uint64_t expand_start_ = 0;
  int expand_count_ = 0;
  Clock::time_point expand_began_;

  std::string mount_table_ = kMountTablePath;
  std::vector<Volume> all_mounts_;  // every mount, for the lanes
  std::vector<Volume> volumes_;
  // The volumes as the last mount-table change left them; a read of the root in between
  // updates volumes_ but must not hide a change from DeviceChange.
  std::vector<Volume> noticed_volumes_;
  std::unique_ptr<MountTableWatch> mount_watch_;
  QSocketNotifier* mount_notifier_ = nullptr;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TShellTree::TVisOptions)

}  // namespace quillon
