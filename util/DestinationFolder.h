// Creating a run's files: each one exclusively, and only beneath the destination folder.
#pragma once

#include <string>
#include <string_view>

#include "util/UniqueFd.h"

namespace quillon {

// Outcome of creating a file exclusively: the existence test and the creation in one step,
// so a file that appears meanwhile is never truncated.
enum class CreateOutcome { Created, ExistsAlready, Failed };

class CreatedFile {
 public:
  CreateOutcome outcome() const { return outcome_; }
  int descriptor() const { return fd_.get(); }
  // Closes the file; throws IoError when the close reports a failure of the writes.
  void Close();

  // The path as it stands, its last component never followed when it is a link.
  static CreatedFile Create(const std::string& path);

 private:
  friend class DestinationFolder;
  // The name relative to the folder's descriptor: one exclusive creation that never follows
  // a link, and when the name is taken, one look that tells a file (or a link) from a folder.
  static CreatedFile CreateAt(int folder, const char* name);
  // An entry of the folder that is not a folder; a link counts as itself, wherever it points.
  static bool HoldsNonFolder(int folder, const char* name);

  CreateOutcome outcome_ = CreateOutcome::Failed;
  UniqueFd fd_;
};

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
  bool IsOpen() const { return fd_.valid(); }

  // Creates the file named by a source line (as the run builds it, "\\" and "/" reaching into
  // subfolders). A name Windows could not hold is never created: Exists already when a file
  // of that name is there, else Failed; so is a name that climbs above the folder. After a
  // file that existed, the next name is looked for before it is created.
  CreatedFile Create(std::string_view file_name);

 private:
  // The folder of a relative "/"-separated path's last component, opened beneath this
  // folder; none on failure.
  UniqueFd OpenParent(std::string_view folder_path) const;
  UniqueFd OpenParentByWalk(std::string_view folder_path) const;
  // A subfolder of a folder that is a folder of its own, never a link; nothing on failure.
  static UniqueFd OpenSubfolder(int folder, const std::string& name);
  // This folder once more.
  UniqueFd Reopen() const;

  UniqueFd fd_;
  Resolution resolution_;
  bool last_existed_ = false;
};

}  // namespace quillon
