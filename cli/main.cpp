// quillon-batch [--settings FILE] [--yes|--no] SOURCE DESTINATION; --help, --version
// Exit status: 0 the run reached its summary, 1 its checks refused it, 2 usage, 3 a file
// input/output failure (a write of the report or the messages among them, or a lack of memory)
// ended it.
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "cli/BatchHost.h"
#include "settings/SettingsFile.h"
#include "util/Console.h"
#include "util/IoError.h"
#include "util/Platform.h"

namespace {

constexpr int kReachedSummary = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kIoFailure = 3;

constexpr const char* kUsageLine =
    "usage: quillon-batch [--settings FILE] [--yes|--no] SOURCE DESTINATION\n";

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
      "  --yes            answer Yes to every question\n"
      "  --no             answer No to every question\n"
      "  --help           print this help and exit\n"
      "  --version        print the version and exit\n"
      "\n"
      "Exit status: 0 the run reached its summary, 1 its checks refused it, 2 usage error,\n"
      "3 a failure of file input or output ended it.\n",
      stdout);
  return kReachedSummary;
}

// The window's settings file: beside the window's executable, which sits beside this one.
std::string WindowSettingsFile() {
  const std::string folder = quillon::FolderOfPath(quillon::ExecutablePath());
  return quillon::SettingsFileFor(quillon::JoinPath(folder, "quillon"));
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> settings_file;
  std::optional<bool> answer;
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
  if (path_count != 2) return Usage();

  quillon::CatchInterrupts();
  quillon::BatchHost host(answer, quillon::StandardOutput(), quillon::StandardError());
  try {
    const std::string program_folder = quillon::FolderOfPath(quillon::ExecutablePath());
    const quillon::RunSettings settings =
        quillon::ReadRunSettings(settings_file.value_or(WindowSettingsFile()), program_folder);
    quillon::ConversionRun run(host, settings);
    const quillon::RunResult result = run.Run(paths[0], paths[1]);
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
