#include "util/ChangeWatch.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace quillon {
namespace {

std::uint32_t KernelMask(std::uint32_t filter) {
  std::uint32_t mask = IN_ONLYDIR | IN_EXCL_UNLINK;
  if (filter & (kNotifyFileName | kNotifyDirName))
    mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  if (filter & kNotifyAttributes) mask |= IN_ATTRIB;
  return mask;
}

FolderChange::Kind KindOf(std::uint32_t mask) {
  using Kind = FolderChange::Kind;
  if (mask & IN_IGNORED) return Kind::WatchEnded;
  if (mask & (IN_CREATE | IN_MOVED_TO)) return Kind::Created;
  if (mask & (IN_DELETE | IN_MOVED_FROM)) return Kind::Deleted;
  return Kind::Attributes;
}

}  // namespace

FolderChangeNotifier::FolderChangeNotifier() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

int FolderChangeNotifier::Add(const std::string& folder, std::uint32_t filter) {
  if (!fd_.valid() || folder.empty()) return -1;
  return inotify_add_watch(fd_.get(), folder.c_str(), KernelMask(filter));
}

void FolderChangeNotifier::Remove(int watch) {
  if (fd_.valid() && watch >= 0) inotify_rm_watch(fd_.get(), watch);
}

std::vector<FolderChange> FolderChangeNotifier::ReadChanges() {
  std::vector<FolderChange> changes;
  if (!fd_.valid()) return changes;
  alignas(inotify_event) char buffer[16384];
  while (true) {
    const ssize_t length = read(fd_.get(), buffer, sizeof buffer);
    if (length <= 0) break;
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      // An unmount is followed by the end of the watch, which is what the tree acts on.
      if (event->mask & IN_UNMOUNT) continue;
      FolderChange change;
      if (event->mask & IN_Q_OVERFLOW) {
        changes.push_back(change);
        continue;
      }
      change.watch = event->wd;
      change.kind = KindOf(event->mask);
      change.folder = event->mask & IN_ISDIR;
      if (event->len) change.name = event->name;
      changes.push_back(std::move(change));
    }
  }
  return changes;
}

MountTableWatch::MountTableWatch(const std::string& table)
    : fd_(open(table.c_str(), O_RDONLY | O_CLOEXEC)) {}

}  // namespace quillon
