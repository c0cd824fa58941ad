// The Windows side of a run's journal file: made exclusively under a name of its own, renamed
// into place, each record one write, which the system holds once the call returns.
#include <windows.h>

#include <atomic>

#include "util/RunJournal.h"
#include "util/WindowsHost.h"

namespace quillon {
namespace {

constexpr int kNameTries = 100;

// The entry at the path itself, a link not followed; invalid when there is none.
UniqueFd OpenEntry(const std::string& path, DWORD flags) {
  const HANDLE entry = CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
  return UniqueFd(entry == INVALID_HANDLE_VALUE ? -1 : AsFd(entry));
}

}  // namespace

UniqueFd JournalWriter::CreateBeside() {
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0;; ++attempt) {
    // The process, a count of its journals and the clock: no other journal has the name, and
    // one left by an ended process is passed over.
    char suffix[64];
    wsprintfA(suffix, ".%lx-%x-%lx", GetCurrentProcessId(), serial++, GetTickCount());
    const std::string name = path_ + suffix;
    // Exclusive: a name taken, by a link too, is passed over, never opened.
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      temporary_path_ = name;
      return UniqueFd(AsFd(file));
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == kNameTries) {
      ThrowIoError(static_cast<int>(error));
    }
  }
}

void JournalWriter::Rename() {
  // The journal is open, shared for deletion: it can be renamed as it stands.
  if (MoveFileExA(temporary_path_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesA(path_.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw IoError("a folder has its name");
  }
  ThrowIoError(static_cast<int>(error));
}

void JournalWriter::EmptyAndUnname() {
  // Emptied, it is no journal by any of its names.
  LARGE_INTEGER start{};
  if (SetFilePointerEx(AsHandle(fd_.get()), start, nullptr, FILE_BEGIN)) {
    SetEndOfFile(AsHandle(fd_.get()));
  }
  bool ours = false;
  if (const UniqueFd named = OpenEntry(path_, FILE_FLAG_OPEN_REPARSE_POINT); named.valid()) {
    ours = IsSameFile(named.get(), fd_.get());
  }
  if (ours) DeleteFileA(path_.c_str());
}

bool NameOneFile(const std::string& path, const std::string& other) {
  const UniqueFd one = OpenEntry(path, 0);
  const UniqueFd two = OpenEntry(other, 0);
  return one.valid() && two.valid() && IsSameFile(one.get(), two.get());
}

bool EntryExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFileEntry(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

}  // namespace quillon
