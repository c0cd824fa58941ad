// The POSIX side of creating a run's files: descriptors of folders, openat and openat2.
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "util/DestinationFolder.h"

namespace quillon {
namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Cleared for good once the kernel turns out to lack openat2 (before Linux 5.6, or filtered).
std::atomic<bool> kernel_resolves_beneath{true};

}  // namespace

bool CreatedFile::HoldsNonFolder(int folder, const char* name) {
  struct stat info {};
  return fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(info.st_mode);
}

CreatedFile CreatedFile::CreateAt(int folder, const char* name) {
  CreatedFile file;
  // One exclusive open is both the existence test and the creation, and never follows a link.
  file.fd_.reset(openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (file.fd_.valid()) {
    file.outcome_ = CreateOutcome::Created;
  } else if (errno == EEXIST && HoldsNonFolder(folder, name)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  }
  return file;
}

CreatedFile CreatedFile::Create(const std::string& path) {
  return CreateAt(AT_FDCWD, path.c_str());
}

DestinationFolder::DestinationFolder(const std::string& path, Resolution resolution)
    : fd_(open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)), resolution_(resolution) {}

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
