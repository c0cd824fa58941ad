// quillon-batch [--settings FILE] [--yes|--no] [--dry-run] [--explain] [--journal FILE]
//   SOURCE DESTINATION; quillon-batch --undo FILE; --help, --version
// Exit status: 0 the run reached its summary, 1 its checks refused it (or the undo refused its
// file as a journal), 2 usage (a refused journal path or a settings file named that cannot
// be read among it), 3 a file input/output failure (a write of the report or the messages
// among them, or a lack of memory) ended it, or the undo could not remove a file.
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "cli/BatchHost.h"
#include "engine/RunUndo.h"
#include "settings/IniFile.h"
#include "settings/SettingsFile.h"
#include "util/Console.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/RunJournal.h"

namespace {

constexpr int kReachedSummary = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kIoFailure = 3;

constexpr const char* kUsageLine =
    "usage: quillon-batch [--settings FILE] [--yes|--no] [--dry-run] [--explain]\n"
    "                     [--journal FILE] SOURCE DESTINATION\n"
    "       quillon-batch --undo FILE\n";

int Usage() {
  std::fputs(kUsageLine, stderr);
  return kUsage;
}

int Help() {
  std::fputs(kUsageLine, stdout);
  std::fputs(
      "Creates one file in DESTINATION for each line of the text file SOURCE, with the options\n"
      "of the Quillon window's settings file.\n"
      "\n"
      "  --settings FILE  read the options from FILE instead of the window's settings file\n"
      "                   (exit 2 when FILE cannot be read)\n"
      "  --yes            answer Yes to every question\n"
      "  --no             answer No to every question\n"
      "  --dry-run        print the report the run would print, creating and changing nothing\n"
      "                   (asking nothing: a long source and a missing destination are taken\n"
      "                   as agreed)\n"
      "  --explain        add the reason to each line that is refused, as \"  [reason]\"\n"
      "  --journal FILE   write the journal of the files the run creates to FILE, never one\n"
      "                   the run reads nor a file that is not a journal (a usage error)\n"
      "  --undo FILE      remove the files of the journal FILE that are unchanged since\n"
      "                   their run, and the destination it created when that leaves it empty;\n"
      "                   FILE must be this user's own, writable by no one else, and whole\n"
      "  --help           print this help and exit\n"
      "  --version        print the version and exit\n"
      "\n"
      "Exit status: 0 the run reached its summary, 1 its checks refused it (with --undo: FILE\n"
      "was refused, nothing removed), 2 usage error (FILE of --settings unreadable\n"
      "among them), 3 a failure of file input or output ended it (with --undo: a file\n"
      "could not be removed, reported \"Not removed\").\n",
      stdout);
  return kReachedSummary;
}

// The window's settings file: beside the window's executable, which sits beside this one.
std::string WindowSettingsFile() {
  const std::string folder = quillon::FolderOfPath(quillon::ExecutablePath());
  return quillon::SettingsFileFor(quillon::JoinPath(folder, "quillon"));
}

// Why a settings file the user names cannot be read, if it cannot: the defaults stand in for
// the window's own file alone, never for the file the user meant.
std::optional<std::string> WhyUnreadable(const std::string& settings_file) {
  const char kind = quillon::GetPathKind(settings_file);
  if (kind == 'd') return "it is a folder";
  if (kind == 'f' && quillon::FileSizeOf(settings_file) > quillon::IniFile::kMaxFileSize) {
    return "it is larger than 1 MiB";
  }
  try {
    quillon::ReadWholeFile(settings_file, quillon::IniFile::kMaxFileSize);
  } catch (const quillon::IoError& error) {
    return error.what();
  }
  return std::nullopt;
}

// Why the journal's path must not take a journal: it names a file the run reads (however
// spelled or linked), or an entry that is not a journal; empty when it may.
std::string JournalRefusal(const std::string& journal, const std::string& source,
                           const std::string& destination, const std::string& settings_file,
                           const quillon::RunSettings& settings) {
  // A destination still to be made has no file to compare.
  std::string destination_path = quillon::AnchorToCurrentFolder(destination);
  quillon::StripTrailingBackslash(destination_path);
  if (quillon::AnchorToCurrentFolder(journal) == destination_path) {
    return "--journal " + journal + " is the destination; the journal needs a file of its own.";
  }
  const bool fill_text = settings.FillKind == "single" && settings.FillText;
  const std::pair<const std::string*, const char*> read[] = {
      {&source, "the source"},
      {&settings_file, "the settings file"},
      {fill_text ? &settings.FillTextFile : nullptr, "the fill text file"}};
  for (const auto& [path, what] : read) {
    if (path && quillon::NameOneFile(journal, *path)) {
      return "--journal " + journal + " is " + what + "; the journal needs a file of its own.";
    }
  }
  if (quillon::EntryExists(journal) && !quillon::HoldsJournal(journal)) {
    return "--journal " + journal + " exists and is not a journal; it is left as it is.";
  }
  return {};
}

// Writes the undo's report; exit 1 when the file is refused as a journal (nothing is removed
// then), 3 when a file of the run could not be removed.
int Undo(const std::string& journal_file, quillon::BatchHost& host) {
  std::string refusal;
  const std::optional<quillon::RunJournal> journal =
      quillon::ReadRunJournal(journal_file, &refusal);
  if (!journal) {
    host.ShowError(refusal);
    return kRefused;
  }
  const quillon::UndoCounts counts =
      quillon::UndoRun(*journal, [&host](const std::string& line) { host.AppendReport(line); });
  host.FlushReport();
  return counts.not_removed == 0 ? kReachedSummary : kIoFailure;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> settings_file;
  std::optional<bool> answer;
  std::optional<std::string> journal_file;
  std::optional<std::string> undo_file;
  bool dry_run = false;
  bool explain = false;
  std::string paths[2];
  int path_count = 0;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!options_done && argument == "--settings") {
      if (++i >= argc) return Usage();
      settings_file = argv[i];
    } else if (!options_done && (argument == "--yes" || argument == "--no")) {
      if (answer) return Usage();
      answer = argument == "--yes";
    } else if (!options_done && (argument == "--journal" || argument == "--undo")) {
      std::optional<std::string>& file = argument == "--journal" ? journal_file : undo_file;
      if (file || ++i >= argc) return Usage();
      file = argv[i];
    } else if (!options_done && argument == "--dry-run") {
      dry_run = true;
    } else if (!options_done && argument == "--explain") {
      explain = true;
    } else if (!options_done && argument == "--help") {
      return Help();
    } else if (!options_done && argument == "--version") {
      std::puts("quillon-batch " QUILLON_VERSION);
      return kReachedSummary;
    } else if (!options_done && argument == "--") {
      options_done = true;
    } else if (!options_done && argument.size() > 1 && argument[0] == '-') {
      return Usage();
    } else {
      if (path_count == 2) return Usage();
      paths[path_count++] = argument;
    }
  }
  // An undo takes nothing but its journal; a dry run creates nothing to keep a journal of.
  if (undo_file &&
      (path_count != 0 || settings_file || answer || dry_run || explain || journal_file)) {
    return Usage();
  }
  if (!undo_file && (path_count != 2 || (dry_run && journal_file))) return Usage();

  quillon::CatchInterrupts();
  quillon::BatchHost host(answer, quillon::StandardOutput(), quillon::StandardError());
  host.ShowReasons(explain);
  try {
    if (undo_file) return Undo(*undo_file, host);
    if (settings_file) {
      if (const std::optional<std::string> why = WhyUnreadable(*settings_file)) {
        host.ShowError("Unable to read the settings file " + *settings_file + ": " + *why + ".");
        return kUsage;
      }
    }
    const std::string program_folder = quillon::FolderOfPath(quillon::ExecutablePath());
    const std::string settings_path = settings_file.value_or(WindowSettingsFile());
    const quillon::RunSettings settings = quillon::ReadRunSettings(settings_path, program_folder);
    quillon::ConversionRun run(host, settings);
    std::optional<quillon::JournalWriter> journal;
    if (journal_file) {
      const std::string refusal =
          JournalRefusal(*journal_file, paths[0], paths[1], settings_path, settings);
      if (!refusal.empty()) {
        host.ShowError(refusal);
        return kUsage;
      }
      journal.emplace(*journal_file);
      run.KeepJournal(&*journal);
      host.KeepJournalIn(quillon::FolderOfPath(quillon::AnchorToCurrentFolder(*journal_file)));
    }
    const quillon::RunResult result =
        dry_run ? run.Plan(paths[0], paths[1]) : run.Run(paths[0], paths[1]);
    if (journal) journal->Close();
    host.FlushReport();
    return result == quillon::RunResult::Refused ? kRefused : kReachedSummary;
  } catch (const quillon::IoError& error) {
    // Also a report or a message that could not be written: a run whose report is lost failed.
    host.TellFailure(quillon::WithFinalDot(error.what()));
    return kIoFailure;
  } catch (const std::bad_alloc&) {
    // Told, not an abort.
    host.TellFailure("Out of memory.");
    return kIoFailure;
  }
}
