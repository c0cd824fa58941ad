// The journal of a run: what it created, written as it goes, so that even the journal of a run
// that was killed names every file it had finished. One line a record, fields separated by
// tabs, bytes below 32, 127 and "%" written as "%XX". On POSIX records are copied into a shared
// mapping of the file, where the kernel holds them as soon as they are copied: a killed process
// loses none, and a record costs no call of its own. On Windows each record is written to the
// file in one call, which the system holds once it returns: a killed process loses none either.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/DestinationFolder.h"
#include "util/UniqueFd.h"

namespace quillon {

struct JournalFile {
  std::string path;  // relative to the destination, "/"-separated, as created
  FileIdentity identity;
};

struct RunJournal {
  std::string destination;  // the folder the run created its files beneath; empty when the
                            // run ended before its line loop
  FileIdentity destination_identity;
  bool destination_created = false;  // the run created that folder
  std::int64_t started_seconds = 0;  // when its lines began, by the host's clock of file times
  std::vector<JournalFile> files;
};

class JournalWriter {
 public:
  // Replaces the file at the path with an empty journal; throws IoError. With a begun_path,
  // the journal takes that name (replacing what had it) once its run begins its lines, and a
  // run that ends before leaves the journal of the run before in place.
  explicit JournalWriter(const std::string& path, const std::string& begun_path = {});
  ~JournalWriter();
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  // The destination of the run; throws IoError.
  void Begin(const std::string& destination, const FileIdentity& identity, bool created);
  // A file the run has created and filled, by its open descriptor; one write, so a run killed
  // afterwards leaves it in the journal. Throws IoError.
  void RecordFile(std::string_view relative_path, int fd);
  // Closes the journal; throws IoError when its writes did not arrive.
  void Close();

 private:
  static constexpr std::size_t kChunkBytes = std::size_t{1} << 18;

  // Replaces the file at the path with an empty one, opened for writing; throws IoError.
  static UniqueFd CreateJournalFile(const std::string& path);
  void Append(std::string_view bytes);
  // Gives the journal the begun path's name, replacing what had it; throws IoError.
  void TakeBegunName();
  // POSIX: maps the next chunk of the file past what is written; where the file system
  // cannot, the records go by plain writes from then on.
  void NextChunk();

  UniqueFd fd_;
  char* chunk_ = nullptr;
  std::size_t chunk_used_ = 0;
  std::size_t length_ = 0;  // bytes written
  bool by_writes_ = false;
  std::string path_;
  std::string begun_path_;
  bool begun_ = false;
  std::string record_;
};

// Where the window keeps the journal of its last run: in StateFolder(); empty when there is
// no such folder.
std::string LastRunJournalPath();

// The journal in the file, as far as whole lines go (a last line cut short by a crash is
// left out, and so is the room of zero bytes a killed run leaves after it). None, with the
// reason in refusal when given, when the file cannot be read, is no journal of this version,
// belongs to another user or may be written by others, or is damaged: a NUL byte or a
// malformed record before that room, a record over its bound, a path that does not lie
// beneath the destination, or a size no run writes.
std::optional<RunJournal> ReadRunJournal(const std::string& path, std::string* refusal = nullptr);

// The folder that keeps the window's state ($XDG_STATE_HOME/quillon, else
// ~/.local/state/quillon), made when missing; empty when it cannot be.
std::string StateFolder();

}  // namespace quillon
