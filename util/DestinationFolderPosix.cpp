// The POSIX side of creating a run's files: descriptors of folders, openat and openat2.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>

#include "util/DestinationFolder.h"
#include "util/IoError.h"

namespace quillon {
namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// A file of a name no one else uses, made to see what the folder does with it; the caller
// removes it at once. Invalid, with errno set, when it cannot be made.
UniqueFd MakeProbeFile(int folder, std::string& name) {
  static std::atomic<unsigned> probes{0};
  for (int attempt = 0; attempt < 8; ++attempt) {
    name = ".quillon-probe-" + std::to_string(getpid()) + "-" + std::to_string(probes++);
    UniqueFd made(
        openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (made.valid() || errno != EEXIST) return made;
  }
  return {};
}

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

bool StatusOf(int folder, const char* name, int flags, struct statx& info) {
  return statx(folder, name, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME,
               &info) == 0;
}

FileIdentity IdentityFrom(const struct statx& info) {
  FileIdentity identity{makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino,
                        static_cast<std::int64_t>(info.stx_size), info.stx_mtime.tv_sec,
                        info.stx_mtime.tv_nsec};
  identity.changed_known = (info.stx_mask & STATX_CTIME) != 0;
  identity.changed_seconds = info.stx_ctime.tv_sec;
  identity.changed_nanoseconds = info.stx_ctime.tv_nsec;
  identity.birth_known = (info.stx_mask & STATX_BTIME) != 0;
  if (identity.birth_known) {
    identity.birth_seconds = info.stx_btime.tv_sec;
    identity.birth_nanoseconds = info.stx_btime.tv_nsec;
  }
  return identity;
}

// The identity of the open file, its generation asked when wanted; the generation needs a
// descriptor open for more than its path. False with errno on failure.
bool IdentityAt(int fd, bool generation_wanted, FileIdentity& identity, mode_t& mode) {
  struct statx info {};
  if (!StatusOf(fd, "", AT_EMPTY_PATH, info)) return false;
  identity = IdentityFrom(info);
  mode = info.stx_mode;
  // Not asked of anything but a file: a device could take the request as its own.
  long generation = 0;
  if (generation_wanted && S_ISREG(mode) && ioctl(fd, FS_IOC_GETVERSION, &generation) == 0) {
    identity.generation_known = true;
    identity.generation = static_cast<std::uint32_t>(generation);
  }
  return true;
}

// Renames within the folder, never replacing what has the new name. Where the file system
// cannot refuse a replacement itself (NFS, SMB and many FUSE file systems), the new name is
// looked at first: only a file given that very name meanwhile would be replaced.
bool MoveWithoutReplacing(int folder, const char* from, const char* to) {
  if (renameat2(folder, from, folder, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat info {};
  if (fstatat(folder, to, &info, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  return errno == ENOENT && renameat(folder, from, folder, to) == 0;
}

// Moves the entry at the name to a private name of this process in the same folder; false
// with errno when it could not be moved. The same private name serves again once its file is
// removed (the kernel keeps its lookup cached); one left taken is passed by.
bool MoveAside(int folder, const char* name, char (&aside)[64]) {
  static std::atomic<std::uint64_t> taken{0};
  static const long process = static_cast<long>(getpid());
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::uint64_t number = taken.load();
    std::snprintf(aside, sizeof aside, ".quillon-undo-%ld-%llu", process,
                  static_cast<unsigned long long>(number));
    if (MoveWithoutReplacing(folder, name, aside)) return true;
    if (errno != EEXIST) return false;
    taken.compare_exchange_strong(number, number + 1);
  }
  return false;
}

// Whether the entry at the name is the held file (or folder), by device and inode, and still
// of the size and modification time it had when it was checked.
bool IsHeldFile(int folder, const char* name, const FileIdentity& held) {
  struct statx info {};
  if (!StatusOf(folder, name, AT_SYMLINK_NOFOLLOW, info)) return false;
  const FileIdentity now = IdentityFrom(info);
  return now.device == held.device && now.inode == held.inode && now.size == held.size &&
         now.modified_seconds == held.modified_seconds &&
         now.modified_nanoseconds == held.modified_nanoseconds;
}

}  // namespace

FileIdentity IdentityOf(int fd) {
  FileIdentity identity;
  mode_t mode = 0;
  if (!IdentityAt(fd, true, identity, mode)) ThrowIoError(errno);
  return identity;
}

// Closing a file changes none of its times here.
FileIdentity IdentityToKeep(int fd) { return IdentityOf(fd); }

std::int64_t FileClockSeconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec;
}

bool RemoveFolderIfEmpty(const std::string& path, const FileIdentity& identity) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return false;
  const std::string parent_path = slash == 0 ? "/" : path.substr(0, slash);
  const UniqueFd parent(open(parent_path.c_str(), kFolderFlags & ~O_NOFOLLOW));
  const char* leaf = path.c_str() + slash + 1;
  if (!parent.valid()) return false;
  // Held and listed: only the very folder, found empty, is ever moved aside to be removed.
  const UniqueFd held(openat(parent.get(), leaf, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  FileIdentity now;
  mode_t mode = 0;
  if (!held.valid() || !IdentityAt(held.get(), false, now, mode) || now.device != identity.device ||
      now.inode != identity.inode) {
    return false;
  }
  DIR* listing = fdopendir(fcntl(held.get(), F_DUPFD_CLOEXEC, 0));
  if (!listing) return false;
  bool empty = true;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") empty = false;
  }
  closedir(listing);
  char aside[64];
  if (!empty || !MoveAside(parent.get(), leaf, aside)) return false;
  // Anything made in it meanwhile changed its modification time, and keeps it.
  if (IsHeldFile(parent.get(), aside, now) && unlinkat(parent.get(), aside, AT_REMOVEDIR) == 0) {
    return true;
  }
  MoveWithoutReplacing(parent.get(), aside, leaf);
  return false;
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
    // Removed only while its name still holds the very file this run made and wrote.
    try {
      DestinationFolder::RemoveFileAt(folder_, path_.c_str() + leaf_, IdentityOf(fd_.get()));
    } catch (const IoError&) {
      // A file that cannot be looked at is left: it might not be the run's.
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
  if (faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) != 0) {
    if (errno == EROFS) return {CreateCause::SystemError, {}, EROFS};
    return {CreateCause::NoPermission};
  }
  // The superuser passes every check of rights, also on a file system with no room of its own
  // where no file can be made (/proc, /sys): there a file is made as the run makes one, and
  // removed at once. Elsewhere the check is the answer, and nothing is made.
  struct statfs volume {};
  if (geteuid() != 0 || fstatfs(folder, &volume) != 0 || volume.f_blocks != 0) return {};
  std::string probe;
  if (const UniqueFd made = MakeProbeFile(folder, probe); made.valid()) {
    unlinkat(folder, probe.c_str(), 0);
    return {};
  }
  if (errno == EACCES || errno == EPERM) return {CreateCause::NoPermission};
  return {CreateCause::SystemError, {}, errno};
}

namespace {

// ASCII letters only: what every file system that folds letter case folds alike.
bool IsLower(char c) { return c >= 'a' && c <= 'z'; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr char kCaseBit = 'a' - 'A';

bool HasLetter(std::string_view name) {
  return std::any_of(name.begin(), name.end(), [](char c) { return IsLower(c) || IsUpper(c); });
}

std::string OtherLetterCase(std::string name) {
  for (char& c : name) {
    if (IsLower(c) || IsUpper(c)) c ^= kCaseBit;
  }
  return name;
}

// Whether the name's other spelling finds an entry, and whether that is the same one.
struct Spellings {
  bool asked = false;  // the name itself was found
  bool other_found = false;
  bool same = false;
};

Spellings AskOtherSpelling(int folder, const std::string& name) {
  struct stat own {
  }, other{};
  if (fstatat(folder, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0) return {};
  if (fstatat(folder, OtherLetterCase(name).c_str(), &other, AT_SYMLINK_NOFOLLOW) != 0) {
    return {errno == ENOENT, false, false};
  }
  return {true, true, own.st_dev == other.st_dev && own.st_ino == other.st_ino};
}

// The kinds of file system that fold letter case, or a folder marked to (ext4's casefold).
bool FoldsByKind(int folder) {
  struct statfs volume {};
  unsigned flags = 0;
  if (fstatfs(folder, &volume) != 0) return false;
  return volume.f_type == MSDOS_SUPER_MAGIC || volume.f_type == 0x2011BAB0 /* exfat */ ||
         volume.f_type == SMB_SUPER_MAGIC || volume.f_type == 0xFF534D42 /* cifs */ ||
         volume.f_type == 0xFE534D42 /* smb2 */ ||
         (ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0);
}

}  // namespace

bool DestinationFolder::HostFoldsLetterCase(int folder) {
  const UniqueFd listing(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listing.valid()) return false;
  // An entry of the user's own answers without anything made: the other spelling missing, or
  // the same entry. Another entry there may still be the same one where inodes are not kept
  // (FUSE file systems number each lookup anew).
  if (DIR* entries = fdopendir(fcntl(listing.get(), F_DUPFD_CLOEXEC, 0))) {
    std::optional<bool> answer;
    for (int asked = 0; !answer && asked < 8;) {
      const dirent* entry = readdir(entries);
      if (!entry) break;
      if (!HasLetter(entry->d_name)) continue;
      const Spellings spellings = AskOtherSpelling(listing.get(), entry->d_name);
      if (spellings.asked && (!spellings.other_found || spellings.same)) answer = spellings.same;
      ++asked;
    }
    closedir(entries);
    if (answer) return *answer;
  }
  // A probe of its own, removed at once: no other entry has its other spelling.
  std::string probe;
  if (const UniqueFd made = MakeProbeFile(listing.get(), probe); made.valid()) {
    const Spellings spellings = AskOtherSpelling(listing.get(), probe);
    unlinkat(listing.get(), probe.c_str(), 0);
    if (spellings.asked) return spellings.other_found;
  }
  // Nothing can be made here (a read-only destination): its kind tells.
  return FoldsByKind(listing.get());
}

bool DestinationFolder::ListEntries() {
  if (listed_ >= 0) return listed_ != 0;
  listed_ = 0;
  // Where letter case is folded, only a lookup tells.
  if (folds_case_) return false;
  const int fd = openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* folder = fdopendir(fd);
  if (!folder) {
    close(fd);
    return false;
  }
  for (;;) {
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

std::string DestinationFolder::PlanKey(std::string path) const {
  if (!folds_case_) return path;
  for (char& c : path) {
    if (IsLower(c)) c ^= kCaseBit;
  }
  return path;
}

RemoveResult DestinationFolder::RemoveFileAt(int folder, const char* name,
                                             const FileIdentity& identity) {
  // The file is held from its check to its removal, so another file put at its name meanwhile
  // is never taken for it. Opened for reading, never waiting (a pipe put in its place); a file
  // the user may not read is held by its path alone, and its generation is then not known.
  // Where the generation is not asked, the path alone is held.
  const int path_only = O_PATH | O_NOFOLLOW | O_CLOEXEC;
  UniqueFd held(openat(folder, name,
                       identity.generation_known
                           ? O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC
                           : path_only));
  if (!held.valid() && errno == EACCES) held.reset(openat(folder, name, path_only));
  if (!held.valid()) {
    if (errno == ENOENT) return {RemoveOutcome::Gone};
    // A link, or a socket, in its place.
    if (errno == ELOOP || errno == ENXIO) return {RemoveOutcome::Changed};
    return {RemoveOutcome::Failed, errno};
  }
  FileIdentity now;
  mode_t mode = 0;
  if (!IdentityAt(held.get(), identity.generation_known, now, mode)) {
    return {RemoveOutcome::Failed, errno};
  }
  // Anything but a file in its place, another file, or the same file written since. The
  // change time is compared here, through the handle: the move aside changes it.
  if (!S_ISREG(mode) || now != identity) return {RemoveOutcome::Changed};
  // Moved aside first: the name may lead to another file by the time of the move, and only
  // the file held is removed.
  char aside[64];
  if (!MoveAside(folder, name, aside)) {
    if (errno == ENOENT) return {RemoveOutcome::Gone};
    return {RemoveOutcome::Failed, errno};
  }
  if (!IsHeldFile(folder, aside, now)) {
    MoveWithoutReplacing(folder, aside, name);
    return {RemoveOutcome::Changed};
  }
  if (unlinkat(folder, aside, 0) != 0) {
    const int error = errno;
    MoveWithoutReplacing(folder, aside, name);
    return {RemoveOutcome::Failed, error};
  }
  return {RemoveOutcome::Removed};
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
