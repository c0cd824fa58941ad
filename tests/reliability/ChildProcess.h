// Running code under injected faults: the batch command as a child process, or a piece of the
// core in a forked child, with a file-size limit or without the super-user's rights.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon::testing {

// This build (and so the batch command beside it) runs under the sanitizers.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

struct ChildLimits {
  // RLIMIT_FSIZE for the child; the batch command ignores SIGXFSZ, so a write past it fails
  // with EFBIG.
  std::optional<rlim_t> file_size;
  // Runs as the unprivileged user, so permission bits hold even when the tests run as root.
  bool unprivileged = false;
  // RLIMIT_AS: a run that needs more memory gets none.
  std::optional<rlim_t> address_space;
  // Ends a child that hangs (SIGALRM) after this many seconds; 0 for never.
  unsigned seconds = 0;
};

struct BatchResult {
  int exit_status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;       // standard output: the report lines
  std::string err;       // standard error: the message boxes
  long max_rss_kib = 0;  // peak resident memory as the kernel accounts it (ru_maxrss)
};

// Runs quillon-batch with the arguments. Its output goes through files in work_folder, so a
// large report cannot block it. stdout_path, when given, keeps the report there instead (and
// out stays empty), for reports too large to hold.
BatchResult RunBatch(const std::vector<std::string>& arguments, const std::string& work_folder,
                     const ChildLimits& limits = {}, const std::string& stdout_path = {});

struct ChildResult {
  int exit_status = -1;
  std::string text;  // what the body returned
};

struct RunningChild {
  int pid = -1;
  int channel = -1;  // the read end of the pipe the child writes its text to
};

// Starts the body in a forked child, which hands back the text it returns (or the text of
// what it threw). The child ends with _exit, so nothing of the test process runs twice.
RunningChild StartInChild(const std::function<std::string()>& body, const ChildLimits& limits = {});
// True once the child has ended (its end of the pipe closed or its text waiting).
bool ChildEnded(const RunningChild& child);
ChildResult FinishChild(const RunningChild& child);

ChildResult RunInChild(const std::function<std::string()>& body, const ChildLimits& limits = {});

// Whether this process may switch to the unprivileged user, and that user then reach the batch
// command (a copy of it, when this process is the superuser).
bool CanDropPrivileges();
// Lets the unprivileged user reach the path (and write there when writable).
void OpenToUnprivileged(const std::string& path, bool writable);

// Lines of a text split at "\n" (a last line without one included).
std::vector<std::string> SplitLines(const std::string& text);

std::string Repeat(const std::string& piece, std::size_t count);

// Every entry below the folder, relative to it, sorted; folders end in "/".
std::vector<std::string> TreeOf(const std::string& folder);

}  // namespace quillon::testing
