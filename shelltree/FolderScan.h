// The folder tree's rules on names and paths, free of Qt: hidden names, file masks, and
// turning typed paths into existing folders.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Hidden entries are those whose names start with ".".
inline bool IsHiddenName(std::string_view name) { return name.starts_with('.'); }

// Case-insensitive (ASCII) name pattern: "*" matches everything, "*.*" every name holding a
// ".", "?" one character, "*" any run of characters. Unlike a first-occurrence walk, a "*"
// gives back characters when the rest would fail, so "*.txt" matches "a.txt.txt".
bool MatchFileMask(std::string_view name, std::string_view pattern);

// A mask text split at ";" into trimmed, non-empty patterns; an empty text is "*.*".
std::vector<std::string> ParseFileMask(std::string_view text);
std::string JoinFileMask(const std::vector<std::string>& patterns);
// True when any pattern matches, and when there is none.
bool MatchesAnyMask(std::string_view name, const std::vector<std::string>& patterns);

// The path with "." and ".." components resolved by their text and repeated separators
// collapsed; a relative path stays relative.
std::string CleanPath(std::string_view path);

// The existing folder a path leads to: the path itself, else its nearest existing parent;
// no trailing separator except for the root "/". Empty for an empty or relative path.
std::string NormalizeTreePath(std::string_view path);

// The components of an absolute path below a base folder ("/a/b/c" below "/a" is b, c), or
// false when the path is not the base nor inside it.
bool ComponentsBelow(std::string_view base, std::string_view path,
                     std::vector<std::string>& components);

}  // namespace quillon
