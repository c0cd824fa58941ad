#include "util/FolderReading.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace quillon {
namespace {

FolderIdentity IdentityOf(int fd) {
  FolderIdentity identity;
  struct statx info {};
  if (statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &info) != 0) return identity;
  identity.device = (std::uint64_t(info.stx_dev_major) << 32) | info.stx_dev_minor;
  identity.inode = info.stx_ino;
  if (info.stx_mask & STATX_BTIME)
    identity.born = std::int64_t(info.stx_btime.tv_sec) * 1000000000 + info.stx_btime.tv_nsec;
  return identity;
}

}  // namespace

bool ScanFolder(const std::string& folder, const std::function<bool(const FolderEntry&)>& visit,
                FolderIdentity* identity) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  const int fd = dirfd(dir);
  if (identity) *identity = IdentityOf(fd);
  FolderEntry entry;
  while (const dirent* item = readdir(dir)) {
    const char* name = item->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    entry.name.assign(name);
    entry.link = false;
    entry.inode = item->d_ino;
    switch (item->d_type) {
      case DT_DIR: entry.folder = true; break;
      case DT_LNK:
      case DT_UNKNOWN: {
        struct stat info {};
        if (item->d_type == DT_UNKNOWN && fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0)
          entry.link = S_ISLNK(info.st_mode);
        else
          entry.link = item->d_type == DT_LNK;
        entry.folder = fstatat(fd, name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        break;
      }
      default: entry.folder = false; break;
    }
    if (!visit(entry)) break;
  }
  closedir(dir);
  return true;
}

bool FolderHasEntry(const std::string& folder,
                    const std::function<bool(const FolderEntry&)>& accept) {
  bool found = false;
  ScanFolder(folder, [&](const FolderEntry& entry) {
    found = accept(entry);
    return !found;
  });
  return found;
}

bool IsWritableFolder(const std::string& folder) { return access(folder.c_str(), W_OK) == 0; }

bool FileSizeAndTime(const std::string& path, std::int64_t& size, std::int64_t& modified) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  size = info.st_size;
  modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat info {};
  return lstat(to.c_str(), &info) != 0 && ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace quillon
