// The Windows side of open files: system handles, read and written with ReadFile and WriteFile.
#include <windows.h>

#include <algorithm>

#include "util/UniqueFd.h"
#include "util/WindowsHost.h"

namespace quillon {

void UniqueFd::reset(int fd) noexcept {
  if (fd_ >= 0 && fd_ != fd) CloseHandle(AsHandle(fd_));
  fd_ = fd;
}

void UniqueFd::Close() {
  const int fd = release();
  if (fd >= 0 && !CloseHandle(AsHandle(fd))) ThrowLastError();
}

UniqueFd OpenTextFile(const std::string& path) {
  UniqueFd file = CreateOrThrow(path, GENERIC_READ, OPEN_EXISTING);
  // A pipe would block, a device may never end.
  if (GetFileType(AsHandle(file.get())) != FILE_TYPE_DISK) ThrowIoError(ERROR_ACCESS_DENIED);
  return file;
}

UniqueFd OpenForAppending(const std::string& path) {
  // With the right to append alone, every write goes to the end of the file.
  return CreateOrThrow(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_EXISTING);
}

UniqueFd OpenForRewriting(const std::string& path) {
  return CreateOrThrow(path, GENERIC_WRITE, CREATE_ALWAYS);
}

std::size_t ReadAt(int fd, std::uint64_t offset, char* buffer, std::size_t size) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  if (!ReadFile(AsHandle(fd), buffer, wanted, &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    ThrowLastError();
  }
  return got;
}

std::uint64_t SizeOfOpenFile(int fd) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(AsHandle(fd), &size)) ThrowLastError();
  return static_cast<std::uint64_t>(size.QuadPart);
}

void WriteAllTo(int fd, std::string_view bytes) {
  const HANDLE handle = AsHandle(fd);
  DWORD mode;
  if (GetConsoleMode(handle, &mode)) {
    // A console shows its own code page: the ANSI text goes to it as the characters it means.
    const std::wstring text = Wide(bytes);
    for (std::size_t done = 0; done < text.size();) {
      DWORD written = 0;
      const DWORD part = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
      if (!WriteConsoleW(handle, text.data() + done, part, &written, nullptr)) ThrowLastError();
      done += written;
    }
    return;
  }
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD part = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(handle, bytes.data(), part, &written, nullptr)) ThrowLastError();
    bytes.remove_prefix(written);
  }
}

void WritePiecesTo(int fd, std::span<const std::string_view> pieces) {
  for (const std::string_view piece : pieces) WriteAllTo(fd, piece);
}

bool IsSameFile(int fd, int other_fd) {
  BY_HANDLE_FILE_INFORMATION info, other;
  return GetFileInformationByHandle(AsHandle(fd), &info) &&
         GetFileInformationByHandle(AsHandle(other_fd), &other) &&
         info.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         info.nFileIndexHigh == other.nFileIndexHigh && info.nFileIndexLow == other.nFileIndexLow;
}

}  // namespace quillon
