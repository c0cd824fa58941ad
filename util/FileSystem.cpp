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
constexpr char kCtrlZ = 26;

bool EndsLine(char c) { return c == '\r' || (kLineFeedEndsLine && c == '\n'); }

}  // namespace

bool IsFolder(const std::string& path) { return GetPathKind(path) == 'd'; }

std::uint64_t PathSize(const std::string& path, const std::atomic<bool>* stop) {
  switch (GetPathKind(path)) {
    case 'f': return FileSizeOf(path);
    case 'd': return FolderSize(path, stop);
    default: return 0;
  }
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

std::int32_t CountLines(const std::string& path, MessageHost& messages, std::string_view shown_as) {
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
  TextLineReader reader(std::move(file));
  try {
    // More lines than the count can hold count as its largest value. No line is held, so a
    // file without line ends takes no memory.
    do {
      reader.SkipLine();
      ++count;
    } while (!reader.AtEnd() && count < INT32_MAX);
  } catch (const IoError&) {
    // A failing read is told as a failing open is; the run then fails when it reads.
    messages.ShowError("Can not read " + shown);
    return -1;
  }
  try {
    reader.Close();
  } catch (const IoError&) {
    messages.ShowError("Rare error: can not close " + shown);
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

void AppendFileTextTo(FileOutput& output, const std::string& source) {
  UniqueFd text = OpenTextFile(source);
  if (IsSameFile(text.get(), output.fd())) {
    // The text file is the file being written: it holds all that went before, as unbuffered.
    output.Flush();
  }
  // Read no further than the size the file had when opened: the file being filled may be the
  // text file itself, and would otherwise feed on what is appended to it.
  const std::uint64_t size = SizeOfOpenFile(text.get());
  std::uint64_t offset = 0;
  char input[FileOutput::kWriteSize];
  bool line_open = false;  // bytes of a line written without its line end yet
  bool after_cr = false;   // a line feed right after a carriage return belongs to its end
  bool ended = false;      // Ctrl-Z ends the text
  while (offset < size && !ended) {
    const std::size_t got =
        ReadAt(text.get(), offset, input, std::min<std::uint64_t>(sizeof input, size - offset));
    if (got == 0) break;
    offset += got;
    const char* at = input;
    const char* const end = input + got;
    while (at < end && !ended) {
      if (after_cr && *at == '\n') ++at;
      after_cr = false;
      const char* stop = at;
      while (stop < end && !EndsLine(*stop) && *stop != kCtrlZ) ++stop;
      output.Append(std::string_view(at, static_cast<std::size_t>(stop - at)));
      line_open = line_open || stop > at;
      if (stop == end) break;
      if (*stop == kCtrlZ) {
        ended = true;
      } else {
        output.Append("\r\n");
        line_open = false;
        after_cr = *stop == '\r';
      }
      at = stop + 1;
    }
  }
  text.Close();
  // Each line with its line end, then one more.
  output.Append(line_open ? "\r\n\r\n" : "\r\n");
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
