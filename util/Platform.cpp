#include "util/Platform.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "util/Text.h"

namespace quillon {

bool IsRootPath(std::string_view path) { return path == "/"; }

bool IsAbsolutePath(std::string_view path) { return path.starts_with('/'); }

namespace {

bool IsRefusedNameChar(unsigned char c) {
  if (c < 32) return true;
  switch (c) {
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|': return true;
    default: return false;
  }
}

// Windows takes the part before the first dot, blanks before that dot ignored, for a device.
bool IsDeviceName(std::string_view component) {
  std::string_view base = component.substr(0, component.find('.'));
  base = base.substr(0, base.find_last_not_of(' ') + 1);
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL"}) {
    if (EqualsIgnoringAsciiCase(base, device)) return true;
  }
  if (base.size() != 4 || base[3] < '1' || base[3] > '9') return false;
  return EqualsIgnoringAsciiCase(base.substr(0, 3), "COM") ||
         EqualsIgnoringAsciiCase(base.substr(0, 3), "LPT");
}

std::string_view WithoutTrailingDotsAndBlanks(std::string_view component) {
  const std::size_t last = component.find_last_not_of(". ");
  return last == std::string_view::npos ? std::string_view() : component.substr(0, last + 1);
}

// Calls visit with each component of a name that reaches the file system: empty and "."
// components are skipped. False when the name climbs above its folder or ends in no file.
template <typename Visit>
bool ForEachComponent(std::string_view name, Visit&& visit) {
  std::size_t depth = 0;
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
    const std::string_view component = name.substr(start, end - start);
    const bool last = end == name.size();
    start = end + 1;
    if (component.empty() || component == ".") {
      if (last) return false;
      continue;
    }
    if (component == "..") {
      // ".." may step back only into folders the name entered itself.
      if (depth == 0 || last) return false;
      --depth;
    } else {
      ++depth;
    }
    visit(component);
  }
  return true;
}

}  // namespace

FileSystemName FileSystemNameFor(std::string_view name) {
  FileSystemName result;
  // A NUL would cut the name short on its way to the file system.
  if (name.find('\0') != std::string_view::npos) return result;
  bool portable =
      std::none_of(name.begin(), name.end(), [](unsigned char c) { return IsRefusedNameChar(c); });
  const bool reachable = ForEachComponent(name, [&](std::string_view component) {
    if (component == "..") return;
    const std::string_view dropped = WithoutTrailingDotsAndBlanks(component);
    if (dropped.empty() || IsDeviceName(dropped)) portable = false;
  });
  if (!reachable) return result;
  result.path.reserve(name.size());
  ForEachComponent(name, [&](std::string_view component) {
    if (!result.path.empty()) result.path += '/';
    result.path.append(portable && component != ".." ? WithoutTrailingDotsAndBlanks(component)
                                                     : component);
  });
  result.use = portable ? NameUse::Create : NameUse::TestOnly;
  return result;
}

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

std::string FolderOfPath(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::string(path);
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string IniPathFor(std::string_view executable_path) {
  const std::size_t slash = executable_path.rfind('/');
  const std::size_t dot = executable_path.rfind('.');
  const bool has_extension =
      dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash + 1);
  return std::string(has_extension ? executable_path.substr(0, dot) : executable_path) + ".ini";
}

std::string DataFolderFor(const std::string& program_folder) {
  // An installed copy's bin folder is shared by many programs, and writable to the superuser
  // and to a copy installed under the home folder: the files go to the user's folder there.
  const bool installed = std::filesystem::path(program_folder).filename() == "bin";
  if (!installed && access(program_folder.c_str(), W_OK) == 0) return program_folder;
  std::string base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    return program_folder;
  }
  std::string folder = base + "/quillon";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

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

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (joined.empty() || joined.back() != kPathSeparator) joined += kPathSeparator;
  joined.append(name);
  return joined;
}

}  // namespace quillon
