#include "util/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "util/DestinationFolder.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/TextLineReader.h"
#include "util/UniqueFd.h"

namespace quillon {
namespace {

constexpr std::size_t kFillChunk = 8191;

}  // namespace

bool IsFolder(const std::string& path) { return GetPathKind(path) == 'd'; }

std::uint64_t PathSize(const std::string& path, const std::atomic<bool>* stop) {
  switch (GetPathKind(path)) {
    case 'f': return FileSizeOf(path);
    case 'd': return FolderSize(path, stop);
    default: return 0;
  }
}

bool FolderCouldBeForced(std::string path) {
  StripTrailingBackslash(path);
  const char kind = GetPathKind(path);
  if (kind == 'd') return true;
  if (kind != 'n' || !ForceFolderFrom(path) || path.size() > LongestFolderPath()) return false;
  // ForceFolder goes up to the nearest path that is there, then makes each level down again.
  std::vector<std::string> missing;  // the missing levels' names, the lowest first
  std::string base = path;
  while (GetPathKind(base) == 'n') {
    const std::string parent = ParentFolder(base);
    if (parent.size() >= base.size()) return false;
    missing.push_back(base.substr(parent.size() + (parent.back() == kPathSeparator ? 0 : 1)));
    base = parent;
  }
  if (GetPathKind(base) != 'd') return false;
  const std::size_t longest = LongestNameIn(base);
  std::size_t made = 0;  // levels made below base so far
  for (auto name = missing.rbegin(); name != missing.rend(); ++name) {
    if (name->empty() || *name == ".") continue;
    if (*name == "..") {
      if (made > 0) {
        --made;
      } else if (base = JoinPath(base, ".."); GetPathKind(base) != 'd') {
        return false;
      }
      continue;
    }
    if (name->size() > longest) return false;
    if (made == 0) {
      // Back beside folders that are there, after a climb.
      const std::string at = JoinPath(base, *name);
      if (GetPathKind(at) == 'd') {
        base = at;
        continue;
      }
      // A file, or a link to nothing, holds the name.
      if (IsExistingFile(at) || !TemporaryFolderCanBeMadeIn(base)) return false;
    }
    ++made;
  }
  return true;
}

bool CreateEmptyFile(const std::string& path) {
  CreatedFile file = CreatedFile::Create(path);
  if (file.outcome() != CreateOutcome::Created) return false;
  try {
    file.Close();
  } catch (const IoError&) {
    return false;
  }
  return true;
}

std::int32_t CountLines(const std::string& path, MessageHost& messages, std::string_view shown_as,
                        std::function<bool()> stop) {
  const std::string shown(shown_as.empty() ? std::string_view(path) : shown_as);
  if (GetPathKind(path) != 'f') return -1;
  UniqueFd file;
  try {
    file = OpenTextFile(path);
  } catch (const IoError&) {
    messages.ShowError("Can not read " + shown);
    return -1;
  }
  std::int32_t count = 0;
  try {
    TextLineReader reader(std::move(file));
    reader.StopWhen(std::move(stop));
    // More lines than the count can hold count as its largest value. No line is held, so a
    // file without line ends takes no memory.
    do {
      reader.SkipLine();
      ++count;
    } while (!reader.Stopped() && !reader.AtEnd() && count < INT32_MAX);
    try {
      reader.Close();
    } catch (const IoError&) {
      messages.ShowError("Rare error: can not close " + shown);
    }
  } catch (const IoError&) {
    // A failing read is told as a failing open is; the run then fails when it reads.
    messages.ShowError("Can not read " + shown);
    return -1;
  }
  return count;
}

void WriteFillBytes(int fd, std::int64_t count, unsigned char byte) {
  if (count <= 0) return;
  const auto total = static_cast<std::uint64_t>(count);
  char chunk[kFillChunk];
  // Filled once, as far as it is used: a small file needs no more of it.
  std::memset(chunk, byte, static_cast<std::size_t>(std::min<std::uint64_t>(total, kFillChunk)));
  // Every piece is the one chunk, so a call can hand the host many chunks at once. No more
  // pieces are made than the file needs: a small file, the most common, makes one.
  const std::uint64_t chunks = (total + kFillChunk - 1) / kFillChunk;
  std::vector<std::string_view> pieces(
      static_cast<std::size_t>(std::min<std::uint64_t>(chunks, kMostPiecesPerWrite)));
  for (std::uint64_t rest = total; rest > 0;) {
    std::size_t used = 0;
    for (; used < pieces.size() && rest > 0; ++used) {
      const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(kFillChunk, rest));
      pieces[used] = std::string_view(chunk, size);
      rest -= size;
    }
    WritePiecesTo(fd, std::span(pieces.data(), used));
  }
}

void WriteFillFile(const std::string& path, std::int64_t count, unsigned char byte) {
  UniqueFd file = OpenForRewriting(path);
  WriteFillBytes(file.get(), count, byte);
  file.Close();
}

void FileOutput::Append(std::string_view bytes) {
  if (held_.size() + bytes.size() < kWriteSize) {
    held_.append(bytes);
    return;
  }
  // Enough for one write: what is held and the new bytes go together, neither copied.
  const std::string_view pieces[2] = {held_, bytes};
  WritePiecesTo(fd_, pieces);
  held_.clear();
}

void FileOutput::Flush() {
  WriteAllTo(fd_, held_);
  held_.clear();
}

void AppendLine(const std::string& path, std::string_view text) {
  UniqueFd file = OpenForAppending(path);
  FileOutput output(file.get());
  output.Append(text);
  output.Append("\r\n");
  output.Flush();
  file.Close();
}

namespace {

class TextPieces : public TextLineReader::Pieces {
 public:
  TextPieces(FileOutput& output, const std::string& source) : output_(output), source_(source) {}
  void Append(std::string_view piece) override { output_.Append(piece); }
  void CannotHold(char32_t character) override {
    throw IoError("Unable to read " + source_ + ": " + UnheldCharacterText(character));
  }

 private:
  FileOutput& output_;
  const std::string& source_;
};

}  // namespace

void AppendFileTextTo(FileOutput& output, const std::string& source) {
  UniqueFd text = OpenTextFile(source);
  if (IsSameFile(text.get(), output.fd())) {
    // The text file is the file being written: it holds all that went before, as unbuffered.
    output.Flush();
  }
  // Read no further than the size the file had when opened: the file being filled may be the
  // text file itself, and would otherwise feed on what is appended to it.
  const std::uint64_t size = SizeOfOpenFile(text.get());
  TextLineReader reader(std::move(text), size);
  TextPieces pieces(output, source);
  while (!reader.AtEnd()) {
    reader.ReadLine(pieces);
    output.Append("\r\n");
  }
  reader.Close();
  // Each line with its line end, then one more.
  output.Append("\r\n");
}

void AppendFileText(const std::string& destination, const std::string& source) {
  UniqueFd file = OpenForAppending(destination);
  FileOutput output(file.get());
  AppendFileTextTo(output, source);
  output.Flush();
  file.Close();
}

std::string ReadWholeFile(const std::string& path, std::size_t max_bytes) {
  UniqueFd file = OpenTextFile(path);
  std::string content;
  char chunk[64 * 1024];
  for (;;) {
    const std::size_t got = ReadAt(file.get(), content.size(), chunk, sizeof chunk);
    if (got == 0) break;
    if (content.size() + got > max_bytes) ThrowIoError(FileFailure::TooLarge);
    content.append(chunk, got);
  }
  file.Close();
  return content;
}

}  // namespace quillon
