// The host's change notification, free of Qt: one notification instance watching folders
// (each watch one folder, its subfolders not included) and the mount table. Each hands out a
// descriptor that becomes readable (or, for the mount table, exceptional) when something
// changed, so the caller's event loop waits for it and nothing polls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/UniqueFd.h"

namespace quillon {

// The change kinds a watch waits for, with the values of the Windows change-notification
// flags the tree's Options are translated into.
enum NotifyFlag : std::uint32_t {
  kNotifyFileName = 1,   // files created, deleted or renamed
  kNotifyDirName = 2,    // folders created, deleted or renamed
  kNotifyAttributes = 4  // attributes of the entries changed
};

struct FolderChange {
  enum class Kind {
    Created,     // an entry appeared (created or moved in)
    Deleted,     // an entry went (deleted or moved away)
    Attributes,  // an entry's attributes changed
    WatchEnded,  // the host ended the watch: the folder is gone or its volume unmounted
    Overflow     // changes were lost: any watched folder may have changed
  };
  int watch = -1;  // -1 for Overflow
  Kind kind = Kind::Overflow;
  bool folder = false;  // the entry is a folder (as the host reports it)
  std::string name;     // the entry inside the watched folder; empty for the folder itself
};

class FolderChangeNotifier {
 public:
  FolderChangeNotifier();

  bool IsValid() const { return fd_.valid(); }
  // Readable while changes wait to be read.
  int Descriptor() const { return fd_.get(); }
  // A watch on one folder for the filter's change kinds; the same folder watched twice gives
  // the same watch, now with the later filter. -1 when the folder cannot be watched.
  int Add(const std::string& folder, std::uint32_t filter);
  void Remove(int watch);
  // Every change waiting now, without blocking.
  std::vector<FolderChange> ReadChanges();

 private:
  UniqueFd fd_;
};

// The mount table signals each mount and unmount as an exceptional condition on its
// descriptor; reading the table again clears it.
class MountTableWatch {
 public:
  explicit MountTableWatch(const std::string& table);

  int Descriptor() const { return fd_.get(); }

 private:
  UniqueFd fd_;
};

}  // namespace quillon
