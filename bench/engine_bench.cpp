// Times the run against a floor loop written plainly in C on the same names, in fresh folders,
// and the empty-file cases also against `xargs touch`.
//   engine-bench [--dir FOLDER] [--repeat N]
// Prints one line per case: CASE quillon=SECONDS floor=SECONDS ratio=R [peer=SECONDS]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"

namespace {

using Clock = std::chrono::steady_clock;

class SilentHost : public quillon::RunHost {
 public:
  void ShowNotice(const std::string&) override {}
  void ShowError(const std::string& text) override {
    std::fprintf(stderr, "Error: %s\n", text.c_str());
  }
  void ShowWarning(const std::string&) override {}
  void ShowInformation(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return true; }
  void AppendReport(const std::string& line) override { report_bytes += line.size() + 1; }
  void HandlePendingEvents() override {}
  bool CancelPressed() override { return false; }
  void ClearCancel() override {}
  void SetRunning(bool) override {}
  void LineReached(std::int32_t, std::int32_t) override {}
  void RecordDestination(const std::string&) override {}
  void RecordSource(const std::string&) override {}
  std::size_t report_bytes = 0;
};

struct Case {
  explicit Case(std::string case_name) : name(std::move(case_name)) {}
  std::string name;
  std::vector<std::string> lines;  // source lines
  std::vector<std::string> files;  // the file names they give
  std::int64_t fill = 0;           // bytes per file for the floor
  quillon::RunSettings settings;
  bool existing = false;  // run a second time over the first run's files
  bool peer = false;
};

std::string root;
int folder_count = 0;

std::string FreshFolder() {
  const std::string folder = root + "/f" + std::to_string(folder_count++);
  std::filesystem::create_directories(folder);
  return folder;
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The floor: one exclusive open and close per name (an lstat only when the open fails), and
// the fill in chunks of 8191 bytes.
double Floor(const Case& c, const std::string& folder) {
  static char chunk[8191];
  std::memset(chunk, '0', sizeof chunk);
  const auto start = Clock::now();
  for (const std::string& file : c.files) {
    const std::string path = folder + "/" + file;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      struct stat info;
      lstat(path.c_str(), &info);
      continue;
    }
    for (std::int64_t rest = c.fill; rest > 0;) {
      const std::size_t size = rest < 8191 ? static_cast<std::size_t>(rest) : 8191;
      if (write(fd, chunk, size) != static_cast<ssize_t>(size)) std::abort();
      rest -= static_cast<std::int64_t>(size);
    }
    close(fd);
  }
  return Seconds(start);
}

double Engine(const Case& c, const std::string& source, const std::string& folder) {
  SilentHost host;
  quillon::ConversionRun run(host, c.settings);
  const auto start = Clock::now();
  run.Run(source, folder);
  return Seconds(start);
}

double Peer(const std::string& names, const std::string& folder) {
  const std::string command = "cd '" + folder + "' && xargs -d '\\n' touch < '" + names + "'";
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::abort();
  return Seconds(start);
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines, const char* end) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  for (const std::string& line : lines) std::fprintf(file, "%s%s", line.c_str(), end);
  std::fclose(file);
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  Case create("create-100k");
  for (int i = 0; i < 100000; ++i) {
    create.lines.push_back("n" + std::to_string(i));
    create.files.push_back("n" + std::to_string(i) + ".txt");
  }
  create.peer = true;
  cases.push_back(create);

  Case existing = create;
  existing.name = "existing-100k";
  existing.existing = true;
  existing.peer = false;
  cases.push_back(existing);

  Case var("fill-var-20k");
  var.settings.FillKind = "var";
  var.fill = 2048;
  for (int i = 0; i < 20000; ++i) {
    var.lines.push_back("name" + std::to_string(i) + "|2048");
    var.files.push_back("name" + std::to_string(i) + ".txt");
  }
  cases.push_back(var);

  Case fix("fill-fix-1g");
  fix.settings.FillKind = "fix";
  fix.settings.FillSize = 1 << 30;
  fix.fill = 1 << 30;
  fix.lines = {"big"};
  fix.files = {"big.txt"};
  cases.push_back(fix);
  return cases;
}

}  // namespace

int main(int argc, char** argv) {
  std::string base = std::filesystem::temp_directory_path().string();
  int repeat = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--dir" && i + 1 < argc) {
      base = argv[++i];
    } else if (argument == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: engine-bench [--dir FOLDER] [--repeat N]\n");
      return 2;
    }
  }
  std::string pattern = base + "/quillon-bench-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return 1;
  }
  root = pattern;

  for (const Case& c : Cases()) {
    const std::string source = root + "/" + c.name + ".src";
    const std::string names = root + "/" + c.name + ".names";
    WriteLines(source, c.lines, "\r\n");
    WriteLines(names, c.files, "\n");
    // The best of the repeats, each side in its own fresh folder, the two interleaved.
    double engine = 1e30, floor = 1e30, peer = 1e30;
    for (int r = 0; r < repeat; ++r) {
      const std::string engine_folder = FreshFolder();
      const std::string floor_folder = FreshFolder();
      if (c.existing) {
        Engine(c, source, engine_folder);
        Floor(c, floor_folder);
      }
      // Large fills are removed at once, so neither side writes into a fuller page cache;
      // each side takes its turn at going first.
      const bool large = c.fill >= (1 << 20);
      const auto time_engine = [&] {
        engine = std::min(engine, Engine(c, source, engine_folder));
        if (large) std::filesystem::remove_all(engine_folder);
      };
      const auto time_floor = [&] {
        floor = std::min(floor, Floor(c, floor_folder));
        if (large) std::filesystem::remove_all(floor_folder);
      };
      const auto time_peer = [&] {
        if (c.peer) peer = std::min(peer, Peer(names, FreshFolder()));
      };
      const std::function<void()> order[3] = {time_engine, time_floor, time_peer};
      for (int turn = 0; turn < 3; ++turn) order[(r + turn) % 3]();
    }
    std::printf("%s quillon=%.3f floor=%.3f ratio=%.2f", c.name.c_str(), engine, floor,
                engine / floor);
    if (c.peer) std::printf(" peer=%.3f", peer);
    std::printf("\n");
    std::fflush(stdout);
  }
  std::filesystem::remove_all(root);
  return 0;
}
