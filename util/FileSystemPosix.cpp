// The POSIX side of the file-system routines.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>
#include <random>

#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/Text.h"
#include "util/UniqueFd.h"

namespace quillon {
namespace {

// Where a chain of links ends (the path itself when it is no link); a link to nothing leads to
// where its file would be.
std::string LinkTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) ThrowIoError(EIO);
    target.resize(static_cast<std::size_t>(length));
    path = IsAbsolutePath(target) ? target : JoinPath(FolderOfPath(path), target);
  }
  ThrowIoError(ELOOP);
}

// Birth time where the file system records one, else the last status change.
std::time_t CreationTime(const std::string& path) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_CTIME, &info) == 0) {
    if (info.stx_mask & STATX_BTIME) return static_cast<std::time_t>(info.stx_btime.tv_sec);
    return static_cast<std::time_t>(info.stx_ctime.tv_sec);
  }
  return 0;
}

std::string LocalDateTimeText(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[128];
  const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
  const std::size_t length = std::strftime(text, sizeof text, midnight ? "%x" : "%x %X", &local);
  return std::string(text, length);
}

}  // namespace

char GetPathKind(const std::string& path) {
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0) return 'n';
  return S_ISDIR(info.st_mode) ? 'd' : 'f';
}

bool IsWriteProtected(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return true;
  if (S_ISLNK(info.st_mode)) return false;  // a link has no permissions of its own
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
}

bool IsExistingFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) return !S_ISDIR(info.st_mode);
  return lstat(path.c_str(), &info) == 0;
}

std::uint64_t FileSizeOf(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

std::uint64_t FolderSize(const std::string& folder, const std::atomic<bool>* stop) {
  std::string path = folder;
  StripTrailingBackslash(path);
  UniqueFd fd(open(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return 0;
  DIR* dir = fdopendir(fd.get());
  if (!dir) return 0;
  fd.release();  // the folder stream owns it now
  std::uint64_t total = 0;
  while (const dirent* entry = readdir(dir)) {
    if (stop && stop->load(std::memory_order_relaxed)) break;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    // Links are counted as themselves, never followed into folders.
    if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      total += FolderSize(JoinPath(path, name), stop);
    } else {
      total += static_cast<std::uint64_t>(info.st_size);
    }
  }
  closedir(dir);
  return total;
}

std::string PathDateText(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return {};
  return LocalDateTimeText(S_ISDIR(info.st_mode) ? CreationTime(path) : info.st_mtime);
}

bool VolumeFreeBytes(const std::string& path, std::uint64_t& free_bytes) {
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return false;
  free_bytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
  return true;
}

void StripTrailingBackslash(std::string& path) {
  if (!path.empty() && path.back() == kPathSeparator && !IsRootPath(path)) path.pop_back();
}

std::string ParentFolder(std::string_view path) {
  const std::size_t p = LastPos(std::string_view(&kPathSeparator, 1), path);
  if (p == 0) return std::string(path);
  if (p == 1) return std::string(1, kPathSeparator);
  return std::string(path.substr(0, p - 1));
}

bool ForceFolderFrom(const std::string& path) { return IsAbsolutePath(path); }

bool ForceFolder(std::string path) {
  StripTrailingBackslash(path);
  if (GetPathKind(path) == 'd') return true;
  if (!ForceFolderFrom(path)) return false;
  const std::size_t p = LastPos(std::string_view(&kPathSeparator, 1), path);
  if (p == 0) return false;
  const std::string parent = p == 1 ? std::string(1, kPathSeparator) : path.substr(0, p - 1);
  if (parent.size() >= path.size()) return false;
  if (GetPathKind(parent) == 'd') return mkdir(path.c_str(), 0777) == 0 || IsFolder(path);
  return ForceFolder(parent) && ForceFolder(path);
}

std::size_t LongestNameIn(const std::string& folder) {
  const long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
  return longest > 0 ? static_cast<std::size_t>(longest) : NAME_MAX;
}

std::size_t LongestFolderPath() { return PATH_MAX - 1; }

bool TemporaryFolderCanBeMadeIn(const std::string& folder) {
  static std::atomic<unsigned> made{0};
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string probe = JoinPath(
        folder, ".quillon-probe-" + std::to_string(getpid()) + "-" + std::to_string(made++));
    if (mkdir(probe.c_str(), 0700) == 0) {
      rmdir(probe.c_str());
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool RemoveFolder(std::string path) {
  StripTrailingBackslash(path);
  return rmdir(path.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
  return !path.empty() && IsExistingFile(path) && !IsWriteProtected(path) &&
         unlink(path.c_str()) == 0;
}

void ReplaceFileAtomically(const std::string& path, std::string_view content) {
  // A link stays a link: what it leads to is replaced.
  const std::string target = LinkTarget(path);
  struct stat existing {};
  const bool exists = lstat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) ThrowIoError(errno);
  // Only a regular file the user may write is replaced, and it keeps its mode and owners.
  if (exists && (!S_ISREG(existing.st_mode) || IsWriteProtected(target))) {
    ThrowIoError(EACCES);
  }
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::string temporary =
      target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(random() % 1000000007);
  {
    // Readable by the user alone until it has the mode of the file it replaces.
    UniqueFd file(
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666));
    if (!file.valid()) ThrowIoError(errno);
    try {
      WriteAllTo(file.get(), content);
      if (exists) {
        // Not permitted unless privileged or already so: the file then stays the user's own.
        [[maybe_unused]] const int ignored = fchown(file.get(), existing.st_uid, existing.st_gid);
        if (fchmod(file.get(), existing.st_mode & 07777) != 0) ThrowIoError(errno);
      }
      if (fsync(file.get()) != 0) ThrowIoError(errno);
      file.Close();
    } catch (...) {
      unlink(temporary.c_str());
      throw;
    }
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    ThrowIoError(error);
  }
}

}  // namespace quillon
