// The Windows side of open files: system handles, read and written with ReadFile and WriteFile.
#include <aclapi.h>
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

namespace {

// Whether the SID is this user's own or one that stands above every user of the machine.
bool IsOwnOrSystem(PSID sid, PSID user) {
  if (EqualSid(sid, user)) return true;
  for (const WELL_KNOWN_SID_TYPE kind : {WinLocalSystemSid, WinBuiltinAdministratorsSid,
                                         WinCreatorOwnerSid, WinCreatorOwnerRightsSid}) {
    if (IsWellKnownSid(sid, kind)) return true;
  }
  return false;
}

}  // namespace

FileKeeper KeeperOf(int fd) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = GetSecurityInfo(AsHandle(fd), SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      &owner, nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) ThrowIoError(static_cast<int>(error));
  HANDLE token = nullptr;
  alignas(TOKEN_USER) char user_buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD user_size = 0;
  const bool user_known =
      OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
      GetTokenInformation(token, TokenUser, user_buffer, sizeof user_buffer, &user_size);
  if (token) CloseHandle(token);
  FileKeeper keeper = FileKeeper::OwnAlone;
  const PSID user = reinterpret_cast<TOKEN_USER*>(user_buffer)->User.Sid;
  // A file an elevated administrator made belongs to the administrators.
  BOOL administrator = FALSE;
  if (!user_known || !(EqualSid(owner, user) ||
                       (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) &&
                        CheckTokenMembership(nullptr, owner, &administrator) && administrator))) {
    keeper = FileKeeper::OtherOwner;
  } else if (!dacl) {
    keeper = FileKeeper::OthersMayWrite;  // no list of rights: everyone has them all
  } else {
    constexpr ACCESS_MASK kWriting =
        FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL | WRITE_DAC | WRITE_OWNER;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      void* entry = nullptr;
      if (!GetAce(dacl, i, &entry)) continue;
      const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
      if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
          (allowed->Header.AceFlags & INHERIT_ONLY_ACE) || !(allowed->Mask & kWriting)) {
        continue;
      }
      if (!IsOwnOrSystem(const_cast<DWORD*>(&allowed->SidStart), user)) {
        keeper = FileKeeper::OthersMayWrite;
        break;
      }
    }
  }
  LocalFree(descriptor);
  return keeper;
}

bool IsSameFile(int fd, int other_fd) {
  BY_HANDLE_FILE_INFORMATION info, other;
  return GetFileInformationByHandle(AsHandle(fd), &info) &&
         GetFileInformationByHandle(AsHandle(other_fd), &other) &&
         info.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         info.nFileIndexHigh == other.nFileIndexHigh && info.nFileIndexLow == other.nFileIndexLow;
}

}  // namespace quillon
