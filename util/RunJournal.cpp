#include "util/RunJournal.h"

#include <algorithm>
#include <charconv>

#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"

namespace quillon {
namespace {

constexpr std::string_view kHeader = "quillon journal 1\n";
constexpr std::size_t kMaxJournalBytes = std::size_t{1} << 32;

void AppendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 127 || c == '%') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
}

std::optional<std::string> Unescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    unsigned value = 0;
    if (i + 2 >= text.size()) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
    if (error != std::errc() || end != text.data() + i + 3) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

template <typename Number>
void AppendField(std::string& out, Number value) {
  char digits[24];
  digits[0] = '\t';
  const auto end = std::to_chars(digits + 1, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

bool ParseIdentity(const std::vector<std::string_view>& fields, std::size_t first,
                   FileIdentity& identity) {
  return ParseNumber(fields[first], identity.device) &&
         ParseNumber(fields[first + 1], identity.inode) &&
         ParseNumber(fields[first + 2], identity.size) &&
         ParseNumber(fields[first + 3], identity.modified_seconds) &&
         ParseNumber(fields[first + 4], identity.modified_nanoseconds);
}

void AppendIdentity(std::string& out, const FileIdentity& identity) {
  AppendField(out, identity.device);
  AppendField(out, identity.inode);
  AppendField(out, identity.size);
  AppendField(out, identity.modified_seconds);
  AppendField(out, identity.modified_nanoseconds);
}

}  // namespace

JournalWriter::JournalWriter(std::string path, Failures failures)
    : path_(std::move(path)), failures_(failures) {
  try {
    fd_ = CreateBeside();
  } catch (const IoError& error) {
    Failed("create", error);
  }
  Append(kHeader);
}

JournalWriter::~JournalWriter() {
  try {
    if (fd_.valid()) Close();
  } catch (const IoError&) {
    // Told by Close where it matters; here the run has failed already.
  }
  if (!named_ && !temporary_path_.empty()) RemoveFile(temporary_path_);
}

void JournalWriter::Begin(const std::string& destination, const FileIdentity& identity,
                          bool created) {
  record_.assign("destination");
  AppendIdentity(record_, identity);
  AppendField(record_, created ? 1 : 0);
  record_ += '\t';
  AppendEscaped(record_, destination);
  record_ += '\n';
  Append(record_);
  TakeBegunName();
  begun_ = true;
}

void JournalWriter::RecordFile(std::string_view relative_path, int fd) {
  record_.assign("file");
  AppendIdentity(record_, IdentityOf(fd));
  record_ += '\t';
  AppendEscaped(record_, relative_path);
  record_ += '\n';
  Append(record_);
}

std::optional<RunJournal> ReadRunJournal(const std::string& path) {
  std::string text;
  try {
    text = ReadWholeFile(path, kMaxJournalBytes);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  // A run that ended without closing its journal leaves the unwritten room as zero bytes.
  if (const std::size_t end = text.find('\0'); end != std::string::npos) text.resize(end);
  if (!text.starts_with(kHeader)) return std::nullopt;
  RunJournal journal;
  bool begun = false;
  std::size_t start = kHeader.size();
  // Only whole lines count: a last one without its line end was cut short.
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::vector<std::string_view> fields =
        Fields(std::string_view(text).substr(start, end - start));
    if (fields[0] == "destination" && fields.size() == 8 && !begun) {
      int created = 0;
      std::optional<std::string> destination = Unescaped(fields[7]);
      if (!ParseIdentity(fields, 1, journal.destination_identity) ||
          !ParseNumber(fields[6], created) || !destination || destination->empty()) {
        return std::nullopt;
      }
      journal.destination = std::move(*destination);
      journal.destination_created = created == 1;
      begun = true;
    } else if (fields[0] == "file" && fields.size() == 7 && begun) {
      JournalFile file;
      std::optional<std::string> relative = Unescaped(fields[6]);
      if (!ParseIdentity(fields, 1, file.identity) || !relative || relative->empty()) {
        return std::nullopt;
      }
      file.path = std::move(*relative);
      journal.files.push_back(std::move(file));
    } else {
      return std::nullopt;
    }
  }
  // A run refused at its checks began nothing: its journal holds no files.
  return journal;
}

void JournalWriter::Append(std::string_view bytes) {
  if (!fd_.valid()) return;
  try {
    WriteAllTo(fd_.get(), bytes);
  } catch (const IoError& error) {
    Failed("write", error);
  }
}

void JournalWriter::TakeBegunName() {
  if (fd_.valid()) {
    try {
      Rename();
      named_ = true;
      return;
    } catch (const IoError& error) {
      Failed("rename", error);
    }
  }
  // Given up: an earlier run's journal at the path would stand for this run.
  RemoveFile(path_);
}

void JournalWriter::Close() {
  try {
    fd_.Close();
  } catch (const IoError& error) {
    Failed("write", error);
  }
}

void JournalWriter::Failed(std::string_view step, const std::exception& error) {
  std::string reason = "unable to ";
  reason.append(step).append(step == "rename" ? " the journal to " : " the journal ");
  reason.append(path_).append(": ").append(error.what());
  if (failures_ == Failures::EndTheRun) {
    // What the journal holds once it has its name stays, for an undo of what was made.
    if (!named_) Discard();
    reason[0] = 'U';
    throw IoError(reason);
  }
  if (failure_.empty()) failure_ = std::move(reason);
  Discard();
}

void JournalWriter::Discard() {
  if (named_) {
    if (fd_.valid()) {
      EmptyAndUnname();
    } else {
      RemoveFile(path_);
    }
  } else if (!temporary_path_.empty()) {
    RemoveFile(temporary_path_);
  }
  named_ = false;
  temporary_path_.clear();
  fd_.reset();
}

bool HoldsJournal(const std::string& path) {
  if (!IsFileEntry(path)) return false;
  constexpr std::string_view kAnyVersion = "quillon journal ";
  char start[kAnyVersion.size()];
  try {
    const UniqueFd file = OpenTextFile(path);
    return ReadAt(file.get(), 0, start, sizeof start) == sizeof start &&
           std::string_view(start, sizeof start) == kAnyVersion;
  } catch (const IoError&) {
    return false;
  }
}

std::string StateFolderPath() {
  const std::string base = UserStateFolder();
  return base.empty() ? base : JoinPath(base, "quillon");
}

std::string StateFolder() {
  const std::string folder = StateFolderPath();
  return !folder.empty() && ForceFolder(folder) ? folder : std::string();
}

std::string LastRunJournalPath() {
  const std::string folder = StateFolder();
  return folder.empty() ? folder : JoinPath(folder, "last-run.journal");
}

}  // namespace quillon
