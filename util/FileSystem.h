// File-system queries and changes. Routines that give a flag never throw; readers and writers
// throw IoError with the user's text.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "util/MessageHost.h"
#include "util/UniqueFd.h"

namespace quillon {

// 'n' nothing there, 'd' a folder, 'f' a file (symbolic links followed).
char GetPathKind(const std::string& path);
bool IsFolder(const std::string& path);
// A file without write permission is protected, as a read-only file is on Windows: also from
// the superuser, whom the permissions alone would not stop. A missing path counts as protected.
bool IsWriteProtected(const std::string& path);
// An existing entry that is not a folder (a dangling symbolic link counts as a file).
bool IsExistingFile(const std::string& path);

std::uint64_t FileSizeOf(const std::string& path);
// Every entry counted, hidden ones included; symbolic links are never followed into folders.
// The walk looks at stop (when given) before each entry and ends early once it is set, so a
// caller that no longer wants the size does not wait for it; the sum is then incomplete.
std::uint64_t FolderSize(const std::string& folder, const std::atomic<bool>* stop = nullptr);
std::uint64_t PathSize(const std::string& path, const std::atomic<bool>* stop = nullptr);

// Local date and time of a folder's creation (birth, else status change) or a file's last
// write, in the locale's short date and long time; the time is left out at midnight.
std::string PathDateText(const std::string& path);

// Free bytes of the volume holding the path, or nothing when it cannot be asked.
bool VolumeFreeBytes(const std::string& path, std::uint64_t& free_bytes);

void StripTrailingBackslash(std::string& path);
std::string ParentFolder(std::string_view path);

bool ForceFolder(std::string path);
bool RemoveFolder(std::string path);
// Whether ForceFolder would make the folder, leaving nothing made: each missing level is met
// as ForceFolder meets it (a link to nothing or a file in the way, a name too long), and a
// temporary folder, removed at once, is made where the first one would be.
bool FolderCouldBeForced(std::string path);
// The host's parts of those two: whether a path can be forced at all (absolute; on Windows
// on a drive that is there), the limits of names and folder paths, and the trial folder.
bool ForceFolderFrom(const std::string& path);
std::size_t LongestNameIn(const std::string& folder);
std::size_t LongestFolderPath();
bool TemporaryFolderCanBeMadeIn(const std::string& folder);
// Deletes a file for good, as Windows deletes one: never a folder, never a write-protected
// file. False when nothing was removed (also for an empty path).
bool RemoveFile(const std::string& path);

// False at once for an existing file; otherwise creates it empty and closes it.
bool CreateEmptyFile(const std::string& path);

// Number of lines under the text-line rules (as TextLineReader reads them); -1 for a missing or
// unreadable file (the latter after the error box "Can not read " + the path as shown_as gives
// it, or as it stands). Once stop, asked between reads within a line, answers true, the lines
// begun so far.
std::int32_t CountLines(const std::string& path, MessageHost& messages,
                        std::string_view shown_as = {}, std::function<bool()> stop = {});

// Writes count fill bytes in chunks of at most 8191 bytes, all from one buffer, handing the
// host many chunks per call; a count of 0 or less writes nothing.
void WriteFillBytes(int fd, std::int64_t count, unsigned char byte);
void WriteFillFile(const std::string& path, std::int64_t count, unsigned char byte);

// What is written to an open file, handed to the kernel in writes of at least 64 KiB (but the
// last), so small pieces cost no call each and large ones are not copied. Throws IoError.
class FileOutput {
 public:
  static constexpr std::size_t kWriteSize = 64 * 1024;

  explicit FileOutput(int fd) : fd_(fd) {}
  FileOutput(const FileOutput&) = delete;
  FileOutput& operator=(const FileOutput&) = delete;

  int fd() const { return fd_; }
  void Append(std::string_view bytes);
  // Writes what is held; call it before the file is closed.
  void Flush();

 private:
  int fd_;
  std::string held_;
};

// The text and CR LF.
void AppendLine(const std::string& path, std::string_view text);

// Each line of the source (as TextLineReader reads it) with CR LF, then one more CR LF. A
// character the host's texts cannot hold throws IoError naming it.
void AppendFileTextTo(FileOutput& output, const std::string& source);
void AppendFileText(const std::string& destination, const std::string& source);

// Writes content to a temporary file beside path, syncs it and renames it over path, so the
// file is always either the old or the new version. A link stays a link and its target is
// replaced; a file keeps its mode (and owners where permitted). Throws IoError, also for a path
// that is no regular file or that the user may not write, which then stays as it is.
void ReplaceFileAtomically(const std::string& path, std::string_view content);

// The whole content of a regular file (a link to one is followed), opened without waiting on
// a pipe; throws IoError for anything else and for a file larger than max_bytes.
std::string ReadWholeFile(const std::string& path, std::size_t max_bytes);

}  // namespace quillon
