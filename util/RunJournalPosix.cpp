// The POSIX side of a run's journal file: made exclusively under a name of its own, renamed
// into place, written by plain writes.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "util/IoError.h"
#include "util/RunJournal.h"

namespace quillon {
namespace {

bool SameEntry(const struct stat& one, const struct stat& other) {
  return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

}  // namespace

UniqueFd JournalWriter::CreateBeside() {
  std::string name = path_ + ".XXXXXX";
  // Exclusive: a name taken, by a link too, is passed over, never opened.
  UniqueFd file(mkostemp(name.data(), O_CLOEXEC));
  if (!file.valid()) ThrowIoError(errno);
  temporary_path_ = std::move(name);
  return file;
}

void JournalWriter::Rename() {
  if (rename(temporary_path_.c_str(), path_.c_str()) == 0) return;
  const int error = errno;
  if (error == EISDIR || error == ENOTEMPTY || error == EEXIST) {
    throw IoError("a folder has its name");
  }
  ThrowIoError(error);
}

void JournalWriter::EmptyAndUnname() {
  // Emptied, it is no journal by any of its names.
  if (ftruncate(fd_.get(), 0) != 0) {
    // Not emptied: taking the path's name away below still keeps it from standing for the run.
  }
  struct stat journal {};
  struct stat named {};
  if (fstat(fd_.get(), &journal) == 0 && lstat(path_.c_str(), &named) == 0 &&
      SameEntry(journal, named)) {
    unlink(path_.c_str());
  }
}

bool NameOneFile(const std::string& path, const std::string& other) {
  struct stat one {};
  struct stat two {};
  return stat(path.c_str(), &one) == 0 && stat(other.c_str(), &two) == 0 && SameEntry(one, two);
}

bool EntryExists(const std::string& path) {
  struct stat entry {};
  return lstat(path.c_str(), &entry) == 0;
}

bool IsFileEntry(const std::string& path) {
  struct stat entry {};
  return lstat(path.c_str(), &entry) == 0 && S_ISREG(entry.st_mode);
}

}  // namespace quillon
