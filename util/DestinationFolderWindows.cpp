// The Windows side of creating a run's files: folders held by handle, and each name opened
// relative to the handle of its folder (NtCreateFile), so no path is looked up twice.
#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <optional>

#include "util/DestinationFolder.h"
#include "util/FileSystem.h"
#include "util/WindowsHost.h"

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE folder, HANDLE event, PVOID apc_routine,
                                               PVOID apc_context, PIO_STATUS_BLOCK io, PVOID buffer,
                                               ULONG length,
                                               FILE_INFORMATION_CLASS information_class,
                                               BOOLEAN single_entry, PUNICODE_STRING file_name,
                                               BOOLEAN restart_scan);

namespace quillon {
namespace {

constexpr ULONG kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr auto kFileIdBothDirectoryInformation = static_cast<FILE_INFORMATION_CLASS>(37);
constexpr auto kStatusObjectNameInvalid = static_cast<NTSTATUS>(0xC0000033L);
constexpr auto kStatusObjectNameCollision = static_cast<NTSTATUS>(0xC0000035L);
constexpr auto kStatusNoSuchFile = static_cast<NTSTATUS>(0xC000000FL);
constexpr auto kStatusObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034L);
constexpr auto kStatusObjectPathNotFound = static_cast<NTSTATUS>(0xC000003AL);
constexpr auto kStatusAccessDenied = static_cast<NTSTATUS>(0xC0000022L);
constexpr auto kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BAL);

bool IsNotFound(NTSTATUS status) {
  return status == kStatusNoSuchFile || status == kStatusObjectNameNotFound ||
         status == kStatusObjectPathNotFound;
}

int ErrorOf(NTSTATUS status) { return static_cast<int>(RtlNtStatusToDosError(status)); }

// Opens the name beneath the folder's handle, never following a reparse point at the name
// itself. An empty name opens the folder once more.
NTSTATUS OpenBeneath(int folder, const std::string& name, ACCESS_MASK access, ULONG disposition,
                     ULONG options, UniqueFd& opened, ULONG share = kShareAll) {
  std::wstring wide = Wide(name);
  if (wide.size() > 32767) return kStatusObjectNameInvalid;
  const auto bytes = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
  UNICODE_STRING text{bytes, bytes, wide.data()};
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, AsHandle(folder), nullptr);
  IO_STATUS_BLOCK io;
  HANDLE handle = nullptr;
  const NTSTATUS status = NtCreateFile(
      &handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
      disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  if (NT_SUCCESS(status)) {
    opened.reset(AsFd(handle));
  } else {
    SetLastError(static_cast<DWORD>(ErrorOf(status)));
  }
  return status;
}

// A name's entry in its folder, as the folder's listing shows it: its attributes and the
// number of its file on the volume.
struct Listed {
  DWORD attributes = 0;
  std::int64_t file_id = 0;
};

// The name's entry. A listing follows nothing, and it is where Wine shows a symbolic link of
// its host as a reparse point.
NTSTATUS FindListed(int folder, const std::string& name, Listed& listed) {
  // A listing takes these as wildcards, and no file name holds one; a colon names a stream.
  if (name.empty() || name.find_first_of("*?<>\":") != std::string::npos) {
    return kStatusObjectNameInvalid;
  }
  // A handle of its own: a folder's handle keeps the first name it was asked to list.
  UniqueFd listing;
  const NTSTATUS opened =
      OpenBeneath(folder, "", FILE_LIST_DIRECTORY, FILE_OPEN, FILE_DIRECTORY_FILE, listing);
  if (!NT_SUCCESS(opened)) return opened;
  std::wstring wide = Wide(name);
  const auto bytes = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
  UNICODE_STRING mask{bytes, bytes, wide.data()};
  alignas(8) char buffer[sizeof(FILE_ID_BOTH_DIR_INFO) + 1024];
  IO_STATUS_BLOCK io;
  const NTSTATUS status =
      NtQueryDirectoryFile(AsHandle(listing.get()), nullptr, nullptr, nullptr, &io, buffer,
                           sizeof buffer, kFileIdBothDirectoryInformation, TRUE, &mask, TRUE);
  if (!NT_SUCCESS(status)) {
    SetLastError(static_cast<DWORD>(ErrorOf(status)));
    return status;
  }
  const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer);
  listed = {info->FileAttributes, info->FileId.QuadPart};
  return status;
}

bool IsOwnFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::uint64_t Joined(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Seconds and nanoseconds of a file time, in 100-nanosecond steps since 1601.
void SplitTime(std::uint64_t time, std::int64_t& seconds, std::int64_t& nanoseconds) {
  seconds = static_cast<std::int64_t>(time / 10'000'000);
  nanoseconds = static_cast<std::int64_t>(time % 10'000'000 * 100);
}

// The open file's identity: none when the system cannot tell it. The creation time is its
// birth; the volume gives no generation, and the file index of NTFS holds a sequence number
// of its own that changes when the record is used again.
std::optional<FileIdentity> IdentityOfHandle(int fd) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(AsHandle(fd), &info)) return std::nullopt;
  FileIdentity identity{info.dwVolumeSerialNumber, Joined(info.nFileIndexHigh, info.nFileIndexLow),
                        static_cast<std::int64_t>(Joined(info.nFileSizeHigh, info.nFileSizeLow))};
  SplitTime(Joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime),
            identity.modified_seconds, identity.modified_nanoseconds);
  identity.birth_known = true;
  SplitTime(Joined(info.ftCreationTime.dwHighDateTime, info.ftCreationTime.dwLowDateTime),
            identity.birth_seconds, identity.birth_nanoseconds);
  return identity;
}

// The number of the open file on its volume, as a folder's listing gives it.
std::optional<std::int64_t> FileIdOf(int fd) {
  const std::optional<FileIdentity> identity = IdentityOfHandle(fd);
  if (!identity) return std::nullopt;
  return static_cast<std::int64_t>(identity->inode);
}

// Whether the open file is a folder of its own, or a file, and no reparse point.
bool IsPlain(int fd, bool folder) {
  FILE_ATTRIBUTE_TAG_INFO tag;
  return GetFileInformationByHandleEx(AsHandle(fd), FileAttributeTagInfo, &tag, sizeof tag) &&
         !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folder;
}

// Deletes the open file (or empty folder) once its handle closes.
bool MarkForDeletion(int fd) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(AsHandle(fd), FileDispositionInfo, &disposition,
                                    sizeof disposition);
}

}  // namespace

FileIdentity IdentityOf(int fd) {
  const std::optional<FileIdentity> identity = IdentityOfHandle(fd);
  if (!identity) ThrowLastError();
  return *identity;
}

FileIdentity IdentityToKeep(int fd) {
  // A file system sets the last-write time of a file written through a handle when the handle
  // closes, unless it was set through that handle: set here to what it is, it stays.
  FILE_BASIC_INFO times;
  if (!GetFileInformationByHandleEx(AsHandle(fd), FileBasicInfo, &times, sizeof times)) {
    ThrowLastError();
  }
  const LARGE_INTEGER written = times.LastWriteTime;
  times = FILE_BASIC_INFO{};
  times.LastWriteTime = written;
  if (!SetFileInformationByHandle(AsHandle(fd), FileBasicInfo, &times, sizeof times)) {
    ThrowLastError();
  }
  return IdentityOf(fd);
}

std::int64_t FileClockSeconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<std::int64_t>(Joined(now.dwHighDateTime, now.dwLowDateTime) / 10'000'000);
}

bool RemoveFolderIfEmpty(const std::string& path, const FileIdentity& identity) {
  // Not shared for deletion: no one renames or removes it while it is held.
  const HANDLE handle = CreateFileA(
      path.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const UniqueFd folder(AsFd(handle));
  const std::optional<FileIdentity> now = IdentityOfHandle(folder.get());
  // A folder that is not empty refuses to be marked.
  return IsPlain(folder.get(), true) && now && now->device == identity.device &&
         now->inode == identity.inode && MarkForDeletion(folder.get());
}

// A junction or a symbolic link (a reparse point) is not followed.
UniqueFd DestinationFolder::OpenSubfolder(int parent, const std::string& name) {
  Listed entry;
  UniqueFd folder;
  if (!NT_SUCCESS(FindListed(parent, name, entry)) || !IsOwnFolder(entry.attributes) ||
      !NT_SUCCESS(
          OpenBeneath(parent, name, kFolderAccess, FILE_OPEN, FILE_DIRECTORY_FILE, folder))) {
    return {};
  }
  // Opened as itself, a reparse point shows as one: no swap can slip past this look.
  if (!IsPlain(folder.get(), true)) return {};
  // Wine opens where its host's link leads, and a link swapped in and out again between two
  // looks would pass them both: what was opened must be the very folder the listing showed.
  if (FileIdOf(folder.get()) != entry.file_id) return {};
  return folder;
}

CreatedFile CreatedFile::CreateAt(int folder, const char* name) {
  CreatedFile file;
  // One exclusive creation is both the existence test and the creation; the right to delete
  // lets a file whose filling fails go by its own handle, whatever its name holds meanwhile.
  const NTSTATUS status = OpenBeneath(folder, name, GENERIC_WRITE | DELETE, FILE_CREATE,
                                      FILE_NON_DIRECTORY_FILE, file.fd_);
  if (NT_SUCCESS(status)) {
    file.outcome_ = CreateOutcome::Created;
  } else if (status == kStatusAccessDenied) {
    file.failure_.cause = CreateCause::NoPermission;
  } else if (status == kStatusObjectNameCollision && HoldsNonFolder(folder, name)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  } else if (status == kStatusObjectNameCollision || status == kStatusFileIsADirectory) {
    file.failure_.cause = CreateCause::FolderOfThatName;
  } else {
    file.failure_ = {CreateCause::SystemError, {}, ErrorOf(status)};
  }
  return file;
}

// Windows keeps no unnamed files: the file is named at once.
CreatedFile CreatedFile::CreateUnnamedAt(int folder, const char* name) {
  return CreateAt(folder, name);
}

void CreatedFile::Complete() {}

void CreatedFile::Discard() noexcept {
  if (fd_.valid()) MarkForDeletion(fd_.get());
  fd_.reset();
  outcome_ = CreateOutcome::Failed;
  path_.clear();
}

CreatedFile CreatedFile::Create(const std::string& path) {
  CreatedFile file;
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    file.fd_.reset(AsFd(handle));
    file.outcome_ = CreateOutcome::Created;
  } else if (GetLastError() == ERROR_FILE_EXISTS && IsExistingFile(path)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  }
  return file;
}

DestinationFolder::DestinationFolder(const std::string& path, Resolution resolution)
    : resolution_(resolution) {
  // The path itself may be a link, the user's own choice: it is followed here, once.
  const HANDLE handle = CreateFileA(path.c_str(), kFolderAccess | SYNCHRONIZE, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    open_error_ = LastError();
    return;
  }
  UniqueFd folder(AsFd(handle));
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
      (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    fd_ = std::move(folder);
  } else {
    open_error_ = ERROR_DIRECTORY;
  }
}

DestinationFolder::Entry DestinationFolder::LookAt(int folder, const char* name) {
  Listed listed;
  const NTSTATUS status = FindListed(folder, name, listed);
  if (IsNotFound(status)) return {EntryKind::Missing};
  if (status == kStatusAccessDenied) return {EntryKind::Denied};
  if (!NT_SUCCESS(status)) return {EntryKind::Failed, ErrorOf(status)};
  if (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return {EntryKind::Link};
  return {(listed.attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File};
}

int DestinationFolder::LastError() { return static_cast<int>(GetLastError()); }

CreateFailure DestinationFolder::HostWhyNoCreateIn(int folder) {
  // The folder's rights are asked by opening it for adding a file: nothing is made.
  UniqueFd probe;
  const NTSTATUS status =
      OpenBeneath(folder, "", FILE_ADD_FILE, FILE_OPEN, FILE_DIRECTORY_FILE, probe);
  if (NT_SUCCESS(status)) return {};
  if (status == kStatusAccessDenied) return {CreateCause::NoPermission};
  return {CreateCause::SystemError, {}, ErrorOf(status)};
}

// Windows's file systems ignore letter case: each name is looked up by the system instead.
bool DestinationFolder::ListEntries() { return false; }

bool DestinationFolder::HostFoldsLetterCase(int /*folder*/) { return true; }

std::string DestinationFolder::PlanKey(std::string path) const {
  // As the system folds the names of the program's code page.
  if (folds_case_) CharUpperBuffA(path.data(), static_cast<DWORD>(path.size()));
  return path;
}

RemoveResult DestinationFolder::RemoveFileAt(int folder, const char* name,
                                             const FileIdentity& identity) {
  Listed listed;
  const NTSTATUS found = FindListed(folder, name, listed);
  if (IsNotFound(found)) return {RemoveOutcome::Gone};
  // A name no file can have names none the run made.
  if (found == kStatusObjectNameInvalid) return {RemoveOutcome::Changed};
  if (!NT_SUCCESS(found)) return {RemoveOutcome::Failed, ErrorOf(found)};
  // A link, a folder or anything else in its place.
  if (listed.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
    return {RemoveOutcome::Changed};
  }
  // Opened for deletion and not shared for it: while this handle is open no one renames the
  // file, removes it or puts another in its place, so the file checked is the one deleted.
  UniqueFd file;
  const NTSTATUS opened =
      OpenBeneath(folder, name, DELETE | FILE_READ_ATTRIBUTES, FILE_OPEN, FILE_NON_DIRECTORY_FILE,
                  file, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (IsNotFound(opened)) return {RemoveOutcome::Gone};
  if (!NT_SUCCESS(opened)) return {RemoveOutcome::Failed, ErrorOf(opened)};
  // Opened as itself and the very file the listing showed (Wine opens where its host's link
  // leads), still the same file, unchanged: only then is it deleted, by this handle.
  const std::optional<FileIdentity> now = IdentityOfHandle(file.get());
  if (!now || !IsPlain(file.get(), false) ||
      static_cast<std::int64_t>(now->inode) != listed.file_id || *now != identity) {
    return {RemoveOutcome::Changed};
  }
  if (!MarkForDeletion(file.get())) return {RemoveOutcome::Failed, LastError()};
  return {RemoveOutcome::Removed};
}

// Windows has no call that resolves a whole path without following reparse points.
UniqueFd DestinationFolder::OpenParent(std::string_view folder_path) const {
  return OpenParentByWalk(folder_path);
}

UniqueFd DestinationFolder::Reopen() const {
  UniqueFd again;
  OpenBeneath(fd_.get(), "", kFolderAccess, FILE_OPEN, FILE_DIRECTORY_FILE, again);
  return again;
}

}  // namespace quillon
