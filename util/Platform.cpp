#include "util/Platform.h"

#include <algorithm>

#include "util/Text.h"

namespace quillon {
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

std::string FolderOfPath(std::string_view path) {
  const std::size_t separator = path.rfind(kPathSeparator);
  if (separator == std::string_view::npos) return std::string(path);
  const std::string_view with_separator = path.substr(0, separator + 1);
  if (IsRootPath(with_separator)) return std::string(with_separator);
  return std::string(path.substr(0, separator));
}

std::string IniPathFor(std::string_view executable_path) {
  const std::size_t separator = executable_path.rfind(kPathSeparator);
  const std::size_t dot = executable_path.rfind('.');
  const bool has_extension =
      dot != std::string_view::npos && (separator == std::string_view::npos || dot > separator + 1);
  return std::string(has_extension ? executable_path.substr(0, dot) : executable_path) + ".ini";
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (joined.empty() || joined.back() != kPathSeparator) joined += kPathSeparator;
  joined.append(name);
  return joined;
}

}  // namespace quillon
