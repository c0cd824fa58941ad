// The journal of a run: what it created, written as it goes, so that even the journal of a run
// that was killed names every file it had finished. One line a record, fields separated by
// tabs, bytes below 32, 127 and "%" written as "%XX". Each record reaches the system in one
// plain write before the run creates its next file, and the system keeps what a killed process
// wrote: a killed run loses none. The journal is a file of its own from the start (created
// exclusively under a name nobody else has), so no two runs share one; and with no mapping of
// it, another program truncating it cannot end the run.
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
  // What a failure of the journal does to its run.
  enum class Failures {
    EndTheRun,  // thrown as IoError, naming the journal's path
    // Told by Failure: the run goes on without its journal, and once it begins its lines
    // no journal of an earlier run is left at the path to stand for it.
    LeaveTheRunUnjournaled,
  };

  // Creates the journal beside the path, exclusively under a name of its own; the journal
  // takes the path's name (replacing what had it) once its run begins its lines, and a run
  // that ends before leaves the path as it was.
  explicit JournalWriter(std::string path, Failures failures = Failures::EndTheRun);
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

  // Whether the run began its lines.
  bool Begun() const { return begun_; }
  // Why the journal was given up ("unable to write the journal PATH: Disk full"); empty while
  // it is kept.
  const std::string& Failure() const { return failure_; }

 private:
  // Creates a file beside the path under a name no file has, remembered in temporary_path_;
  // throws IoError.
  UniqueFd CreateBeside();
  void Append(std::string_view bytes);
  // Gives the journal the path's name, replacing what had it (given up, takes the name away).
  void TakeBegunName();
  // Renames the temporary name to the path, replacing what had it; throws IoError.
  void Rename();
  // Empties the journal through its descriptor, so it is no journal by whatever name, and
  // removes the path while the path still names it.
  void EmptyAndUnname();
  // A failure of the step; thrown, or the journal given up.
  void Failed(std::string_view step, const std::exception& error);
  // Leaves no journal of this run or of an earlier one at the path.
  void Discard();

  UniqueFd fd_;
  std::string path_;
  std::string temporary_path_;  // the journal's name until it takes the path's
  Failures failures_;
  bool begun_ = false;
  bool named_ = false;  // the journal has the path's name
  std::string failure_;
  std::string record_;
};

// Whether both paths name one existing file, however spelled: through links, other folders'
// names, hard links (symbolic links followed).
bool NameOneFile(const std::string& path, const std::string& other);

// Whether an entry is at the path; whether that entry is a regular file (links not followed).
bool EntryExists(const std::string& path);
bool IsFileEntry(const std::string& path);

// Whether the entry at the path, a link not followed, is a file holding a journal of any
// version.
bool HoldsJournal(const std::string& path);

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
// Where that folder is, whether or not it is there; empty when the user has no such place.
std::string StateFolderPath();

}  // namespace quillon
