#include "util/Platform.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quillon {

bool IsRootPath(std::string_view path) { return path == "/"; }

bool IsAbsolutePath(std::string_view path) { return path.starts_with('/'); }

void MapNameSeparators(std::string& path, std::size_t from) {
  for (std::size_t i = from; i < path.size(); ++i) {
    if (path[i] == '\\') path[i] = '/';
  }
}

bool IsPortableCreatableName(std::string_view name) {
  for (unsigned char c : name) {
    if (c < 32) return false;
    switch (c) {
      case ':': case '*': case '?': case '"': case '<': case '>': case '|': return false;
      default: break;
    }
  }
  // Follow the components: ".." may step back only into folders the name entered itself.
  int depth = 0;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
    const std::string_view component = name.substr(start, end - start);
    if (component == "..") {
      if (--depth < 0) return false;
    } else if (!component.empty() && component != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
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
  const std::string folder = base + "/quillon";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

std::string HelpFileFor(const std::string& program_folder) {
  const std::string beside = JoinPath(program_folder, "quillon.html");
  const std::string installed =
      JoinPath(FolderOfPath(program_folder), "share/doc/quillon/quillon.html");
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
