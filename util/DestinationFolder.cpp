#include "util/DestinationFolder.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

void CloseAll(std::vector<int>& descriptors) {
  for (int fd : descriptors) close(fd);
  descriptors.clear();
}

}  // namespace

CreatedFile::CreatedFile(CreatedFile&& other) noexcept
    : outcome_(other.outcome_), fd_(other.fd_) {
  other.fd_ = -1;
}

CreatedFile& CreatedFile::operator=(CreatedFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    outcome_ = other.outcome_;
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

CreatedFile::~CreatedFile() {
  if (fd_ >= 0) ::close(fd_);
}

void CreatedFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) ThrowIoError(errno);
}

CreatedFile CreatedFile::CreateAt(int folder, const char* name, bool look_first) {
  CreatedFile file;
  if (look_first) {
    // One status query settles a name that exists; only a missing one goes on to be created.
    struct stat info {};
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
      if (!S_ISDIR(info.st_mode)) file.outcome_ = CreateOutcome::ExistsAlready;
      return file;
    }
  }
  // One exclusive open is both the existence test and the creation, and never follows a link.
  file.fd_ = openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (file.fd_ >= 0) {
    file.outcome_ = CreateOutcome::Created;
  } else if (errno == EEXIST && HoldsNonFolder(folder, name)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  }
  return file;
}

CreatedFile CreatedFile::Create(const std::string& path) {
  return CreateAt(AT_FDCWD, path.c_str(), false);
}

DestinationFolder::DestinationFolder(const std::string& path, Resolution resolution)
    : fd_(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)), resolution_(resolution) {}

DestinationFolder::~DestinationFolder() {
  if (fd_ >= 0) close(fd_);
}

CreatedFile DestinationFolder::Create(std::string_view file_name) {
  const FileSystemName name = FileSystemNameFor(file_name);
  if (fd_ < 0 || name.use == NameUse::Refused) return {};
  const std::size_t slash = name.path.rfind('/');
  const int parent = slash == std::string::npos ? fd_ : OpenParent(name.path.substr(0, slash));
  if (parent < 0) return {};
  const char* leaf = name.path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  CreatedFile file;
  if (name.use == NameUse::Create) {
    // Names tend to come in runs of files that exist (a source given again) or do not.
    file = CreatedFile::CreateAt(parent, leaf, last_existed_);
    last_existed_ = file.outcome() == CreateOutcome::ExistsAlready;
  } else if (HoldsNonFolder(parent, leaf)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  }
  if (parent != fd_) close(parent);
  return file;
}

int DestinationFolder::OpenParent(std::string_view folder_path) const {
  if (resolution_ == Resolution::ComponentWalk ||
      !kernel_resolves_beneath.load(std::memory_order_relaxed)) {
    return OpenParentByWalk(folder_path);
  }
  const std::string path(folder_path);
  open_how how {};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
  for (int attempt = 0; attempt < 8; ++attempt) {
    const long fd = syscall(SYS_openat2, fd_, path.c_str(), &how, sizeof how);
    if (fd >= 0) return static_cast<int>(fd);
    // EAGAIN: a rename elsewhere raced with a "..", and the kernel asks to try again.
    if (errno == EAGAIN) continue;
    if (errno != ENOSYS && errno != EPERM) return -1;
    kernel_resolves_beneath.store(false, std::memory_order_relaxed);
    return OpenParentByWalk(folder_path);
  }
  return -1;
}

int DestinationFolder::OpenParentByWalk(std::string_view folder_path) const {
  // The folders entered so far; ".." steps back to the one before, never above this folder.
  std::vector<int> entered;
  for (std::size_t start = 0; start <= folder_path.size();) {
    const std::size_t end = std::min(folder_path.find('/', start), folder_path.size());
    const std::string component(folder_path.substr(start, end - start));
    start = end + 1;
    if (component == "..") {
      if (entered.empty()) return -1;
      close(entered.back());
      entered.pop_back();
      continue;
    }
    const int next = openat(entered.empty() ? fd_ : entered.back(), component.c_str(), kFolderFlags);
    if (next < 0) {
      CloseAll(entered);
      return -1;
    }
    entered.push_back(next);
  }
  if (entered.empty()) return fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  const int parent = entered.back();
  entered.pop_back();
  CloseAll(entered);
  return parent;
}

}  // namespace quillon
