// The Windows system's errors as the user is told them.
#include <windows.h>

#include "util/IoError.h"

namespace quillon {

std::string IoErrorText(int error_number) {
  switch (error_number) {
    case ERROR_FILE_NOT_FOUND: return "File not found";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY: return "Invalid filename";
    case ERROR_TOO_MANY_OPEN_FILES: return "Too many open files";
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return "File access denied";
    case ERROR_HANDLE_EOF: return "Read beyond end of file";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE: return "Disk full";
    default: return "I/O error " + std::to_string(error_number);
  }
}

void ThrowIoError(FileFailure failure) {
  ThrowIoError(
      static_cast<int>(failure == FileFailure::CutShort ? ERROR_HANDLE_EOF : ERROR_FILE_TOO_LARGE));
}

}  // namespace quillon
