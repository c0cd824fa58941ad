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

// Opens the name beneath the folder's handle, never following a reparse point at the name
// itself. An empty name opens the folder once more.
NTSTATUS OpenBeneath(int folder, const std::string& name, ACCESS_MASK access, ULONG disposition,
                     ULONG options, UniqueFd& opened) {
  std::wstring wide = Wide(name);
  if (wide.size() > 32767) return kStatusObjectNameInvalid;
  const auto bytes = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
  UNICODE_STRING text{bytes, bytes, wide.data()};
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, AsHandle(folder), nullptr);
  IO_STATUS_BLOCK io;
  HANDLE handle = nullptr;
  const NTSTATUS status = NtCreateFile(
      &handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, kShareAll,
      disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
  if (NT_SUCCESS(status)) opened.reset(AsFd(handle));
  return status;
}

// A name's entry in its folder, as the folder's listing shows it: its attributes and the
// number of its file on the volume.
struct Entry {
  DWORD attributes;
  std::int64_t file_id;
};

// The name's entry; none when there is none. A listing follows nothing, and it is where Wine
// shows a symbolic link of its host as a reparse point.
std::optional<Entry> FindEntry(int folder, const std::string& name) {
  // A listing takes these as wildcards, and no file name holds one; a colon names a stream.
  if (name.empty() || name.find_first_of("*?<>\":") != std::string::npos) return std::nullopt;
  // A handle of its own: a folder's handle keeps the first name it was asked to list.
  UniqueFd listing;
  if (!NT_SUCCESS(
          OpenBeneath(folder, "", FILE_LIST_DIRECTORY, FILE_OPEN, FILE_DIRECTORY_FILE, listing))) {
    return std::nullopt;
  }
  std::wstring wide = Wide(name);
  const auto bytes = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
  UNICODE_STRING mask{bytes, bytes, wide.data()};
  alignas(8) char buffer[sizeof(FILE_ID_BOTH_DIR_INFO) + 1024];
  IO_STATUS_BLOCK io;
  if (!NT_SUCCESS(NtQueryDirectoryFile(AsHandle(listing.get()), nullptr, nullptr, nullptr, &io,
                                       buffer, sizeof buffer, kFileIdBothDirectoryInformation, TRUE,
                                       &mask, TRUE))) {
    return std::nullopt;
  }
  const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer);
  return Entry{info->FileAttributes, info->FileId.QuadPart};
}

bool IsOwnFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The number of the open file on its volume, as a folder's listing gives it.
std::optional<std::int64_t> FileIdOf(int fd) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(AsHandle(fd), &info)) return std::nullopt;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                                   info.nFileIndexLow);
}

}  // namespace

// A junction or a symbolic link (a reparse point) is not followed.
UniqueFd DestinationFolder::OpenSubfolder(int parent, const std::string& name) {
  const std::optional<Entry> entry = FindEntry(parent, name);
  UniqueFd folder;
  if (!entry || !IsOwnFolder(entry->attributes) ||
      !NT_SUCCESS(
          OpenBeneath(parent, name, kFolderAccess, FILE_OPEN, FILE_DIRECTORY_FILE, folder))) {
    return {};
  }
  // Opened as itself, a reparse point shows as one: no swap can slip past this look.
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (!GetFileInformationByHandleEx(AsHandle(folder.get()), FileAttributeTagInfo, &tag,
                                    sizeof tag) ||
      !IsOwnFolder(tag.FileAttributes)) {
    return {};
  }
  // Wine opens where its host's link leads, and a link swapped in and out again between two
  // looks would pass them both: what was opened must be the very folder the listing showed.
  if (FileIdOf(folder.get()) != entry->file_id) return {};
  return folder;
}

bool CreatedFile::HoldsNonFolder(int folder, const char* name) {
  const std::optional<Entry> entry = FindEntry(folder, name);
  return entry && !IsOwnFolder(entry->attributes);
}

CreatedFile CreatedFile::CreateAt(int folder, const char* name) {
  CreatedFile file;
  // One exclusive creation is both the existence test and the creation.
  const NTSTATUS status =
      OpenBeneath(folder, name, GENERIC_WRITE, FILE_CREATE, FILE_NON_DIRECTORY_FILE, file.fd_);
  if (NT_SUCCESS(status)) {
    file.outcome_ = CreateOutcome::Created;
  } else if (status == kStatusObjectNameCollision && HoldsNonFolder(folder, name)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  }
  return file;
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
  if (handle == INVALID_HANDLE_VALUE) return;
  UniqueFd folder(AsFd(handle));
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
      (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    fd_ = std::move(folder);
  }
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
