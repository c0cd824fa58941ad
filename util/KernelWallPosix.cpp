// The POSIX side of the kernel wall: Linux's Landlock, by its system calls, each right the
// running kernel knows handled (its version of the interface tells which).
#include "util/KernelWall.h"

#ifdef __linux__
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "util/IoError.h"
#include "util/UniqueFd.h"

// Rights of later versions than the headers here know.
#ifndef LANDLOCK_ACCESS_FS_REFER
#define LANDLOCK_ACCESS_FS_REFER (1ULL << 13)
#endif
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif
#ifndef LANDLOCK_ACCESS_FS_IOCTL_DEV
#define LANDLOCK_ACCESS_FS_IOCTL_DEV (1ULL << 15)
#endif

namespace quillon {
namespace {

// Everything that changes the file system or a device; reading and executing stay free.
std::uint64_t WriteRightsOf(long version) {
  std::uint64_t rights = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                         LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR |
                         LANDLOCK_ACCESS_FS_MAKE_DIR | LANDLOCK_ACCESS_FS_MAKE_REG |
                         LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                         LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM;
  if (version >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;     // links and renames across folders
  if (version >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;  // truncate, O_TRUNC
  if (version >= 5) rights |= LANDLOCK_ACCESS_FS_IOCTL_DEV;
  return rights;
}

}  // namespace

WallOutcome AllowWritesOnlyBeneath(const std::vector<std::string>& folders) {
  const long version =
      syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  // Not built in, not enabled at boot, or refused by a filter of system calls.
  if (version < 1) return WallOutcome::Unavailable;
  landlock_ruleset_attr attributes{};
  attributes.handled_access_fs = WriteRightsOf(version);
  const UniqueFd ruleset(
      static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0)));
  if (!ruleset.valid()) ThrowIoError(errno);
  for (const std::string& folder : folders) {
    const UniqueFd opened(open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!opened.valid()) ThrowIoError(errno);
    landlock_path_beneath_attr beneath{};
    beneath.allowed_access = attributes.handled_access_fs;
    beneath.parent_fd = opened.get();
    if (syscall(SYS_landlock_add_rule, ruleset.get(), LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) !=
        0) {
      ThrowIoError(errno);
    }
  }
  // Without it only a privileged process may restrict itself; nothing here gains privileges.
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) ThrowIoError(errno);
  if (syscall(SYS_landlock_restrict_self, ruleset.get(), 0) != 0) ThrowIoError(errno);
  return WallOutcome::Raised;
}

}  // namespace quillon

#else

namespace quillon {

WallOutcome AllowWritesOnlyBeneath(const std::vector<std::string>&) {
  return WallOutcome::Unavailable;
}

}  // namespace quillon

#endif
