// The Windows side of the file-system routines: file attributes,
// find-first and find-next, CreateFile, and file times in local time. Paths are texts in the
// ANSI code page, handed to the system's "A" functions as they stand.
#include <windows.h>

#include <algorithm>
#include <random>

#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/Text.h"
#include "util/UniqueFd.h"
#include "util/WindowsHost.h"

namespace quillon {
namespace {

std::uint64_t SizeOf(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Find-first treats these as wildcards; no file name holds one.
bool HasWildcards(std::string_view path) {
  return path.find_first_of("*?<>\"") != std::string_view::npos;
}

// The entry a find-first search on the path gives, when it gives one.
bool FindEntry(const std::string& path, WIN32_FIND_DATAA& entry) {
  if (HasWildcards(path)) return false;
  const HANDLE find = FindFirstFileA(path.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

// Wide names inside, so that a subfolder whose name has no form in the ANSI code page is
// still counted.
std::uint64_t FolderSizeWide(const std::wstring& folder, const std::atomic<bool>* stop) {
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  std::uint64_t total = 0;
  do {
    if (stop && stop->load(std::memory_order_relaxed)) break;
    const std::wstring_view name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD attributes = entry.dwFileAttributes;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      total += SizeOf(entry.nFileSizeHigh, entry.nFileSizeLow);
    } else if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      // A junction or a link to a folder counts as itself, never followed.
      total += FolderSizeWide(folder + L"\\" + std::wstring(name), stop);
    }
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return total;
}

// The user's short date, a blank and the long time, the time left out at exactly midnight.
std::string LocalDateTimeText(const FILETIME& stamp) {
  SYSTEMTIME universal, local;
  // The zone's rule on that date, daylight saving time included.
  if (!FileTimeToSystemTime(&stamp, &universal) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return {};
  }
  char date[128], time[128];
  if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, sizeof date) ==
      0) {
    return {};
  }
  if (local.wHour == 0 && local.wMinute == 0 && local.wSecond == 0) return date;
  if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, sizeof time) == 0) return date;
  return std::string(date) + " " + time;
}

}  // namespace

char GetPathKind(const std::string& path) {
  if (path.empty()) return 'n';
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return 'n';
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? 'd' : 'f';
}

bool IsWriteProtected(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // The read-only attribute of a folder does not keep files out of it.
  return (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFile(const std::string& path) { return GetPathKind(path) == 'f'; }

std::uint64_t FileSizeOf(const std::string& path) {
  WIN32_FIND_DATAA entry;
  if (!FindEntry(path, entry) || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
  return SizeOf(entry.nFileSizeHigh, entry.nFileSizeLow);
}

std::uint64_t FolderSize(const std::string& folder, const std::atomic<bool>* stop) {
  std::string path = folder;
  StripTrailingBackslash(path);
  return FolderSizeWide(Wide(path), stop);
}

std::string PathDateText(const std::string& path) {
  const char kind = GetPathKind(path);
  if (kind == 'n') return {};
  WIN32_FIND_DATAA entry;
  if (FindEntry(path, entry)) {
    return LocalDateTimeText(kind == 'd' ? entry.ftCreationTime : entry.ftLastWriteTime);
  }
  // A drive root (and a path ending in a backslash) has no entry of its own to find: its
  // attributes hold the same times.
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
  return LocalDateTimeText(kind == 'd' ? data.ftCreationTime : data.ftLastWriteTime);
}

bool VolumeFreeBytes(const std::string& path, std::uint64_t& free_bytes) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(path.c_str(), &available, nullptr, nullptr)) return false;
  free_bytes = available.QuadPart;
  return true;
}

void StripTrailingBackslash(std::string& path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
}

std::string ParentFolder(std::string_view path) {
  const std::size_t p = LastPos("\\", path);
  if (p == 0) return std::string(path);
  // C:\a gives C:\, keeping the drive's backslash.
  if (p == 3) return std::string(path.substr(0, 3));
  return std::string(path.substr(0, p - 1));
}

// The drive (C:) must be there; a network name (\\server) or a relative path is not.
bool ForceFolderFrom(const std::string& path) { return GetPathKind(path.substr(0, 2)) == 'd'; }

bool ForceFolder(std::string path) {
  StripTrailingBackslash(path);
  if (GetPathKind(path) == 'd') return true;
  if (!ForceFolderFrom(path)) return false;
  const std::size_t p = LastPos("\\", path);
  if (p == 0) return false;
  const std::string parent = path.substr(0, p - 1);
  if (GetPathKind(parent) == 'd') return CreateDirectoryA(path.c_str(), nullptr) || IsFolder(path);
  return ForceFolder(parent) && ForceFolder(path);
}

std::size_t LongestNameIn(const std::string& /*folder*/) { return 255; }

// CreateDirectoryA leaves room for a file name of 8.3 characters within MAX_PATH.
std::size_t LongestFolderPath() { return MAX_PATH - 12 - 1; }

bool TemporaryFolderCanBeMadeIn(const std::string& folder) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string probe =
        JoinPath(folder, ".quillon-probe-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64() + static_cast<unsigned>(attempt)));
    if (CreateDirectoryA(probe.c_str(), nullptr)) {
      RemoveDirectoryA(probe.c_str());
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool RemoveFolder(std::string path) {
  StripTrailingBackslash(path);
  return RemoveDirectoryA(path.c_str());
}

bool RemoveFile(const std::string& path) {
  return !path.empty() && IsExistingFile(path) && !IsWriteProtected(path) &&
         DeleteFileA(path.c_str());
}

void ReplaceFileAtomically(const std::string& path, std::string_view content) {
  // A link stays a link: what it leads to is replaced.
  std::string target = path;
  const HANDLE existing = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (existing != INVALID_HANDLE_VALUE) {
    char final_path[MAX_PATH * 4];
    const DWORD length =
        GetFinalPathNameByHandleA(existing, final_path, sizeof final_path, VOLUME_NAME_DOS);
    const DWORD type = GetFileType(existing);
    CloseHandle(existing);
    if (type != FILE_TYPE_DISK) ThrowIoError(ERROR_ACCESS_DENIED);
    if (length > 0 && length < sizeof final_path) {
      target.assign(final_path, length);
      if (target.starts_with("\\\\?\\")) target.erase(0, 4);
    }
  } else if (const DWORD error = GetLastError();
             error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    ThrowIoError(static_cast<int>(error));
  }
  const DWORD attributes = GetFileAttributesA(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Only a file the user may write is replaced; it keeps its attributes and rights.
  if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    ThrowIoError(ERROR_ACCESS_DENIED);
  }
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::string temporary = target + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(random() % 1000000007);
  UniqueFd file = CreateOrThrow(temporary, GENERIC_WRITE, CREATE_NEW);
  try {
    WriteAllTo(file.get(), content);
    if (!FlushFileBuffers(AsHandle(file.get()))) ThrowLastError();
    file.Close();
    const bool replaced =
        exists ? ReplaceFileA(target.c_str(), temporary.c_str(), nullptr,
                              REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
               : MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    if (!replaced) ThrowLastError();
    // ReplaceFile keeps them on Windows; not every implementation of it does (Wine's).
    if (exists) SetFileAttributesA(target.c_str(), attributes);
  } catch (...) {
    DeleteFileA(temporary.c_str());
    throw;
  }
}

}  // namespace quillon
