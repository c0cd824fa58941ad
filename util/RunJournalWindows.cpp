// The Windows side of writing a run's journal: each record one write to the file, which the
// system holds once the call returns, so a killed process loses no finished record.
#include <windows.h>

#include "util/RunJournal.h"
#include "util/WindowsHost.h"

namespace quillon {

UniqueFd JournalWriter::CreateJournalFile(const std::string& path) {
  // A link at the path is replaced, never followed.
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowLastError();
  return UniqueFd(AsFd(file));
}

void JournalWriter::Append(std::string_view bytes) { WriteAllTo(fd_.get(), bytes); }

void JournalWriter::TakeBegunName() {
  // The journal is open, shared for deletion: it can be renamed as it stands.
  if (!MoveFileExA(path_.c_str(), begun_path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ThrowLastError();
  }
}

void JournalWriter::Close() { fd_.Close(); }

}  // namespace quillon
