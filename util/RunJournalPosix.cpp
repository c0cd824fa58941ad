// The POSIX side of writing a run's journal: records copied into a shared mapping of the file.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "util/IoError.h"
#include "util/RunJournal.h"

namespace quillon {

UniqueFd JournalWriter::CreateJournalFile(const std::string& path) {
  UniqueFd file(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!file.valid()) ThrowIoError(errno);
  return file;
}

void JournalWriter::Append(std::string_view bytes) {
  if (by_writes_) return WriteAllTo(fd_.get(), bytes);
  while (!bytes.empty()) {
    if (!chunk_ || chunk_used_ == kChunkBytes) {
      NextChunk();
      if (by_writes_) return WriteAllTo(fd_.get(), bytes);
    }
    const std::size_t part = std::min(bytes.size(), kChunkBytes - chunk_used_);
    std::memcpy(chunk_ + chunk_used_, bytes.data(), part);
    chunk_used_ += part;
    length_ += part;
    bytes.remove_prefix(part);
  }
}

void JournalWriter::NextChunk() {
  if (chunk_) munmap(chunk_, kChunkBytes);
  chunk_ = nullptr;
  chunk_used_ = 0;
  // The blocks are taken first: a full disk is then an error here, never a fault in a write
  // to the mapping.
  const int error = posix_fallocate(fd_.get(), static_cast<off_t>(length_), kChunkBytes);
  if (error == EOPNOTSUPP || error == EINVAL) {
    by_writes_ = true;
    return;
  }
  if (error != 0) ThrowIoError(error);
  void* chunk = mmap(nullptr, kChunkBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.get(),
                     static_cast<off_t>(length_));
  if (chunk == MAP_FAILED) {
    by_writes_ = true;
    if (ftruncate(fd_.get(), static_cast<off_t>(length_)) != 0) ThrowIoError(errno);
    return;
  }
  chunk_ = static_cast<char*>(chunk);
}

void JournalWriter::TakeBegunName() {
  if (rename(path_.c_str(), begun_path_.c_str()) != 0) ThrowIoError(errno);
}

void JournalWriter::Close() {
  if (chunk_) munmap(chunk_, kChunkBytes);
  chunk_ = nullptr;
  // The room taken beyond the last record goes.
  const bool cut = by_writes_ || ftruncate(fd_.get(), static_cast<off_t>(length_)) == 0;
  const int error = errno;
  fd_.Close();
  if (!cut) ThrowIoError(error);
}

}  // namespace quillon
