// An ini file as a private-profile reader and writer keeps it: section and key names match
// regardless of ASCII case, values lose their surrounding blanks (blanks, tabs, vertical tabs,
// form feeds and Ctrl-Z) and one pair of enclosing quotes when read, and a write changes only
// the line of its key. A file that starts with a byte-order mark keeps it, and a file in UTF-16
// (either order) stays in UTF-16; the names and values given and taken are texts of the host's
// form (see AppendHostText).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class IniFile {
 public:
  static constexpr std::size_t kMaxValueLength = 2047;
  static constexpr std::size_t kMaxFileSize = 1 << 20;

  // A missing file gives an empty one. One that cannot be read, that is no regular file (a
  // pipe, a device, a folder) or that is larger than kMaxFileSize throws IoError.
  static IniFile Load(const std::string& path);
  static IniFile Parse(std::string_view content);

  // The value as read (blanks and one pair of quotes stripped, cut at 2047 bytes), or nothing
  // when the section or key is absent.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Replaces the key's line in place, appends the key to its section, or appends the section.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  std::string Content() const;

  // Writes a temporary file beside the path and renames it over the path; throws IoError.
  void SaveAtomically(const std::string& path) const;

 private:
  // How the lines are held: the file's bytes, or (after a mark) the text in UTF-8.
  enum class Form : unsigned char { Bytes, Utf8, Utf16Le, Utf16Be };
  struct Line {
    std::string text;    // without its line end
    std::string ending;  // "\r\n", "\n", "\r" or "" for a last line without one
  };
  Form form_ = Form::Bytes;
  std::vector<Line> lines_;
  std::string odd_byte_;  // a last byte of a UTF-16 file that makes no whole unit

  // A text of the host's form as the lines hold it, and back.
  std::string Held(std::string_view text) const;
  std::string Given(std::string_view text) const;

  std::optional<std::size_t> FindSection(std::string_view section) const;
  std::optional<std::size_t> FindKey(std::size_t section_line, std::string_view key) const;
};

}  // namespace quillon
