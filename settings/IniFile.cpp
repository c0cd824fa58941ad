#include "settings/IniFile.h"

#include <cerrno>

#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/Text.h"

namespace quillon {
namespace {

// What the profile functions take for blanks around names and values.
constexpr std::string_view kBlanks = " \t\v\f\x1a";
std::string_view Trim(std::string_view text) { return TrimBlanks(text, kBlanks); }

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

// The name of a section line "[name]", or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

bool IsKeyLine(std::string_view line, std::string_view key, std::string_view* value) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return false;
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  if (!EqualsIgnoringAsciiCase(Trim(line.substr(0, equals)), key)) return false;
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
  std::string text;
  if (content.starts_with(kUtf8Mark)) {
    file.form_ = Form::Utf8;
    content.remove_prefix(kUtf8Mark.size());
  } else if (content.starts_with(kUtf16LeMark) || content.starts_with(kUtf16BeMark)) {
    file.form_ = content.starts_with(kUtf16LeMark) ? Form::Utf16Le : Form::Utf16Be;
    const bool little = file.form_ == Form::Utf16Le;
    std::u16string units;
    for (std::size_t at = 2; at + 2 <= content.size(); at += 2) {
      const auto first = static_cast<unsigned char>(content[at]);
      const auto second = static_cast<unsigned char>(content[at + 1]);
      units += static_cast<char16_t>(little ? first | second << 8 : first << 8 | second);
    }
    if (content.size() % 2 != 0) file.odd_byte_ = content.back();
    // Kept whole, a lone surrogate too, so that the file is written back as it was.
    AppendUtf8OfUtf16(units, text);
    content = text;
  }
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

std::string IniFile::Held(std::string_view text) const {
  if (form_ == Form::Bytes || kHostTextIsUtf8) return std::string(text);
  std::string held;
  AppendUtf8OfUtf16(Utf16OfHostText(text), held);
  return held;
}

std::string IniFile::Given(std::string_view text) const {
  if (form_ == Form::Bytes || kHostTextIsUtf8) return std::string(text);
  std::string given;
  AppendHostText(Utf16OfUtf8(text), given);
  return given;
}

std::optional<std::size_t> IniFile::FindSection(std::string_view section) const {
  const std::string held = Held(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i].text);
    if (name && EqualsIgnoringAsciiCase(*name, held)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> IniFile::FindKey(std::size_t section_line, std::string_view key) const {
  const std::string held = Held(key);
  for (std::size_t i = section_line + 1; i < lines_.size() && !SectionName(lines_[i].text); ++i) {
    if (IsKeyLine(lines_[i].text, held, nullptr)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  const auto section_line = FindSection(section);
  if (!section_line) return std::nullopt;
  const auto key_line = FindKey(*section_line, key);
  if (!key_line) return std::nullopt;
  std::string_view value;
  IsKeyLine(lines_[*key_line].text, Held(key), &value);
  value = Trim(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return Given(value).substr(0, kMaxValueLength);
}

void IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string key_line = Held(key) + "=" + Held(value);
  const auto section_line = FindSection(section);
  if (section_line) {
    if (const auto existing = FindKey(*section_line, key)) {
      lines_[*existing].text = key_line;
      return;
    }
    // After the section's last non-blank line, before any blank lines that part it from the next.
    std::size_t insert_at = *section_line + 1;
    for (std::size_t i = insert_at; i < lines_.size() && !SectionName(lines_[i].text); ++i) {
      if (!Trim(lines_[i].text).empty()) insert_at = i + 1;
    }
    if (insert_at == lines_.size() && lines_.back().ending.empty()) lines_.back().ending = "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), {key_line, "\r\n"});
    return;
  }
  if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = "\r\n";
  lines_.push_back({"[" + Held(section) + "]", "\r\n"});
  lines_.push_back({key_line, "\r\n"});
}

std::string IniFile::Content() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += line.ending;
  }
  switch (form_) {
    case Form::Bytes: return text;
    case Form::Utf8: return std::string(kUtf8Mark) + text;
    case Form::Utf16Le:
    case Form::Utf16Be: break;
  }
  const bool little = form_ == Form::Utf16Le;
  std::string content(little ? kUtf16LeMark : kUtf16BeMark);
  for (const char16_t unit : Utf16OfUtf8(text)) {
    const auto low = static_cast<char>(unit & 0xFF);
    const auto high = static_cast<char>(unit >> 8);
    content += little ? low : high;
    content += little ? high : low;
  }
  return content + odd_byte_;
}

void IniFile::SaveAtomically(const std::string& path) const {
  ReplaceFileAtomically(path, Content());
}

}  // namespace quillon
