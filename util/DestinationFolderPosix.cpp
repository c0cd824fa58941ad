// The POSIX side of creating a run's files: descriptors of folders, openat and openat2.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "util/DestinationFolder.h"
#include "util/IoError.h"

namespace quillon {
namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Cleared for good once the kernel turns out to lack openat2 (before Linux 5.6, or filtered).
std::atomic<bool> kernel_resolves_beneath{true};

// Cleared for good once the kernel refuses to link a descriptor itself, as it does for a user
// without the right to search every folder: the descriptor's link in /proc serves then.
std::atomic<bool> kernel_links_descriptors{true};

// Links the open file under the name in the folder; the host's error number, 0 on success.
int LinkDescriptor(int fd, int folder, const char* name) {
  if (kernel_links_descriptors.load(std::memory_order_relaxed)) {
    if (linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT && errno != EPERM) return errno;
    kernel_links_descriptors.store(false, std::memory_order_relaxed);
  }
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, link.c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

FileIdentity IdentityFrom(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
          static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

}  // namespace

FileIdentity IdentityOf(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) ThrowIoError(errno);
  return IdentityFrom(info);
}

bool RemoveFolderIfEmpty(const std::string& path, const FileIdentity& identity) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return false;
  const std::string parent_path = slash == 0 ? "/" : path.substr(0, slash);
  const UniqueFd parent(open(parent_path.c_str(), kFolderFlags & ~O_NOFOLLOW));
  const char* leaf = path.c_str() + slash + 1;
  struct stat info {};
  if (!parent.valid() || fstatat(parent.get(), leaf, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISDIR(info.st_mode) || static_cast<std::uint64_t>(info.st_dev) != identity.device ||
      static_cast<std::uint64_t>(info.st_ino) != identity.inode) {
    return false;
  }
  return unlinkat(parent.get(), leaf, AT_REMOVEDIR) == 0;
}

CreatedFile CreatedFile::CreateAt(int folder, const char* name) {
  CreatedFile file;
  // One exclusive open is both the existence test and the creation, and never follows a link.
  file.fd_.reset(openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (file.fd_.valid()) {
    file.outcome_ = CreateOutcome::Created;
  } else if (const int error = errno; error != EEXIST) {
    file.failure_ = error == EACCES || error == EPERM
                        ? CreateFailure{CreateCause::NoPermission}
                        : CreateFailure{CreateCause::SystemError, {}, error};
  } else if (HoldsNonFolder(folder, name)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  } else {
    file.failure_.cause = CreateCause::FolderOfThatName;
  }
  return file;
}

CreatedFile CreatedFile::CreateUnnamedAt(int folder, const char* name) {
  // Without /proc an unnamed file could be linked only with a right the user may lack.
  static const bool links_through_proc = access("/proc/self/fd", X_OK) == 0;
  if (links_through_proc) {
    CreatedFile file;
    // Of the mode a named file gets: the umask applies.
    file.fd_.reset(openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.fd_.valid()) {
      file.outcome_ = CreateOutcome::Created;
      file.unnamed_ = true;
      return file;
    }
  }
  // A file system without unnamed files (EOPNOTSUPP, or EISDIR from a kernel that knows no
  // such flag) gets the named file, which also tells why, when no file can be made at all.
  return CreateAt(folder, name);
}

void CreatedFile::Complete() {
  if (!unnamed_) return;
  const char* leaf = path_.c_str() + leaf_;
  const int error = LinkDescriptor(fd_.get(), folder_, leaf);
  if (error == 0) {
    unnamed_ = false;
    return;
  }
  // Never linked, the unnamed file goes with its descriptor.
  fd_.reset();
  outcome_ = CreateOutcome::Failed;
  if (error == EEXIST && HoldsNonFolder(folder_, leaf)) {
    outcome_ = CreateOutcome::ExistsAlready;
  } else if (error == EEXIST) {
    failure_.cause = CreateCause::FolderOfThatName;
  } else if (error == EACCES || error == EPERM) {
    failure_ = {CreateCause::NoPermission, path_.substr(0, leaf_ == 0 ? 0 : leaf_ - 1)};
  } else {
    failure_ = {CreateCause::SystemError, {}, error};
  }
  path_.clear();
}

void CreatedFile::Discard() noexcept {
  if (!unnamed_ && fd_.valid() && folder_ >= 0) {
    struct stat made {};
    // Removed only while its name still holds the very file this run made and wrote.
    if (fstat(fd_.get(), &made) == 0) {
      DestinationFolder::RemoveFileAt(folder_, path_.c_str() + leaf_, IdentityFrom(made));
    }
  }
  fd_.reset();
  outcome_ = CreateOutcome::Failed;
  path_.clear();
}

CreatedFile CreatedFile::Create(const std::string& path) {
  return CreateAt(AT_FDCWD, path.c_str());
}

DestinationFolder::DestinationFolder(const std::string& path, Resolution resolution)
    : fd_(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
      open_error_(fd_.valid() ? 0 : errno),
      resolution_(resolution) {}

DestinationFolder::Entry DestinationFolder::LookAt(int folder, const char* name) {
  struct stat info {};
  if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return {EntryKind::Missing};
    if (errno == EACCES) return {EntryKind::Denied};
    return {EntryKind::Failed, errno};
  }
  if (S_ISDIR(info.st_mode)) return {EntryKind::Folder};
  if (S_ISLNK(info.st_mode)) return {EntryKind::Link};
  return {S_ISREG(info.st_mode) ? EntryKind::File : EntryKind::Other};
}

int DestinationFolder::LastError() { return errno; }

CreateFailure DestinationFolder::HostWhyNoCreateIn(int folder) {
  if (faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) == 0) return {};
  if (errno == EROFS) return {CreateCause::SystemError, {}, EROFS};
  return {CreateCause::NoPermission};
}

bool DestinationFolder::ListEntries() {
  if (listed_ >= 0) return listed_ != 0;
  listed_ = 0;
  const int fd = openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* folder = fdopendir(fd);
  if (!folder) {
    close(fd);
    return false;
  }
  struct statfs volume {};
  unsigned flags = 0;
  // Where letter case is ignored (or the file system may ignore it), only a lookup tells.
  const bool exact =
      fstatfs(fd, &volume) == 0 && volume.f_type != MSDOS_SUPER_MAGIC &&
      volume.f_type != 0x2011BAB0 /* exfat */ && volume.f_type != 0x5346544E /* ntfs */ &&
      volume.f_type != 0x7366746E /* ntfs3 */ && volume.f_type != SMB_SUPER_MAGIC &&
      volume.f_type != 0xFF534D42 /* cifs */ && volume.f_type != 0xFE534D42 /* smb2 */ &&
      volume.f_type != 0x65735546 /* fuse */ &&
      (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 || (flags & FS_CASEFOLD_FL) == 0);
  while (exact) {
    errno = 0;
    const dirent* entry = readdir(folder);
    if (!entry) {
      listed_ = errno == 0 ? 1 : 0;
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool is_folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info {};
      is_folder =
          fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
    }
    entries_.emplace(name, is_folder);
  }
  closedir(folder);
  if (listed_ == 0) entries_.clear();
  errno = 0;
  return listed_ != 0;
}

std::string DestinationFolder::PlanKey(std::string path) { return path; }

RemoveOutcome DestinationFolder::RemoveFileAt(int folder, const char* name,
                                              const FileIdentity& identity) {
  struct stat info {};
  if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? RemoveOutcome::Gone : RemoveOutcome::Changed;
  }
  // A link or anything else in its place, another file, or the same file written since.
  if (!S_ISREG(info.st_mode) || IdentityFrom(info) != identity) return RemoveOutcome::Changed;
  if (unlinkat(folder, name, 0) != 0) {
    return errno == ENOENT ? RemoveOutcome::Gone : RemoveOutcome::Changed;
  }
  return RemoveOutcome::Removed;
}

UniqueFd DestinationFolder::OpenParent(std::string_view folder_path) const {
  if (resolution_ == Resolution::ComponentWalk ||
      !kernel_resolves_beneath.load(std::memory_order_relaxed)) {
    return OpenParentByWalk(folder_path);
  }
  const std::string path(folder_path);
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const long fd = syscall(SYS_openat2, fd_.get(), path.c_str(), &how, sizeof how);
    if (fd >= 0) return UniqueFd(static_cast<int>(fd));
    // EAGAIN: a rename elsewhere raced with a "..", and the kernel asks to try again.
    if (errno == EAGAIN) continue;
    if (errno != ENOSYS && errno != EPERM) return {};
    kernel_resolves_beneath.store(false, std::memory_order_relaxed);
    return OpenParentByWalk(folder_path);
  }
  return {};
}

UniqueFd DestinationFolder::OpenSubfolder(int folder, const std::string& name) {
  return UniqueFd(openat(folder, name.c_str(), kFolderFlags));
}

UniqueFd DestinationFolder::Reopen() const {
  return UniqueFd(fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
}

}  // namespace quillon
