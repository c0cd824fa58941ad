#include "settings/IniFile.h"

#include <cerrno>

#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Text.h"

namespace quillon {
namespace {

// The name of a section line "[name]", or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = TrimBlanks(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return TrimBlanks(line.substr(1, close - 1));
}

bool IsKeyLine(std::string_view line, std::string_view key, std::string_view* value) {
  const std::string_view trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed.front() == ';') return false;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  if (!EqualsIgnoringAsciiCase(TrimBlanks(line.substr(0, equals)), key)) return false;
  if (value) *value = line.substr(equals + 1);
  return true;
}

}  // namespace

IniFile IniFile::Load(const std::string& path) {
  if (GetPathKind(path) == 'n') return IniFile();
  return Parse(ReadWholeFile(path, kMaxFileSize));
}

IniFile IniFile::Parse(std::string_view content) {
  IniFile file;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = start;
    while (end < content.size() && content[end] != '\r' && content[end] != '\n') ++end;
    Line line{std::string(content.substr(start, end - start)), {}};
    if (end < content.size()) {
      const bool crlf =
          content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n';
      line.ending = std::string(content.substr(end, crlf ? 2 : 1));
    }
    start = end + line.ending.size();
    file.lines_.push_back(std::move(line));
  }
  return file;
}

std::optional<std::size_t> IniFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i].text);
    if (name && EqualsIgnoringAsciiCase(*name, section)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> IniFile::FindKey(std::size_t section_line, std::string_view key) const {
  for (std::size_t i = section_line + 1; i < lines_.size() && !SectionName(lines_[i].text); ++i) {
    if (IsKeyLine(lines_[i].text, key, nullptr)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  const auto section_line = FindSection(section);
  if (!section_line) return std::nullopt;
  const auto key_line = FindKey(*section_line, key);
  if (!key_line) return std::nullopt;
  std::string_view value;
  IsKeyLine(lines_[*key_line].text, key, &value);
  value = TrimBlanks(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, kMaxValueLength));
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string key_line = std::string(key) + "=" + std::string(value);
  const auto section_line = FindSection(section);
  if (section_line) {
    if (const auto existing = FindKey(*section_line, key)) {
      lines_[*existing].text = key_line;
      return;
    }
    // After the section's last non-blank line, before any blank lines that part it from the next.
    std::size_t insert_at = *section_line + 1;
    for (std::size_t i = insert_at; i < lines_.size() && !SectionName(lines_[i].text); ++i) {
      if (!TrimBlanks(lines_[i].text).empty()) insert_at = i + 1;
    }
    if (insert_at == lines_.size() && lines_.back().ending.empty()) lines_.back().ending = "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), {key_line, "\r\n"});
    return;
  }
  if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = "\r\n";
  lines_.push_back({"[" + std::string(section) + "]", "\r\n"});
  lines_.push_back({key_line, "\r\n"});
}

std::string IniFile::Content() const {
  std::string content;
  for (const Line& line : lines_) {
    content += line.text;
    content += line.ending;
  }
  return content;
}

void IniFile::SaveAtomically(const std::string& path) const {
  ReplaceFileAtomically(path, Content());
}

}  // namespace quillon
