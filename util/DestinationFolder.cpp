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

}  // namespace

void CreatedFile::Close() { fd_.Close(); }

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

CreatedFile DestinationFolder::Create(std::string_view file_name) const {
  const FileSystemName name = FileSystemNameFor(file_name);
  if (!fd_.valid() || name.use == NameUse::Refused) return {};
  const std::size_t slash = name.path.rfind('/');
  // The subfolder the name reaches into, held while the file is made in it.
  UniqueFd subfolder;
  if (slash != std::string::npos) {
    subfolder = OpenParent(name.path.substr(0, slash));
    if (!subfolder.valid()) return {};
  }
  const int parent = subfolder.valid() ? subfolder.get() : fd_.get();
  const char* leaf = name.path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  CreatedFile file;
  if (name.use == NameUse::Create) {
    file = CreatedFile::CreateAt(parent, leaf);
  } else if (HoldsNonFolder(parent, leaf)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  }
  return file;
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
