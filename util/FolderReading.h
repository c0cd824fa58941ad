// Reading folders for the folder tree: entries by their directory-entry types, without a
// status query per entry, and the few per-item queries the tree makes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

struct FolderEntry {
  std::string name;
  bool folder = false;      // a folder, or a symbolic link to one
  bool link = false;        // a symbolic link
  std::uint64_t inode = 0;  // the entry's number inside its folder's file system
  // Filled in only by a caller that asks FileSizeAndTime (ScanFolder leaves them).
  bool stat_known = false;
  std::int64_t size = 0;
  std::int64_t modified = 0;
};

// What tells one folder from another made later under the same name: its device and inode,
// and its birth time where the file system records one (inode numbers are reused).
struct FolderIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t born = 0;  // nanoseconds since the epoch; 0 where unknown
  bool Known() const { return inode != 0; }
  bool operator==(const FolderIdentity&) const = default;
};

// Calls visit for each entry of the folder ("." and ".." left out) until it answers false.
// Types come from the directory entries; only symbolic links and entries of unknown type are
// asked of the file system. The folder's identity goes to identity when given. False when the
// folder cannot be opened.
bool ScanFolder(const std::string& folder, const std::function<bool(const FolderEntry&)>& visit,
                FolderIdentity* identity = nullptr);

// Whether the folder holds an entry that accept takes; stops at the first one.
bool FolderHasEntry(const std::string& folder,
                    const std::function<bool(const FolderEntry&)>& accept);

// Whether the user may create and remove entries in the folder.
bool IsWritableFolder(const std::string& folder);

// The size and last write time (nanoseconds since the epoch) of a file; false when it cannot
// be asked.
bool FileSizeAndTime(const std::string& path, std::int64_t& size, std::int64_t& modified);

// Renames an entry, never over an existing one: where the file system allows it, the check
// and the rename are one step.
bool RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace quillon
