// Memory stays bounded for long sources and large fills, and a run over existing files changes
// nothing in the destination. Peak memory is the kernel's own accounting of the child
// (ru_maxrss from wait4); it also covers the forked copy of this test before it became the
// batch command, so the figure errs on the high side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "reliability/ChildProcess.h"
#include "support/TempDir.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;

constexpr long kMemoryLimitKib = 64 * 1024;

// The sanitizers' shadow memory and quarantine make a peak figure meaningless.
#define SKIP_WHEN_SANITIZED() \
  if (kSanitized) GTEST_SKIP() << "peak memory is measured in the normal build"

bool HasFreeBytes(const std::string& folder, std::uint64_t needed) {
  struct statvfs volume {};
  return statvfs(folder.c_str(), &volume) == 0 &&
         std::uint64_t{volume.f_bavail} * volume.f_frsize >= needed;
}

std::string LastLines(const std::string& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
    if (lines.size() > count) lines.erase(lines.begin());
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

TEST(ResourceLimit, MillionLineSourceRunsInBoundedMemory) {
  SKIP_WHEN_SANITIZED();
  TempDir temp;
  fs::create_directory(temp / "dest");
  // A thousand names, each a thousand times: every line reaches the file system.
  {
    std::ofstream source(temp / "names.txt", std::ios::binary);
    for (int i = 0; i < 1'000'000; ++i) source << "name" << i % 1000 << "\n";
  }
  const std::string report = temp / "report.txt";
  const BatchResult result = RunBatch(
      {"--settings", temp.Write("none.ini", ""), "--yes", temp / "names.txt", temp / "dest"},
      temp.path(), {}, report);
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(LastLines(report, 4),
            "Finished!\nCreated files: 1000/1000000\nExisting files: 999000/1000000\n"
            "Success ratio: 1000000/1000000 or 100%\n");
  EXPECT_LT(result.max_rss_kib, kMemoryLimitKib);
  RecordProperty("peak_kib", std::to_string(result.max_rss_kib));
}

TEST(ResourceLimit, LargestFillRunsInBoundedMemory) {
  SKIP_WHEN_SANITIZED();
  constexpr std::int64_t kSize = 2147483647;
  TempDir temp;
  if (!HasFreeBytes(temp.path(), std::uint64_t{kSize} + (std::uint64_t{1} << 30))) {
    GTEST_SKIP() << "needs 3 GiB free in " << temp.path();
  }
  fs::create_directory(temp / "dest");
  const std::string settings =
      temp.Write("fill.ini", "[Fill]\nKind=fix\nSize=2147483647\nWith=120\n");
  const std::string source = temp.Write("names.txt", "big\n");
  const BatchResult result = RunBatch({"--settings", settings, source, temp / "dest"}, temp.path());
  const std::string big = temp / "dest/big.txt";
  const std::uintmax_t size = fs::file_size(big);
  char first = 0, last = 0;
  {
    std::ifstream in(big, std::ios::binary);
    in.get(first);
    in.seekg(kSize - 1);
    in.get(last);
  }
  fs::remove(big);

  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out,
            "Started...\nFinished!\nCreated files: 1/1\nExisting files: 0/1\n"
            "Success ratio: 1/1 or 100%\n");
  EXPECT_EQ(size, std::uintmax_t{kSize});
  EXPECT_EQ(first, 'x');
  EXPECT_EQ(last, 'x');
  EXPECT_LT(result.max_rss_kib, kMemoryLimitKib);
  RecordProperty("peak_kib", std::to_string(result.max_rss_kib));
}

// A file of one line of 1 GiB: its first bytes and last bytes as given, zeros between (a
// sparse file, so it takes no disk space and reads fast).
std::string OneGibibyteLine(const TempDir& temp, const std::string& name, const std::string& head,
                            const std::string& tail) {
  constexpr off_t kSize = off_t{1} << 30;
  const std::string path = temp.Write(name, head);
  const int fd = open(path.c_str(), O_WRONLY);
  EXPECT_EQ(ftruncate(fd, kSize - static_cast<off_t>(tail.size())), 0);
  EXPECT_EQ(pwrite(fd, tail.data(), tail.size(), kSize - static_cast<off_t>(tail.size())),
            static_cast<ssize_t>(tail.size()));
  close(fd);
  return path;
}

TEST(ResourceLimit, OneGibibyteLineRunsInBoundedMemory) {
  SKIP_WHEN_SANITIZED();
  TempDir temp;
  fs::create_directory(temp / "dest");
  const std::string source = OneGibibyteLine(temp, "names.txt", "name", "|x");
  const std::string settings = temp.Write("var.ini", "[Fill]\nKind=var\n");
  const BatchResult result = RunBatch({"--settings", settings, source, temp / "dest"}, temp.path());
  EXPECT_EQ(result.exit_status, 0) << result.err;
  // The size report quotes the first 4,096 bytes of the line and marks the rest.
  const std::string quoted = "name" + std::string(4092, '\0') + "...";
  EXPECT_EQ(result.out,
            "Started...\n" + quoted +
                ": Unable to find valid size. Size set to 0. \n"
                "Warning: file to be made longer than 127 characters. Forbidden. Possibly bad "
                "text-file given!\nFinished!\nCreated files: 0/1\nExisting files: 0/1\n"
                "Success ratio: 0/1 or 0%\n");
  EXPECT_EQ(TreeOf(temp / "dest"), std::vector<std::string>{});
  EXPECT_LT(result.max_rss_kib, kMemoryLimitKib);
  RecordProperty("peak_kib", std::to_string(result.max_rss_kib));
}

TEST(ResourceLimit, OneGibibyteFillTextRunsInBoundedMemory) {
  SKIP_WHEN_SANITIZED();
  TempDir temp;
  if (!HasFreeBytes(temp.path(), std::uint64_t{3} << 30)) {
    GTEST_SKIP() << "needs 3 GiB free in " << temp.path();
  }
  fs::create_directory(temp / "dest");
  const std::string text = OneGibibyteLine(temp, "text.txt", "first", "last");
  const std::string settings =
      temp.Write("single.ini", "[Fill]\nKind=single\nText=1\nFile name=" + text + "\n");
  const BatchResult result = RunBatch(
      {"--settings", settings, temp.Write("names.txt", "big\n"), temp / "dest"}, temp.path());
  const std::string big = temp / "dest/big.txt";
  const std::uintmax_t size = fs::file_size(big);
  std::string head(5, ' '), tail(8, ' ');
  {
    std::ifstream in(big, std::ios::binary);
    in.read(head.data(), 5);
    in.seekg(-8, std::ios::end);
    in.read(tail.data(), 8);
  }
  fs::remove(big);
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(size, (std::uintmax_t{1} << 30) + 4);  // the line, its line end and one more
  EXPECT_EQ(head, "first");
  EXPECT_EQ(tail, "last\r\n\r\n");
  EXPECT_LT(result.max_rss_kib, kMemoryLimitKib);
  RecordProperty("peak_kib", std::to_string(result.max_rss_kib));
}

// Watches a folder for every change made to it or to the entries in it, by any process.
class ChangeWatch {
 public:
  explicit ChangeWatch(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    inotify_add_watch(fd_, folder.c_str(),
                      IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE |
                          IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF);
  }
  ~ChangeWatch() { close(fd_); }
  bool valid() const { return fd_ >= 0; }

  // The names of the entries changed since the last call.
  std::vector<std::string> Changes() {
    std::vector<std::string> names;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      const ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got <= 0) return names;
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        names.push_back(event->len > 0 ? event->name : "(the folder)");
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

 private:
  int fd_;
};

TEST(ResourceLimit, RunOverExistingFilesChangesNothingInTheDestination) {
  TempDir temp;
  const std::string destination = temp / "dest";
  fs::create_directory(destination);
  std::string names;
  for (int i = 0; i < 150; ++i)
    names += "file" + std::to_string(i) + "|" + std::to_string(i) + "\n";
  const std::string source = temp.Write("names.txt", names);
  const std::string settings = temp.Write("fill.ini", "[Fill]\nKind=var\n");
  const std::vector<std::string> arguments{"--settings", settings, "--yes", source, destination};
  ASSERT_EQ(RunBatch(arguments, temp.path()).exit_status, 0);
  const std::vector<std::string> before = TreeOf(destination);
  ASSERT_EQ(before.size(), 150u);

  ChangeWatch watch(destination);
  ASSERT_TRUE(watch.valid());
  const BatchResult again = RunBatch(arguments, temp.path());
  EXPECT_EQ(again.exit_status, 0);
  EXPECT_TRUE(again.out.ends_with("Existing files: 150/150\nSuccess ratio: 150/150 or 100%\n"));
  EXPECT_EQ(watch.Changes(), std::vector<std::string>{});
  EXPECT_EQ(TreeOf(destination), before);
  EXPECT_EQ(fs::file_size(destination + "/file149.txt"), 149u);

  // The watch does see a change, so the silence above means something.
  temp.Write("dest/file0.txt", "x");
  EXPECT_EQ(watch.Changes().empty(), false);
}

}  // namespace
}  // namespace quillon::testing
