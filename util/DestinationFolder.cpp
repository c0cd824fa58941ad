#include "util/DestinationFolder.h"

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

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <vector>

#include "util/IoError.h"
#include "util/Platform.h"

namespace quillon {
namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Cleared for good once the kernel turns out to lack openat2 (before Linux 5.6, or filtered).
std::atomic<bool> kernel_resolves_beneath{true};

// An existing entry that is not a folder; a link counts as itself, wherever it points.
bool HoldsNonFolder(int folder, const char* name) {
  struct stat info {};
  return fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode);
}

// "a/../b" as "b": a run's subfolders are never links, so ".." steps back where it came from.
std::string WithoutClimbs(const std::string& path) {
  if (path.find("..") == std::string::npos) return path;
  std::vector<std::string_view> kept;
  const std::string_view whole(path);
  for (std::size_t start = 0; start <= whole.size();) {
    const std::size_t end = std::min(whole.find('/', start), whole.size());
    const std::string_view component = whole.substr(start, end - start);
    start = end + 1;
    if (component != "..") {
      kept.push_back(component);
    } else if (!kept.empty()) {
      kept.pop_back();
    }
  }
  std::string joined;
  for (const std::string_view component : kept) {
    if (!joined.empty()) joined += '/';
    joined.append(component);
  }
  return joined;
}

FileIdentity IdentityFrom(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
          static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

CreateFailure SystemFailure(int error) { return {CreateCause::SystemError, {}, error}; }

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

void CreatedFile::Close() { fd_.Close(); }

CreatedFile CreatedFile::CreateAt(int folder, const char* name, bool look_first) {
  CreatedFile file;
  if (look_first) {
    // One status query settles a name that exists; only a missing one goes on to be created.
    struct stat info {};
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISDIR(info.st_mode)) {
        file.failure_.cause = CreateCause::FolderOfThatName;
      } else {
        file.outcome_ = CreateOutcome::ExistsAlready;
      }
      return file;
    }
  }
  // One exclusive open is both the existence test and the creation, and never follows a link.
  file.fd_.reset(openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (file.fd_.valid()) {
    file.outcome_ = CreateOutcome::Created;
  } else if (const int error = errno; error != EEXIST) {
    file.failure_ = error == EACCES || error == EPERM ? CreateFailure{CreateCause::NoPermission}
                                                      : SystemFailure(error);
  } else if (HoldsNonFolder(folder, name)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  } else {
    file.failure_.cause = CreateCause::FolderOfThatName;
  }
  return file;
}

CreatedFile CreatedFile::Create(const std::string& path) {
  return CreateAt(AT_FDCWD, path.c_str(), false);
}

DestinationFolder::DestinationFolder(const std::string& path, Resolution resolution)
    : fd_(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)),
      open_error_(fd_.valid() ? 0 : errno),
      resolution_(resolution) {}

DestinationFolder DestinationFolder::PlannedAsCreated() {
  DestinationFolder folder;
  folder.planned_empty_ = true;
  return folder;
}

FileIdentity DestinationFolder::Identity() const { return IdentityOf(fd_.get()); }

CreatedFile DestinationFolder::Create(std::string_view file_name) {
  CreatedFile file;
  FileSystemName name = FileSystemNameFor(file_name);
  if (name.use == NameUse::Refused) {
    file.failure_ = WhyNameRefused(file_name);
    return file;
  }
  if (!fd_.valid()) {
    file.failure_ = SystemFailure(open_error_);
    return file;
  }
  const std::size_t slash = name.path.rfind('/');
  const std::string_view folder_path(name.path.data(), slash == std::string::npos ? 0 : slash);
  // The subfolder the name reaches into, held while the file is made in it.
  UniqueFd subfolder;
  if (slash != std::string::npos) {
    subfolder = OpenParent(folder_path);
    if (!subfolder.valid()) {
      file.failure_ = name.use == NameUse::Create ? WhySubfolderFails(folder_path, errno)
                                                  : WhyNameRefused(file_name);
      return file;
    }
  }
  const int parent = subfolder.valid() ? subfolder.get() : fd_.get();
  const char* leaf = name.path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  if (name.use == NameUse::Create) {
    // Names tend to come in runs of files that exist (a source given again) or do not.
    file = CreatedFile::CreateAt(parent, leaf, last_existed_);
    last_existed_ = file.outcome() == CreateOutcome::ExistsAlready;
    if (file.failure_.cause == CreateCause::NoPermission) file.failure_.subject = folder_path;
    if (file.outcome() == CreateOutcome::Created) file.path_ = std::move(name.path);
  } else if (HoldsNonFolder(parent, leaf)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  } else {
    file.failure_ = WhyNameRefused(file_name);
  }
  return file;
}

CreatedFile DestinationFolder::Plan(std::string_view file_name, std::uint64_t token) {
  CreatedFile file;
  const FileSystemName name = FileSystemNameFor(file_name);
  if (name.use == NameUse::Refused) {
    file.failure_ = WhyNameRefused(file_name);
    return file;
  }
  if (!fd_.valid() && !planned_empty_) {
    file.failure_ = SystemFailure(open_error_);
    return file;
  }
  std::string key = WithoutClimbs(name.path);
  const std::size_t slash = name.path.rfind('/');
  const std::string_view folder_path(name.path.data(), slash == std::string::npos ? 0 : slash);
  const char* leaf = name.path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  const bool testing_only = name.use == NameUse::TestOnly;
  UniqueFd subfolder;
  if (slash != std::string::npos) {
    // A file planned where a subfolder should be stands in the way as one made would.
    for (std::size_t end = key.find('/'); end != std::string::npos; end = key.find('/', end + 1)) {
      if (planned_.contains(key.substr(0, end))) {
        file.failure_ = testing_only
                            ? WhyNameRefused(file_name)
                            : CreateFailure{CreateCause::SubfolderIsFile, key.substr(0, end)};
        return file;
      }
    }
    if (fd_.valid()) subfolder = OpenParent(folder_path);
    if (!subfolder.valid()) {
      if (testing_only) {
        file.failure_ = WhyNameRefused(file_name);
      } else if (fd_.valid()) {
        file.failure_ = WhySubfolderFails(folder_path, errno);
      } else {
        file.failure_ = {CreateCause::MissingSubfolder, key.substr(0, key.find('/'))};
      }
      return file;
    }
  }
  if (const auto earlier = planned_.find(key); earlier != planned_.end()) {
    file.outcome_ = CreateOutcome::ExistsAlready;
    file.earlier_ = earlier->second;
    return file;
  }
  const int parent = subfolder.valid() ? subfolder.get() : fd_.get();
  // Right in the folder, its entries read once answer for a status query each.
  bool missing = !fd_.valid();
  bool is_folder = false;
  int error = ENOENT;
  if (!missing && !subfolder.valid() && ListEntries()) {
    const auto entry = entries_.find(std::string(leaf));
    missing = entry == entries_.end();
    is_folder = !missing && entry->second;
  } else if (!missing) {
    struct stat info {};
    missing = fstatat(parent, leaf, &info, AT_SYMLINK_NOFOLLOW) != 0;
    if (missing) error = errno;
    is_folder = !missing && S_ISDIR(info.st_mode);
  }
  if (!missing) {
    if (!is_folder) {
      file.outcome_ = CreateOutcome::ExistsAlready;
    } else {
      file.failure_ =
          testing_only ? WhyNameRefused(file_name) : CreateFailure{CreateCause::FolderOfThatName};
    }
    return file;
  }
  if (testing_only) {
    file.failure_ = WhyNameRefused(file_name);
  } else if (error != ENOENT) {
    file.failure_ = error == EACCES
                        ? CreateFailure{CreateCause::NoPermission, std::string(folder_path)}
                        : SystemFailure(error);
  } else if (!MayCreateIn(parent, folder_path)) {
    file.failure_ = errno == EROFS
                        ? SystemFailure(EROFS)
                        : CreateFailure{CreateCause::NoPermission, std::string(folder_path)};
  } else {
    file.outcome_ = CreateOutcome::Created;
    planned_.emplace(std::move(key), token);
  }
  return file;
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

bool DestinationFolder::MayCreateIn(int folder, std::string_view folder_path) const {
  if (planned_empty_) return true;
  const bool here = folder_path.empty();
  if (here && may_create_here_ >= 0) {
    errno = may_create_here_ ? 0 : EACCES;
    return may_create_here_ != 0;
  }
  const bool may = faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) == 0;
  const int error = errno;
  if (here && (may || error != EROFS)) may_create_here_ = may ? 1 : 0;
  errno = error;
  return may;
}

CreateFailure DestinationFolder::WhySubfolderFails(std::string_view folder_path, int error) const {
  // Walked again component by component, looking at each before entering it.
  std::vector<UniqueFd> entered;
  std::vector<std::size_t> depth_ends;
  for (std::size_t start = 0; start <= folder_path.size();) {
    const std::size_t end = std::min(folder_path.find('/', start), folder_path.size());
    const std::string component(folder_path.substr(start, end - start));
    start = end + 1;
    if (component == "..") {
      if (entered.empty()) return {CreateCause::ClimbsAbove};
      entered.pop_back();
      continue;
    }
    const std::string subject(folder_path.substr(0, end));
    const int from = entered.empty() ? fd_.get() : entered.back().get();
    struct stat info {};
    if (fstatat(from, component.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) return {CreateCause::MissingSubfolder, subject};
      if (errno == EACCES) return {CreateCause::NoPermission, subject};
      return SystemFailure(errno);
    }
    if (S_ISLNK(info.st_mode)) return {CreateCause::SubfolderIsLink, subject};
    if (!S_ISDIR(info.st_mode)) return {CreateCause::SubfolderIsFile, subject};
    UniqueFd next(openat(from, component.c_str(), kFolderFlags));
    if (!next.valid())
      return errno == EACCES ? CreateFailure{CreateCause::NoPermission, subject}
                             : SystemFailure(errno);
    entered.push_back(std::move(next));
  }
  return SystemFailure(error);
}

RemoveOutcome DestinationFolder::RemoveIfUnchanged(const std::string& relative_path,
                                                   const FileIdentity& identity) {
  if (!fd_.valid()) return RemoveOutcome::Gone;
  const std::size_t slash = relative_path.rfind('/');
  UniqueFd subfolder;
  if (slash != std::string::npos) {
    subfolder = OpenParent(std::string_view(relative_path).substr(0, slash));
    if (!subfolder.valid()) return errno == ENOENT ? RemoveOutcome::Gone : RemoveOutcome::Changed;
  }
  const int parent = subfolder.valid() ? subfolder.get() : fd_.get();
  const char* leaf = relative_path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  struct stat info {};
  if (fstatat(parent, leaf, &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? RemoveOutcome::Gone : RemoveOutcome::Changed;
  }
  // A link or anything else in its place, another file, or the same file written since.
  if (!S_ISREG(info.st_mode) || IdentityFrom(info) != identity) return RemoveOutcome::Changed;
  if (unlinkat(parent, leaf, 0) != 0) {
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

UniqueFd DestinationFolder::OpenParentByWalk(std::string_view folder_path) const {
  // The folders entered so far; ".." steps back to the one before, never above this folder.
  std::vector<UniqueFd> entered;
  for (std::size_t start = 0; start <= folder_path.size();) {
    const std::size_t end = std::min(folder_path.find('/', start), folder_path.size());
    const std::string component(folder_path.substr(start, end - start));
    start = end + 1;
    if (component == "..") {
      if (entered.empty()) return {};
      entered.pop_back();
      continue;
    }
    const int from = entered.empty() ? fd_.get() : entered.back().get();
    UniqueFd next(openat(from, component.c_str(), kFolderFlags));
    if (!next.valid()) return {};
    entered.push_back(std::move(next));
  }
  if (entered.empty()) return UniqueFd(fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
  return std::move(entered.back());
}

}  // namespace quillon
