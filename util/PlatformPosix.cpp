// The POSIX side of the program's paths and folders.
#include <unistd.h>
#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "util/Platform.h"
#include "util/Text.h"

namespace quillon {
namespace {

// One of the user's base folders: the environment variable's value when it is an absolute
// path, else the folder under the home folder; empty when neither is known.
std::string UserFolder(const char* variable, std::string_view under_home) {
  if (const char* folder = std::getenv(variable); folder && *folder == '/') return folder;
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::string(home) + "/" + std::string(under_home);
  }
  return {};
}

}  // namespace

bool IsRootPath(std::string_view path) { return path == "/"; }

bool IsAbsolutePath(std::string_view path) { return path.starts_with('/'); }

std::string AnchorToCurrentFolder(const std::string& path) {
  if (path.empty() || IsAbsolutePath(path)) return path;
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? path : JoinPath(current.string(), path);
}

std::string ExecutablePath() {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

std::string DataFolderFor(const std::string& program_folder) {
  // An installed copy's bin folder is shared by many programs, and writable to the superuser
  // and to a copy installed under the home folder: the files go to the user's folder there.
  const bool installed = std::filesystem::path(program_folder).filename() == "bin";
  if (!installed && access(program_folder.c_str(), W_OK) == 0) return program_folder;
  const std::string base = UserFolder("XDG_CONFIG_HOME", ".config");
  if (base.empty()) return program_folder;
  std::string folder = base + "/quillon";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

char32_t AppendHostText(std::u16string_view units, std::string& text) {
  return AppendUtf8OfUtf16(units, text, LoneSurrogate::AsQuestionMark);
}

std::u16string Utf16OfHostText(std::string_view text) { return Utf16OfUtf8(text); }

std::string UserStateFolder() { return UserFolder("XDG_STATE_HOME", ".local/state"); }

std::string HelpFileFor(const std::string& program_folder) {
  std::string beside = JoinPath(program_folder, "quillon.html");
  std::string installed = JoinPath(FolderOfPath(program_folder), "share/doc/quillon/quillon.html");
  std::error_code error;
  if (!std::filesystem::is_regular_file(beside, error) &&
      std::filesystem::is_regular_file(installed, error)) {
    return installed;
  }
  return beside;
}

std::thread StartBeside(std::function<void()> work) {
  std::thread thread(std::move(work));
#if defined(__linux__)
  cpu_set_t others;
  CPU_ZERO(&others);
  if (sched_getaffinity(0, sizeof others, &others) == 0) {
    const int here = sched_getcpu();
    if (here >= 0) CPU_CLR(here, &others);
    // Where the caller may run on one core only, the thread goes where the host puts it.
    if (CPU_COUNT(&others) > 0)
      pthread_setaffinity_np(thread.native_handle(), sizeof others, &others);
  }
#endif
  return thread;
}

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace quillon
