// The dry run tells what the run does: random sources, settings and destination trees, each
// planned with --dry-run and then run for real on a fresh copy of the same tree, must give the
// same standard output, the same standard error and the same exit status; and the dry run must
// leave the tree as it found it. Only the run asks its questions and tells that it made the
// destination: those boxes are left out of its standard error.
//
//   differential_test [--cases N] [--origin S] [--in FOLDER] [--verbose]
//
// The cases follow from the origin alone; they are made in a new folder in FOLDER (/tmp when not
// given), so another file system (one that ignores letter case, one without links) can be
// tried. Exit status 0 when every case agreed, 1 otherwise.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/BatchRun.h"

namespace {

namespace fs = std::filesystem;
using quillon::testing::Outcome;
using quillon::testing::RunBatch;

// The same numbers from the same origin on every host (splitmix64).
class Random {
 public:
  explicit Random(std::uint64_t origin) : state_(origin) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 to below.
  std::size_t Below(std::size_t below) { return static_cast<std::size_t>(Next() % below); }
  bool Chance(std::size_t percent) { return Below(100) < percent; }
  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

const char* const kComponents[] = {
    "a",        "b",          "c",        "Name",  "NAME",     "name", "sub",     "SUB",
    "deep",     "folder",     "file",     "link",  "dang",     "ro",   "missing", "..",
    ".",        "CON",        "nul",      "com1",  "LPT9",     "x.y",  "trail.",  "trail ",
    " lead",    "a:b",        "q?",       "st*r",  "quo\"te",  "<lt>", "pi|pe",   "\xE9t\xE9",
    "\x01ctl",  "old",        "old.txt",  "y.TXT", "notes.v2", "",     "readme",  "aux.txt",
    "tab\tbed", "folder.txt", "file.txt", "..."};
const char* const kSizes[] = {"12", "abc", "", "0x1F", "-5", " 7", "99999999999", "$10", "0"};
const char* const kLineEnds[] = {"\r\n", "\r\n", "\r\n", "\n", "\r"};

std::string OtherCase(std::string text) {
  for (char& c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) c ^= 0x20;
  }
  return text;
}

std::string SourceLine(Random& random, const std::vector<std::string>& earlier) {
  if (!earlier.empty() && random.Chance(12)) {
    const std::string& again = earlier[random.Below(earlier.size())];
    return random.Chance(50) ? again : OtherCase(again);
  }
  switch (random.Below(20)) {
    case 0: return "";
    case 1: return "\t";
    case 2: return std::string(100 + random.Below(40), 'n');           // near the path limit
    case 3: return std::string(4000 + random.Below(300), 'L') + "|5";  // longer than is kept
    default: break;
  }
  std::string line;
  const std::size_t components = 1 + random.Below(random.Chance(70) ? 1 : 4);
  for (std::size_t i = 0; i < components; ++i) {
    if (i > 0) line += random.Chance(70) ? "\\" : "/";
    line += random.Pick(kComponents);
  }
  if (random.Chance(25)) line += std::string("|") + random.Pick(kSizes);
  if (random.Chance(5)) line.insert(random.Below(line.size() + 1), "\t");
  return line;
}

struct Case {
  std::string source_bytes;
  std::string settings;
  // What stands at the source's and the fill text's names in the case's folder.
  enum class Shape { File, Missing, Folder, Pipe } source_shape, fill_shape;
  std::string fill_text;    // relative to the case's folder; "" for none
  std::string destination;  // relative to the case's folder unless absolute
  std::uint64_t tree_origin = 0;
};

Case MakeCase(Random& random) {
  Case made;
  std::vector<std::string> lines;
  const std::size_t count = random.Chance(3) ? 101 + random.Below(5) : random.Below(25);
  for (std::size_t i = 0; i < count; ++i) {
    lines.push_back(SourceLine(random, lines));
    made.source_bytes += lines.back();
    if (i + 1 < count || random.Chance(70)) made.source_bytes += random.Pick(kLineEnds);
  }
  if (random.Chance(3))
    made.source_bytes +=
        "\x1A"
        "after.txt\r\n";
  made.source_shape = random.Chance(94)   ? Case::Shape::File
                      : random.Chance(50) ? Case::Shape::Missing
                      : random.Chance(50) ? Case::Shape::Folder
                                          : Case::Shape::Pipe;

  const char* const kKinds[] = {"none", "fix", "var", "fixifnovar", "single", "single", "Fix"};
  const char* const kExtensions[] = {"txt", "txt", "", "md", ".x", "TXT"};
  const char* const kReplacers[] = {"_", "", "TEMP", "x\\y", "-"};
  const char* const kFillNames[] = {"fill.txt",    "fill.txt", "fill.txt", "",
                                    "fill-folder", "gone.txt", "fill.pipe"};
  const std::string kind = random.Pick(kKinds);
  made.fill_text = random.Pick(kFillNames);
  made.fill_shape = made.fill_text == "fill-folder" ? Case::Shape::Folder
                    : made.fill_text == "gone.txt"  ? Case::Shape::Missing
                    : made.fill_text == "fill.pipe" ? Case::Shape::Pipe
                                                    : Case::Shape::File;
  const int sizes[] = {0, 1, 5, 17, -3, 9000};
  made.settings = std::string("[Output extension]\r\nExtension=") + random.Pick(kExtensions) +
                  "\r\nAlways=" + (random.Chance(50) ? "1" : "0") +
                  "\r\n[Invalid characters]\r\nInvalid replace=" + (random.Chance(40) ? "1" : "0") +
                  "\r\nInvalid replacer=" + random.Pick(kReplacers) + "\r\n[Fill]\r\nKind=" + kind +
                  "\r\nSource=" + (random.Chance(50) ? "1" : "0") +
                  "\r\nText=" + (random.Chance(60) ? "1" : "0") +
                  "\r\nFile name=" + made.fill_text +
                  "\r\nWith=" + std::to_string(48 + random.Below(3)) +
                  "\r\nSize=" + std::to_string(random.Pick(sizes)) +
                  "\r\nSeparator=" + (random.Chance(85) ? "124" : "58") + "\r\n";

  const char* const kDestinations[] = {
      "out",   "out",        "out",         "out",         "out",
      "out/",  "linkout",    "new/deeper",  "afile/below", "dang/new",
      "dang",  "long",       "new/../out2", "ro/new",      "/proc/quillon-differential",
      "/proc", "/sys/kernel"};
  // Mostly a folder that is there, so that most cases reach their lines.
  made.destination = random.Chance(70) ? "out" : random.Pick(kDestinations);
  if (made.destination == "long") made.destination = std::string(260, 'x') + "/n";
  made.tree_origin = random.Next();
  return made;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// What a file system cannot hold (a link, a pipe, a mode) is left out: both runs meet the same.
std::error_code left_out;

void MakeShape(const fs::path& path, Case::Shape shape, const std::string& bytes) {
  switch (shape) {
    case Case::Shape::File: WriteFile(path, bytes); break;
    case Case::Shape::Folder: fs::create_directory(path, left_out); break;
    case Case::Shape::Pipe: mkfifo(path.c_str(), 0600); break;
    case Case::Shape::Missing: break;
  }
}

// The case's folder as the case says, made the same way each time from its origin.
void MakeTree(const fs::path& folder, const Case& made) {
  fs::create_directories(folder);
  MakeShape(folder / "src.txt", made.source_shape, made.source_bytes);
  if (!made.fill_text.empty()) {
    MakeShape(folder / made.fill_text, made.fill_shape, "one\r\ntwo");
  }
  WriteFile(folder / "settings.ini", made.settings);
  WriteFile(folder / "afile", "");
  fs::create_directory(folder / "elsewhere");
  fs::create_symlink(folder / "nowhere", folder / "dang", left_out);
  const fs::path out = folder / "out";
  fs::create_directory(out);
  fs::create_directory_symlink(out, folder / "linkout", left_out);
  fs::create_directory(folder / "ro");
  Random random(made.tree_origin);
  const char* const kFiles[] = {"a.txt", "Name.txt", "old.txt",   "b",        "x.y",
                                "c.md",  "file.txt", "sub/a.txt", "deep.txt", "a.TXT"};
  for (std::size_t i = random.Below(5); i > 0; --i) {
    const fs::path file = out / random.Pick(kFiles);
    fs::create_directories(file.parent_path());
    WriteFile(file, std::string(random.Below(4), 'k'));
  }
  if (random.Chance(60)) fs::create_directories(out / "sub" / "deep");
  if (random.Chance(30)) fs::create_directory(out / "folder.txt");
  if (random.Chance(40)) fs::create_directory_symlink(folder / "elsewhere", out / "link", left_out);
  if (random.Chance(30)) fs::create_symlink(folder / "nowhere", out / "dang.txt", left_out);
  if (random.Chance(30)) {
    fs::create_directory(out / "ro");
    chmod((out / "ro").c_str(), 0555);
  }
  chmod((folder / "ro").c_str(), 0555);
}

// Every entry beneath the folder, links as themselves, with its kind, mode and size.
std::map<std::string, std::string> Listing(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(folder, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    struct stat info {};
    if (lstat(it->path().c_str(), &info) != 0) continue;
    entries[it->path().string()] =
        std::to_string(info.st_mode) + " " +
        (S_ISREG(info.st_mode) ? std::to_string(info.st_size) : std::string("-"));
  }
  return entries;
}

void RemoveTree(const fs::path& folder) {
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(folder, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink(ignored)) chmod(it->path().c_str(), 0755);
  }
  fs::remove_all(folder, ignored);
}

// What only the run says: its questions, and the notice that it made the destination.
std::string WithoutRunBoxes(const std::string& err) {
  std::string kept;
  for (std::size_t start = 0; start < err.size();) {
    const std::size_t end = std::min(err.find('\n', start), err.size() - 1) + 1;
    const std::string line = err.substr(start, end - start);
    start = end;
    const bool question = line.starts_with("Warning: ") && line.find("??") != std::string::npos;
    if (!question && line != "Quillon: Creation succesfull\n") kept += line;
  }
  return kept;
}

std::string Shown(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte >= 127) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown.size() > 300 ? shown.substr(0, 300) + "..." : shown;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The first line where the two differ, with the line before it.
void ShowDifference(const char* what, const std::string& planned, const std::string& ran) {
  const std::vector<std::string> a = LinesOf(planned), b = LinesOf(ran);
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  if (i == a.size() && i == b.size()) return;
  std::printf("  %s, line %zu:\n", what, i + 1);
  if (i > 0) std::printf("    both:    %s\n", Shown(a[i - 1]).c_str());
  std::printf("    dry run: %s\n", i < a.size() ? Shown(a[i]).c_str() : "(ends)");
  std::printf("    run:     %s\n", i < b.size() ? Shown(b[i]).c_str() : "(ends)");
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t cases = 300;
  std::uint64_t origin = 1;
  bool verbose = false;
  std::string in = "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--cases" && i + 1 < argc) {
      cases = std::stoul(argv[++i]);
    } else if (argument == "--origin" && i + 1 < argc) {
      origin = std::stoull(argv[++i]);
    } else if (argument == "--in" && i + 1 < argc) {
      in = argv[++i];
    } else if (argument == "--verbose") {
      verbose = true;
    } else {
      std::fputs("usage: differential_test [--cases N] [--origin S] [--in FOLDER] [--verbose]\n",
                 stderr);
      return 2;
    }
  }
  std::string scratch_template = in + "/quillon-differential-XXXXXX";
  if (!mkdtemp(scratch_template.data())) return 2;
  const fs::path scratch = scratch_template;
  const fs::path folder = scratch / "case";
  const bool proc = fs::is_directory("/proc/self");
  Random random(origin);
  std::size_t mismatches = 0, refused = 0, failed = 0;
  for (std::size_t number = 1; number <= cases; ++number) {
    Case made = MakeCase(random);
    if (!proc && (made.destination.starts_with("/proc") || made.destination.starts_with("/sys")))
      made.destination = "out";
    const std::vector<std::string> common{"--explain", "--settings", "settings.ini", "src.txt",
                                          made.destination};
    std::vector<std::string> dry{"--dry-run"}, real{"--yes"};
    dry.insert(dry.end(), common.begin(), common.end());
    real.insert(real.end(), common.begin(), common.end());

    MakeTree(folder, made);
    const auto before = Listing(scratch);
    const Outcome planned = RunBatch(dry, {.folder = folder.string()});
    const bool unchanged = Listing(scratch) == before;
    RemoveTree(folder);
    MakeTree(folder, made);
    const Outcome ran = RunBatch(real, {.folder = folder.string()});
    RemoveTree(folder);

    const std::string run_err = WithoutRunBoxes(ran.err);
    if (ran.status == 1) ++refused;
    if (ran.status == 3) ++failed;
    if (planned.status == ran.status && planned.out == ran.out && planned.err == run_err &&
        unchanged) {
      if (verbose) std::printf("case %zu: agreed, exit %d\n", number, ran.status);
      continue;
    }
    ++mismatches;
    std::printf(
        "case %zu of origin %llu: MISMATCH%s, destination %s, exit %d (dry run) and %d\n"
        "  settings: %s\n  source: %s\n",
        number, static_cast<unsigned long long>(origin),
        unchanged ? "" : " (the dry run changed the tree)", made.destination.c_str(),
        planned.status, ran.status, Shown(made.settings).c_str(), Shown(made.source_bytes).c_str());
    ShowDifference("standard output", planned.out, ran.out);
    ShowDifference("standard error", planned.err, run_err);
  }
  RemoveTree(scratch);
  std::printf(
      "differential: %zu cases of origin %llu (%zu refused by the checks, %zu ended by a "
      "failure), mismatches: %zu\n",
      cases, static_cast<unsigned long long>(origin), refused, failed, mismatches);
  return mismatches == 0 ? 0 : 1;
}
