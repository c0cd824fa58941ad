#include "util/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <random>

#include "util/DestinationFolder.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/Text.h"
#include "util/TextLineReader.h"
#include "util/UniqueFd.h"

namespace quillon {
namespace {

constexpr std::size_t kFillChunk = 8191;
constexpr char kCtrlZ = 26;

UniqueFd OpenOrThrow(const std::string& path, int flags, mode_t mode = 0666) {
  UniqueFd fd(open(path.c_str(), flags | O_CLOEXEC, mode));
  if (!fd.valid()) ThrowIoError(errno);
  return fd;
}

// Where a chain of links ends (the path itself when it is no link); a link to nothing leads to
// where its file would be.
std::string LinkTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(static_cast<std::size_t>(info.st_size) + 1, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size()) ThrowIoError(EIO);
    target.resize(static_cast<std::size_t>(length));
    path = IsAbsolutePath(target) ? target : JoinPath(FolderOfPath(path), target);
  }
  ThrowIoError(ELOOP);
}

// Birth time where the file system records one, else the last status change.
std::time_t CreationTime(const std::string& path) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_CTIME, &info) == 0) {
    if (info.stx_mask & STATX_BTIME) return static_cast<std::time_t>(info.stx_btime.tv_sec);
    return static_cast<std::time_t>(info.stx_ctime.tv_sec);
  }
  return 0;
}

std::string LocalDateTimeText(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[128];
  const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
  const std::size_t length = std::strftime(text, sizeof text, midnight ? "%x" : "%x %X", &local);
  return std::string(text, length);
}

// Writes the vectors whole, however many calls it takes: a short write is resumed at the very
// byte it stopped.
void WriteVectorsTo(int fd, iovec* vectors, int count) {
  std::size_t done = 0;  // bytes written of the vectors not yet passed over
  for (;;) {
    while (count > 0 && done >= vectors->iov_len) {
      done -= vectors->iov_len;
      ++vectors;
      --count;
    }
    if (count == 0) return;
    vectors->iov_base = static_cast<char*>(vectors->iov_base) + done;
    vectors->iov_len -= done;
    done = 0;
    const ssize_t written = writev(fd, vectors, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(errno);
    }
    // No progress on a regular file means it can take no more.
    if (written == 0) ThrowIoError(ENOSPC);
    done = static_cast<std::size_t>(written);
  }
}

}  // namespace

char GetPathKind(const std::string& path) {
  struct stat info {};
  if (path.empty() || stat(path.c_str(), &info) != 0) return 'n';
  return S_ISDIR(info.st_mode) ? 'd' : 'f';
}

bool IsFolder(const std::string& path) { return GetPathKind(path) == 'd'; }

bool IsWriteProtected(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return true;
  if (S_ISLNK(info.st_mode)) return false;  // a link has no permissions of its own
  return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(path.c_str(), W_OK) != 0;
}

bool IsExistingFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) return !S_ISDIR(info.st_mode);
  return lstat(path.c_str(), &info) == 0;
}

std::uint64_t FileSizeOf(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

std::uint64_t FolderSize(const std::string& folder) {
  std::string path = folder;
  StripTrailingBackslash(path);
  UniqueFd fd(open(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return 0;
  DIR* dir = fdopendir(fd.get());
  if (!dir) return 0;
  fd.release();  // the folder stream owns it now
  std::uint64_t total = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    // Links are counted as themselves, never followed into folders.
    if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      total += FolderSize(JoinPath(path, name));
    } else {
      total += static_cast<std::uint64_t>(info.st_size);
    }
  }
  closedir(dir);
  return total;
}

std::uint64_t PathSize(const std::string& path) {
  switch (GetPathKind(path)) {
    case 'f': return FileSizeOf(path);
    case 'd': return FolderSize(path);
    default: return 0;
  }
}

std::string PathDateText(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return {};
  return LocalDateTimeText(S_ISDIR(info.st_mode) ? CreationTime(path) : info.st_mtime);
}

bool VolumeFreeBytes(const std::string& path, std::uint64_t& free_bytes) {
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return false;
  free_bytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
  return true;
}

void StripTrailingBackslash(std::string& path) {
  if (!path.empty() && path.back() == kPathSeparator && !IsRootPath(path)) path.pop_back();
}

std::string ParentFolder(std::string_view path) {
  const std::size_t p = LastPos(std::string_view(&kPathSeparator, 1), path);
  if (p == 0) return std::string(path);
  if (p == 1) return std::string(1, kPathSeparator);
  return std::string(path.substr(0, p - 1));
}

bool ForceFolder(std::string path) {
  StripTrailingBackslash(path);
  if (GetPathKind(path) == 'd') return true;
  if (!IsAbsolutePath(path)) return false;
  const std::size_t p = LastPos(std::string_view(&kPathSeparator, 1), path);
  if (p == 0) return false;
  const std::string parent = p == 1 ? std::string(1, kPathSeparator) : path.substr(0, p - 1);
  if (parent.size() >= path.size()) return false;
  if (GetPathKind(parent) == 'd') return mkdir(path.c_str(), 0777) == 0 || IsFolder(path);
  return ForceFolder(parent) && ForceFolder(path);
}

bool FolderCouldBeForced(std::string path) {
  StripTrailingBackslash(path);
  const char kind = GetPathKind(path);
  if (kind == 'd') return true;
  if (kind != 'n' || !IsAbsolutePath(path)) return false;
  const std::size_t p = LastPos(std::string_view(&kPathSeparator, 1), path);
  if (p == 0) return false;
  const std::string parent = p == 1 ? std::string(1, kPathSeparator) : path.substr(0, p - 1);
  if (parent.size() >= path.size()) return false;
  if (GetPathKind(parent) == 'd') {
    return faccessat(AT_FDCWD, parent.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
  }
  return FolderCouldBeForced(parent);
}

bool RemoveFolder(std::string path) {
  StripTrailingBackslash(path);
  return rmdir(path.c_str()) == 0;
}

bool RemoveFile(const std::string& path) {
  return !path.empty() && IsExistingFile(path) && !IsWriteProtected(path) &&
         unlink(path.c_str()) == 0;
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
  UniqueFd fd = TextLineReader::OpenTextFile(path);
  if (!fd.valid()) {
    messages.ShowError("Can not read " + shown);
    return -1;
  }
  std::int32_t count = 0;
  TextLineReader reader(std::move(fd));
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

void WriteAllTo(int fd, std::string_view bytes) {
  iovec vector{const_cast<char*>(bytes.data()), bytes.size()};
  WriteVectorsTo(fd, &vector, 1);
}

void WriteFillBytes(int fd, std::int64_t count, unsigned char byte) {
  if (count <= 0) return;
  char chunk[kFillChunk];
  // Filled once, as far as it is used: a small file needs no more of it.
  std::memset(chunk, byte, static_cast<std::size_t>(std::min<std::int64_t>(count, kFillChunk)));
  // Every vector points at the one chunk, so a call hands the kernel up to IOV_MAX chunks.
  iovec vectors[IOV_MAX];
  for (std::uint64_t rest = static_cast<std::uint64_t>(count); rest > 0;) {
    int used = 0;
    for (; used < IOV_MAX && rest > 0; ++used) {
      const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(kFillChunk, rest));
      vectors[used] = {chunk, size};
      rest -= size;
    }
    WriteVectorsTo(fd, vectors, used);
  }
}

void WriteFillFile(const std::string& path, std::int64_t count, unsigned char byte) {
  UniqueFd file = OpenOrThrow(path, O_WRONLY | O_CREAT | O_TRUNC);
  WriteFillBytes(file.get(), count, byte);
  file.Close();
}

void FileOutput::Append(std::string_view bytes) {
  if (held_.size() + bytes.size() < kWriteSize) {
    held_.append(bytes);
    return;
  }
  // Enough for one write: what is held and the new bytes go together, neither copied.
  iovec vectors[2] = {{held_.data(), held_.size()},
                      {const_cast<char*>(bytes.data()), bytes.size()}};
  WriteVectorsTo(fd_, vectors, 2);
  held_.clear();
}

void FileOutput::Flush() {
  WriteAllTo(fd_, held_);
  held_.clear();
}

void AppendLine(const std::string& path, std::string_view text) {
  UniqueFd file = OpenOrThrow(path, O_WRONLY | O_APPEND);
  FileOutput output(file.get());
  output.Append(text);
  output.Append("\r\n");
  output.Flush();
  file.Close();
}

void AppendFileTextTo(FileOutput& output, const std::string& source) {
  UniqueFd text = TextLineReader::OpenTextFile(source);
  if (!text.valid()) ThrowIoError(errno);
  struct stat info {};
  if (fstat(text.get(), &info) != 0) ThrowIoError(errno);
  struct stat written {};
  if (fstat(output.fd(), &written) == 0 && written.st_dev == info.st_dev &&
      written.st_ino == info.st_ino) {
    // The text file is the file being written: it holds all that went before, as unbuffered.
    output.Flush();
    if (fstat(text.get(), &info) != 0) ThrowIoError(errno);
  }
  // Read no further than the size the file had when opened: the file being filled may be the
  // text file itself, and would otherwise feed on what is appended to it.
  std::uint64_t rest = static_cast<std::uint64_t>(info.st_size);
  char input[FileOutput::kWriteSize];
  bool line_open = false;  // bytes of a line written without its line end yet
  bool after_cr = false;   // a line feed right after a carriage return belongs to its end
  bool ended = false;      // Ctrl-Z ends the text
  while (rest > 0 && !ended) {
    const ssize_t got = read(text.get(), input, std::min<std::uint64_t>(sizeof input, rest));
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(errno);
    }
    if (got == 0) break;
    rest -= static_cast<std::uint64_t>(got);
    const char* at = input;
    const char* const end = input + got;
    while (at < end && !ended) {
      if (after_cr && *at == '\n') ++at;
      after_cr = false;
      const char* stop = at;
      while (stop < end && *stop != '\r' && *stop != '\n' && *stop != kCtrlZ) ++stop;
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
  UniqueFd file = OpenOrThrow(destination, O_WRONLY | O_APPEND);
  FileOutput output(file.get());
  AppendFileTextTo(output, source);
  output.Flush();
  file.Close();
}

void ReplaceFileAtomically(const std::string& path, std::string_view content) {
  // A link stays a link: what it leads to is replaced.
  const std::string target = LinkTarget(path);
  struct stat existing {};
  const bool exists = lstat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) ThrowIoError(errno);
  // Only a regular file the user may write is replaced, and it keeps its mode and owners.
  if (exists && (!S_ISREG(existing.st_mode) || IsWriteProtected(target))) {
    ThrowIoError(EACCES);
  }
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::string temporary =
      target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(random() % 1000000007);
  {
    // Readable by the user alone until it has the mode of the file it replaces.
    UniqueFd file = OpenOrThrow(temporary, O_WRONLY | O_CREAT | O_EXCL, exists ? 0600 : 0666);
    try {
      WriteAllTo(file.get(), content);
      if (exists) {
        // Not permitted unless privileged or already so: the file then stays the user's own.
        [[maybe_unused]] const int ignored = fchown(file.get(), existing.st_uid, existing.st_gid);
        if (fchmod(file.get(), existing.st_mode & 07777) != 0) ThrowIoError(errno);
      }
      if (fsync(file.get()) != 0) ThrowIoError(errno);
      file.Close();
    } catch (...) {
      unlink(temporary.c_str());
      throw;
    }
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    ThrowIoError(error);
  }
}

std::string ReadWholeFile(const std::string& path, std::size_t max_bytes) {
  UniqueFd file = TextLineReader::OpenTextFile(path);
  if (!file.valid()) ThrowIoError(errno);
  std::string content;
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t got = read(file.get(), chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(errno);
    }
    if (got == 0) break;
    if (content.size() + static_cast<std::size_t>(got) > max_bytes) ThrowIoError(EFBIG);
    content.append(chunk, static_cast<std::size_t>(got));
  }
  file.Close();
  return content;
}

}  // namespace quillon
