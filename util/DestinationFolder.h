// Creating a run's files: each one exclusively, and only beneath the destination folder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "util/Platform.h"
#include "util/UniqueFd.h"

namespace quillon {

// Outcome of creating a file exclusively: the existence test and the creation in one step,
// so a file that appears meanwhile is never truncated.
enum class CreateOutcome { Created, ExistsAlready, Failed };

// When a file made takes its name: at once, or, for a file written to an unnamed file first,
// only once it is complete, so that a run killed meanwhile leaves no part of it behind. Where
// the file system keeps no unnamed files, the name is taken at once.
enum class Naming { AtOnce, WhenComplete };

class CreatedFile {
 public:
  CreateOutcome outcome() const { return outcome_; }
  int descriptor() const { return fd_.get(); }
  // Why a Failed file was not created.
  const CreateFailure& failure() const { return failure_; }
  // A planned file that exists already because an earlier planned name made it: that name's
  // token; 0 otherwise.
  std::uint64_t earlier() const { return earlier_; }
  // A file Create made: its path relative to the folder, "/"-separated, as it was made.
  const std::string& path() const { return path_; }
  // Gives a complete file its name, when it has none yet. A name a file took meanwhile makes
  // it ExistsAlready, one a folder took (or a link refused) Failed; the file is dropped then.
  void Complete();
  // Removes the file made, as far as it was written: an unnamed one is never linked, a named
  // one is removed when its name still holds that very file. Never throws.
  void Discard() noexcept;
  // Closes the file; throws IoError when the close reports a failure of the writes.
  void Close();

  // The path as it stands, its last component never followed when it is a link.
  static CreatedFile Create(const std::string& path);

 private:
  friend class DestinationFolder;
  // The name relative to the folder's descriptor: one exclusive creation that never follows
  // a link, and when the name is taken, one look that tells a file (or a link) from a folder.
  static CreatedFile CreateAt(int folder, const char* name);
  // An unnamed file in the folder, to be named once complete; CreateAt's file where the folder
  // cannot hold one (its file system keeps none, or Windows).
  static CreatedFile CreateUnnamedAt(int folder, const char* name);
  // An entry of the folder that is not a folder; a link counts as itself, wherever it points.
  static bool HoldsNonFolder(int folder, const char* name);

  CreateOutcome outcome_ = CreateOutcome::Failed;
  UniqueFd fd_;
  CreateFailure failure_;
  std::uint64_t earlier_ = 0;
  std::string path_;
  // A file made: the subfolder its name is in, held while it is made; the folder's descriptor
  // (that subfolder's, or the destination's); where its name starts in path_.
  UniqueFd subfolder_;
  int folder_ = -1;
  std::size_t leaf_ = 0;
  bool unnamed_ = false;
};

// Who a file or folder is, and what it held when it was last looked at. On Windows the device
// is the volume's serial number and the inode the file's index on it. A file system may reuse
// an inode at once: the generation (a number the file system gives each new use of an inode),
// the birth time and the change time tell a later file from the first, each where the file
// system gives it. Times are in seconds and nanoseconds since the host's epoch.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified_seconds = 0;
  std::int64_t modified_nanoseconds = 0;
  bool generation_known = false;
  bool birth_known = false;
  bool changed_known = false;
  std::uint64_t generation = 0;
  std::int64_t birth_seconds = 0;
  std::int64_t birth_nanoseconds = 0;
  std::int64_t changed_seconds = 0;
  std::int64_t changed_nanoseconds = 0;

  bool operator==(const FileIdentity&) const = default;
  // Whether a later file under the same inode, of the same size and written in the same
  // second, would differ from this one: by its generation or birth time, or by a change time
  // finer than whole seconds.
  bool TellsLaterFiles() const {
    return generation_known || birth_known || (changed_known && changed_nanoseconds != 0);
  }
};

// The identity of an open file; throws IoError.
FileIdentity IdentityOf(int fd);
// The identity of a file just written, as it stays once its descriptor is closed (Windows
// would otherwise move the last-write time at the close); throws IoError.
FileIdentity IdentityToKeep(int fd);
// The host's clock in the seconds of file times.
std::int64_t FileClockSeconds();

// What undo did with a file: Failed names the host's error that kept it.
enum class RemoveOutcome { Removed, Changed, Gone, Failed };
struct RemoveResult {
  RemoveOutcome outcome = RemoveOutcome::Failed;
  int error = 0;
};

// Removes the folder at the path when it is still the folder of that device and inode, and
// empty; the path's last component is never followed.
bool RemoveFolderIfEmpty(const std::string& path, const FileIdentity& identity);

// The destination of a run, opened once when its line loop starts and held for the run, so a
// later change of the path does not move the files elsewhere. Names are resolved beneath it
// without following any symbolic link and without climbing above it; a subfolder that is a
// link, or that vanishes or is swapped meanwhile, makes the creation fail.
class DestinationFolder {
 public:
  // How subfolders of a name are resolved: by the kernel in one call (openat2), or component
  // by component where the kernel lacks that call (as Windows does).
  enum class Resolution { Kernel, ComponentWalk };

  // The path itself may be a link, the user's own choice: it is followed here, once.
  explicit DestinationFolder(const std::string& path, Resolution resolution = Resolution::Kernel);
  // A folder that is not there yet, planned as created empty and writable at the path, taking
  // letter case as the nearest folder above it does.
  static DestinationFolder PlannedAsCreated(const std::string& path);
  bool IsOpen() const { return fd_.valid(); }
  // Of the folder opened; throws IoError.
  FileIdentity Identity() const;

  // Creates the file named by a source line (as the run builds it, "\\" and "/" reaching into
  // subfolders). A name Windows could not hold is never created: Exists already when a file
  // of that name is there, else Failed; so is a name that climbs above the folder. After a
  // file that existed, the next name is looked for before it is created; so is every name
  // made whole before it is named, since its creation tests no name.
  CreatedFile Create(std::string_view file_name, Naming naming = Naming::AtOnce);

  // Decides as Create would, creating nothing: a name planned as created before counts as a
  // file there from then on, remembered with its token.
  CreatedFile Plan(std::string_view file_name, std::uint64_t token);

  // Removes the file at a path relative to this folder ("/"-separated, as created) when it is
  // still the same file, unchanged (the whole identity alike). Never follows a link, and never
  // removes another file put in its place meanwhile: the file is held while it is checked and
  // removed.
  RemoveResult RemoveIfUnchanged(const std::string& relative_path, const FileIdentity& identity);

 private:
  // What stands at a name in a folder, looked at without following it.
  enum class EntryKind { Missing, Denied, Failed, File, Folder, Link, Other };
  struct Entry {
    EntryKind kind = EntryKind::Failed;
    int error = 0;  // Failed: the host's error number
  };

  friend class CreatedFile;

  DestinationFolder() = default;
  static Entry LookAt(int folder, const char* name);
  // The host's error number of the last call that failed.
  static int LastError();
  // Why a subfolder path could not be opened beneath this folder.
  CreateFailure WhySubfolderFails(std::string_view folder_path, int error) const;
  // Planning a folder still to be made: a name looked up in the nearest folder there, where
  // only a failure tells (a name its file system cannot hold); and why a subfolder of it is
  // not there.
  Entry AskAbove(const std::string& name) const;
  CreateFailure MissingInPlannedFolder(const std::string& component,
                                       std::string_view subject) const;
  // Whether a component met on a walk is a folder of its own to enter; why not otherwise.
  static bool IsSubfolderToEnter(int from, const std::string& component, std::string_view subject,
                                 CreateFailure& why);
  // Why no file could be made in the folder (None when one could); the folder itself is
  // asked once.
  CreateFailure WhyNoCreateIn(int folder, std::string_view folder_path) const;
  // The host's answer to that, asked each time.
  static CreateFailure HostWhyNoCreateIn(int folder);
  // Planning: the entries right in the folder, read once; false where a name's lookup may
  // match another spelling (a file system that ignores letter case).
  bool ListEntries();
  // Planning: whether the file system takes names differing in letter case as one, asked of
  // the folder once: by its own entries, else by a probe file made and removed at once, else
  // by the kind of file system.
  static bool HostFoldsLetterCase(int folder);
  // Planning: the key a planned name is remembered by, its letter case folded where the file
  // system folds it.
  std::string PlanKey(std::string path) const;
  // Removes the file at the name when it is still the same file, unchanged, and not a link.
  static RemoveResult RemoveFileAt(int folder, const char* name, const FileIdentity& identity);
  // The folder of a relative "/"-separated path's last component, opened beneath this
  // folder; none on failure.
  UniqueFd OpenParent(std::string_view folder_path) const;
  UniqueFd OpenParentByWalk(std::string_view folder_path) const;
  // Enters a relative "/"-separated folder path beneath this folder one component at a time,
  // never following a link; ".." steps back, never above this folder. look, when given, is
  // asked about each component (the folder it is in, its name, the path up to it) before it
  // is entered, and ends the walk by answering false.
  enum class WalkEnd { Reached, Refused, ClimbedAbove, OpenFailed };
  struct Walk {
    WalkEnd end;
    UniqueFd folder;  // Reached: the last folder entered, or this one for an empty path
  };
  using WalkLook = std::function<bool(int, const std::string&, std::string_view)>;
  Walk WalkSubfolders(std::string_view folder_path, const WalkLook& look) const;
  // Why a walk that did not reach its end failed: why, when a look refused.
  static CreateFailure WalkFailure(WalkEnd end, CreateFailure why, int error);
  // A subfolder of a folder that is a folder of its own, never a link; nothing on failure.
  static UniqueFd OpenSubfolder(int folder, const std::string& name);
  // This folder once more.
  UniqueFd Reopen() const;

  UniqueFd fd_;
  int open_error_ = 0;
  Resolution resolution_ = Resolution::Kernel;
  bool last_existed_ = false;
  // Planning: the folder is planned as created, so nothing is in it yet.
  bool planned_empty_ = false;
  // Planning: names differing in letter case are one file; asked once.
  bool case_known_ = false;
  bool folds_case_ = false;
  // Planning: why no file may be created right in the folder, once asked.
  mutable bool asked_here_ = false;
  mutable CreateFailure why_no_create_here_;
  // Planning a folder still to be made: the nearest folder there, whose file system is asked
  // which names it cannot hold.
  UniqueFd nearest_;
  // Planning: the names planned as created, "/"-separated with ".." resolved, and their tokens.
  std::unordered_map<std::string, std::uint64_t> planned_;
  // Planning: the folder's own entries, each with whether it is a folder; listed_ -1 until
  // read, 0 when they cannot be.
  std::unordered_map<std::string, bool> entries_;
  int listed_ = -1;
};

}  // namespace quillon
