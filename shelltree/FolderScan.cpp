#include "shelltree/FolderScan.h"

#include "util/FileSystem.h"
#include "util/Platform.h"
#include "util/Text.h"

namespace quillon {
namespace {

// One character of UTF-8: a lead byte and its continuation bytes.
std::size_t NextCharacter(std::string_view text, std::size_t at) {
  ++at;
  while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  return at;
}

}  // namespace

bool MatchFileMask(std::string_view name, std::string_view pattern) {
  if (pattern == "*") return true;
  if (pattern == "*.*") return name.find('.') != std::string_view::npos;
  const std::string text = AsciiLower(name);
  const std::string mask = AsciiLower(pattern);
  if (mask.find_first_of("*?") == std::string::npos) return text == mask;
  // Greedy walk that returns to the last "*" and lets it take one more character on a mismatch.
  std::size_t t = 0, m = 0;
  std::size_t starMask = std::string::npos, starText = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starText = t;
    } else if (m < mask.size() && mask[m] == '?') {
      ++m;
      t = NextCharacter(text, t);
    } else if (m < mask.size() && mask[m] == text[t]) {
      ++m;
      ++t;
    } else if (starMask != std::string::npos) {
      m = starMask + 1;
      t = starText = NextCharacter(text, starText);
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::vector<std::string> ParseFileMask(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty()) text = "*.*";
  std::vector<std::string> patterns;
  while (true) {
    const std::size_t semicolon = text.find(';');
    const std::string_view part = TrimBlanks(text.substr(0, semicolon));
    if (!part.empty()) patterns.emplace_back(part);
    if (semicolon == std::string_view::npos) break;
    text.remove_prefix(semicolon + 1);
  }
  return patterns;
}

std::string JoinFileMask(const std::vector<std::string>& patterns) {
  std::string joined;
  for (const std::string& pattern : patterns) {
    if (!joined.empty()) joined += ';';
    joined += pattern;
  }
  return joined;
}

bool MatchesAnyMask(std::string_view name, const std::vector<std::string>& patterns) {
  if (patterns.empty()) return true;
  for (const std::string& pattern : patterns) {
    if (MatchFileMask(name, pattern)) return true;
  }
  return false;
}

std::string CleanPath(std::string_view path) {
  const bool absolute = IsAbsolutePath(path);
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    const std::size_t slash = path.find(kPathSeparator);
    const std::string_view part = path.substr(0, slash);
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..")
        parts.pop_back();
      else if (!absolute)
        parts.push_back(part);
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  std::string clean = absolute ? std::string(1, kPathSeparator) : std::string();
  for (const std::string_view part : parts) {
    if (!clean.empty() && clean.back() != kPathSeparator) clean += kPathSeparator;
    clean.append(part);
  }
  return clean;
}

std::string NormalizeTreePath(std::string_view path) {
  if (!IsAbsolutePath(path)) return {};
  std::string folder = CleanPath(path);
  while (!IsRootPath(folder) && !IsFolder(folder)) folder = ParentFolder(folder);
  return IsFolder(folder) ? folder : std::string();
}

bool ComponentsBelow(std::string_view base, std::string_view path,
                     std::vector<std::string>& components) {
  components.clear();
  if (!IsRootPath(base)) {
    if (!path.starts_with(base) || (path.size() > base.size() && path[base.size()] != '/'))
      return false;
  } else if (!IsAbsolutePath(path)) {
    return false;
  }
  std::string_view rest = path.substr(base.size());
  while (!rest.empty()) {
    const std::size_t slash = rest.find(kPathSeparator);
    const std::string_view part = rest.substr(0, slash);
    if (!part.empty()) components.emplace_back(part);
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return true;
}

}  // namespace quillon
