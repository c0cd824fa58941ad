#include "util/RunJournal.h"

#include <algorithm>
#include <charconv>

#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/UniqueFd.h"

namespace quillon {
namespace {

constexpr std::string_view kHeaderStart = "quillon journal ";
constexpr int kVersion = 2;
constexpr std::string_view kHeader = "quillon journal 2\n";
// A file's record: a run's paths are at most 127 characters, each byte written as at most 3,
// and its numbers at most 21 characters each. The destination's record holds any path.
constexpr std::size_t kMostFileRecordBytes = 1024;
constexpr std::size_t kMostDestinationRecordBytes = 64 * 1024;
// A run makes at most one file a line, and counts its lines in 32 bits.
constexpr std::uint64_t kMostFiles = 0x7FFFFFFF;
// The room a writer takes ahead of its records, left as zero bytes by a run that was killed.
constexpr std::uint64_t kMostUnwrittenRoom = 256 * 1024;
constexpr std::uint64_t kMostJournalBytes = kHeader.size() + kMostDestinationRecordBytes +
                                            kMostFiles * kMostFileRecordBytes + kMostUnwrittenRoom;
constexpr std::size_t kFileFields = 13;
constexpr std::size_t kDestinationFields = 15;

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
  unsigned known = 0;
  const bool parsed = ParseNumber(fields[first], identity.device) &&
                      ParseNumber(fields[first + 1], identity.inode) &&
                      ParseNumber(fields[first + 2], identity.size) &&
                      ParseNumber(fields[first + 3], identity.modified_seconds) &&
                      ParseNumber(fields[first + 4], identity.modified_nanoseconds) &&
                      ParseNumber(fields[first + 5], known) && known < 8 &&
                      ParseNumber(fields[first + 6], identity.generation) &&
                      ParseNumber(fields[first + 7], identity.birth_seconds) &&
                      ParseNumber(fields[first + 8], identity.birth_nanoseconds) &&
                      ParseNumber(fields[first + 9], identity.changed_seconds) &&
                      ParseNumber(fields[first + 10], identity.changed_nanoseconds);
  identity.generation_known = (known & 1) != 0;
  identity.birth_known = (known & 2) != 0;
  identity.changed_known = (known & 4) != 0;
  return parsed;
}

void AppendIdentity(std::string& out, const FileIdentity& identity) {
  AppendField(out, identity.device);
  AppendField(out, identity.inode);
  AppendField(out, identity.size);
  AppendField(out, identity.modified_seconds);
  AppendField(out, identity.modified_nanoseconds);
  AppendField(out, (identity.generation_known ? 1 : 0) | (identity.birth_known ? 2 : 0) |
                       (identity.changed_known ? 4 : 0));
  AppendField(out, identity.generation);
  AppendField(out, identity.birth_seconds);
  AppendField(out, identity.birth_nanoseconds);
  AppendField(out, identity.changed_seconds);
  AppendField(out, identity.changed_nanoseconds);
}

// A path the run could have made beneath its destination: relative, "/"-separated, no
// component empty or ".", and no ".." above the destination or at its end.
bool LiesBeneath(std::string_view path) {
  if (path.find_first_of("\\:") != std::string_view::npos) return false;
  int depth = 0;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string_view component = path.substr(start, end - start);
    if (component.empty() || component == ".") return false;
    depth += component == ".." ? -1 : 1;
    if (depth < 0) return false;
    if (end == path.size()) return component != "..";
    start = end + 1;
  }
}

// Reads a journal's records, block by block, telling where it is damaged.
class JournalReader {
 public:
  JournalReader(const std::string& path, UniqueFd file, std::uint64_t size)
      : path_(path), file_(std::move(file)), size_(size) {}

  std::optional<RunJournal> Read(std::string* refusal);

 private:
  // Takes a record; false when it is no record of a journal.
  bool Take(std::string_view line);
  // The next block; false at the file's end.
  bool NextBlock();
  std::optional<RunJournal> Refused(std::string* refusal, std::string text) {
    if (refusal) *refusal = std::move(text);
    return std::nullopt;
  }
  std::optional<RunJournal> Damaged(std::string* refusal, std::uint64_t at) {
    return Refused(refusal, path_ + " is damaged at byte " + std::to_string(at) + ".");
  }
  std::optional<RunJournal> NotAJournal(std::string* refusal) {
    return Refused(refusal, path_ + " is not a journal of a run.");
  }

  std::string path_;
  UniqueFd file_;
  std::uint64_t size_;
  std::vector<char> block_ = std::vector<char>(64 * 1024);
  std::size_t block_used_ = 0;
  std::uint64_t block_start_ = 0;
  RunJournal journal_;
  bool begun_ = false;
};

bool JournalReader::NextBlock() {
  block_start_ += block_used_;
  block_used_ = ReadAt(file_.get(), block_start_, block_.data(), block_.size());
  return block_used_ != 0;
}

bool JournalReader::Take(std::string_view line) {
  const std::vector<std::string_view> fields = Fields(line);
  if (fields[0] == "destination" && fields.size() == kDestinationFields && !begun_) {
    int created = 0;
    std::optional<std::string> destination = Unescaped(fields[14]);
    if (!ParseIdentity(fields, 1, journal_.destination_identity) ||
        !ParseNumber(fields[12], created) || created > 1 || created < 0 ||
        !ParseNumber(fields[13], journal_.started_seconds) || !destination ||
        destination->empty()) {
      return false;
    }
    journal_.destination = std::move(*destination);
    journal_.destination_created = created == 1;
    begun_ = true;
    return true;
  }
  if (fields[0] != "file" || fields.size() != kFileFields || !begun_ ||
      line.size() > kMostFileRecordBytes || journal_.files.size() == kMostFiles) {
    return false;
  }
  JournalFile file;
  std::optional<std::string> relative = Unescaped(fields[12]);
  if (!ParseIdentity(fields, 1, file.identity) || !relative || !LiesBeneath(*relative)) {
    return false;
  }
  file.path = std::move(*relative);
  journal_.files.push_back(std::move(file));
  return true;
}

std::optional<RunJournal> JournalReader::Read(std::string* refusal) {
  if (size_ > kMostJournalBytes) return Damaged(refusal, kMostJournalBytes);
  std::string line;
  std::uint64_t line_start = 0;
  bool header_read = false;
  while (NextBlock()) {
    const std::string_view block(block_.data(), block_used_);
    for (std::size_t at = 0; at < block.size();) {
      const std::size_t end = block.find_first_of(std::string_view("\n\0", 2), at);
      line.append(block.substr(at, std::min(end, block.size()) - at));
      if (line.size() > (header_read ? kMostDestinationRecordBytes : kHeader.size())) {
        return header_read ? Damaged(refusal, line_start) : NotAJournal(refusal);
      }
      if (end == std::string_view::npos) break;
      const std::uint64_t offset = block_start_ + end;
      if (block[end] == '\0') {
        if (!header_read) return NotAJournal(refusal);
        // The room a killed run left: zero bytes, and no more of them than a writer takes.
        if (size_ - offset > kMostUnwrittenRoom) return Damaged(refusal, offset);
        for (std::size_t zero = end; zero < block.size(); ++zero) {
          if (block[zero] != '\0') return Damaged(refusal, offset);
        }
        while (NextBlock()) {
          if (std::string_view(block_.data(), block_used_).find_first_not_of('\0') !=
              std::string_view::npos) {
            return Damaged(refusal, offset);
          }
        }
        // A record cut short before the room is left out: the run was killed writing it.
        return std::move(journal_);
      }
      if (!header_read) {
        line += '\n';
        if (line != kHeader) {
          int version = 0;
          const bool older =
              line.starts_with(kHeaderStart) &&
              ParseNumber(std::string_view(line).substr(kHeaderStart.size(),
                                                        line.size() - kHeaderStart.size() - 1),
                          version) &&
              version < kVersion;
          if (!older) return NotAJournal(refusal);
          return Refused(refusal, path_ +
                                      " is the journal of an older version of Quillon and "
                                      "cannot be undone.");
        }
        header_read = true;
      } else if (!Take(line)) {
        return Damaged(refusal, line_start);
      }
      line.clear();
      line_start = offset + 1;
      at = end + 1;
    }
  }
  if (!header_read) return NotAJournal(refusal);
  // Only whole lines count: a last one without its line end was cut short.
  return std::move(journal_);
}

}  // namespace

JournalWriter::JournalWriter(const std::string& path, const std::string& begun_path)
    : fd_(CreateJournalFile(path)), path_(path), begun_path_(begun_path) {
  Append(kHeader);
}

JournalWriter::~JournalWriter() {
  try {
    if (fd_.valid()) Close();
  } catch (const IoError&) {
    // Told by Close where it matters; here the run has failed already.
  }
  if (!begun_path_.empty() && !begun_) RemoveFile(path_);
}

void JournalWriter::Begin(const std::string& destination, const FileIdentity& identity,
                          bool created) {
  record_.assign("destination");
  AppendIdentity(record_, identity);
  AppendField(record_, created ? 1 : 0);
  AppendField(record_, FileClockSeconds());
  record_ += '\t';
  AppendEscaped(record_, destination);
  record_ += '\n';
  Append(record_);
  if (!begun_path_.empty()) TakeBegunName();
  begun_ = true;
}

void JournalWriter::RecordFile(std::string_view relative_path, int fd) {
  record_.assign("file");
  AppendIdentity(record_, IdentityToKeep(fd));
  record_ += '\t';
  AppendEscaped(record_, relative_path);
  record_ += '\n';
  Append(record_);
}

std::optional<RunJournal> ReadRunJournal(const std::string& path, std::string* refusal) {
  try {
    UniqueFd file = OpenTextFile(path);
    switch (KeeperOf(file.get())) {
      case FileKeeper::OwnAlone: break;
      case FileKeeper::OtherOwner:
        if (refusal) *refusal = path + " belongs to another user and is not undone.";
        return std::nullopt;
      case FileKeeper::OthersMayWrite:
        if (refusal) *refusal = path + " may be written by other users and is not undone.";
        return std::nullopt;
    }
    const std::uint64_t size = SizeOfOpenFile(file.get());
    return JournalReader(path, std::move(file), size).Read(refusal);
  } catch (const IoError&) {
    if (refusal) *refusal = path + " is not a journal of a run.";
    return std::nullopt;
  }
}

std::string StateFolder() {
  const std::string base = UserStateFolder();
  if (base.empty()) return {};
  const std::string folder = JoinPath(base, "quillon");
  return ForceFolder(folder) ? folder : std::string();
}

std::string LastRunJournalPath() {
  const std::string folder = StateFolder();
  return folder.empty() ? folder : JoinPath(folder, "last-run.journal");
}

}  // namespace quillon
