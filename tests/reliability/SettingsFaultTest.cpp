// The settings and history files under failing and concurrent writes: never half a file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "history/HistoryList.h"
#include "reliability/ChildProcess.h"
#include "settings/SettingsFile.h"
#include "support/RecordingRunHost.h"
#include "support/TempDir.h"
#include "util/IoError.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

const std::string kPrevious =
    "; written by hand\r\n[Several]\r\nSelection folder=/home/ann\r\n[Mine]\r\nkeep=1\r\n";

RunSettings Version(const std::string& folder, std::int32_t size) {
  RunSettings settings;
  settings.SelectionFolder = folder;
  settings.FillKind = "fix";
  settings.FillSize = size;
  return settings;
}

std::string WriteFailure(const std::string& file, const RunSettings& settings) {
  try {
    WriteRunSettings(file, settings);
    return "written";
  } catch (const UserError& error) {
    return error.what();
  }
}

TEST(SettingsFault, FullDiskAtCloseGivesTheErrorAndKeepsThePreviousFileWhole) {
  TempDir temp;
  const std::string file = temp.Write("quillon.ini", kPrevious);
  // The new file would be larger than the limit: its write fails part-way.
  const RunSettings settings = Version("/" + std::string(4000, 'x'), 7);
  const ChildResult child =
      RunInChild([&] { return WriteFailure(file, settings); }, {rlim_t{2048}});
  EXPECT_EQ(child.text, "Unable to write to " + file);
  EXPECT_EQ(ReadBytes(file), kPrevious);
  EXPECT_EQ(TreeOf(temp.path()), (Lines{"quillon.ini"}));  // no temporary file left
}

TEST(SettingsFault, UnwritableFolderAtCloseGivesTheErrorAndKeepsThePreviousFileWhole) {
  if (!CanDropPrivileges()) GTEST_SKIP() << "cannot write unprivileged";
  TempDir temp;
  fs::create_directory(temp / "program");
  const std::string file = temp.Write("program/quillon.ini", kPrevious);
  chmod(file.c_str(), 0666);
  OpenToUnprivileged(temp.path(), false);
  OpenToUnprivileged(temp / "program", false);
  const ChildResult child =
      RunInChild([&] { return WriteFailure(file, Version("/b", 1)); }, {{}, true});
  EXPECT_EQ(child.text, "Unable to write to " + file);
  EXPECT_EQ(ReadBytes(file), kPrevious);
  EXPECT_EQ(TreeOf(temp / "program"), (Lines{"quillon.ini"}));
}

// Runs the writers at once while this process reads the file as fast as it can; every read
// must be one of the complete versions.
void ExpectOnlyCompleteVersions(const std::vector<std::function<std::string()>>& writers,
                                const std::string& file,
                                const std::function<bool(const std::string&)>& complete,
                                const std::function<void()>& started = {}) {
  std::vector<RunningChild> children;
  for (const auto& writer : writers) children.push_back(StartInChild(writer));
  if (started) started();
  int reads = 0;
  bool running = true;
  while (running) {
    running = false;
    for (const RunningChild& child : children) running = running || !ChildEnded(child);
    std::ifstream in(file, std::ios::binary);
    if (!in) continue;  // not written yet
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ++reads;
    ASSERT_TRUE(complete(content)) << "read " << reads << " saw:\n" << content;
  }
  for (const RunningChild& child : children) {
    const ChildResult result = FinishChild(child);
    EXPECT_EQ(result.exit_status, 0) << result.text;
  }
  EXPECT_TRUE(complete(ReadBytes(file)));
}

TEST(SettingsFault, TwoProcessesWritingTheSettingsLeaveOneCompleteVersion) {
  TempDir temp;
  const std::string file = temp / "quillon.ini";
  const RunSettings a = Version("/first/" + std::string(300, 'a'), 11);
  const RunSettings b = Version("/second", -2);
  WriteRunSettings(temp / "a.ini", a);
  WriteRunSettings(temp / "b.ini", b);
  const std::string version_a = ReadBytes(temp / "a.ini");
  const std::string version_b = ReadBytes(temp / "b.ini");
  ASSERT_NE(version_a, version_b);

  const auto writer = [&](const RunSettings& settings) {
    return [&file, settings] {
      for (int i = 0; i < 150; ++i) WriteRunSettings(file, settings);
      return std::string();
    };
  };
  ExpectOnlyCompleteVersions({writer(a), writer(b)}, file, [&](const std::string& content) {
    return content == version_a || content == version_b;
  });
  EXPECT_EQ(TreeOf(temp.path()), (Lines{"a.ini", "b.ini", "quillon.ini"}));
}

// A history file written by one list: "P7", "P6", ... down to at most ten items of one prefix,
// each line ended by CR LF.
bool IsOneWritersList(const std::string& content) {
  if (content.empty()) return true;
  const Lines lines = SplitLines(content);
  if (lines.size() > 10 || content.substr(content.size() - 2) != "\r\n") return false;
  const char prefix = lines[0].empty() ? 0 : lines[0][0];
  int expected = -1;
  for (const std::string& line : lines) {
    if (line.size() < 3 || line[0] != prefix || line.back() != '\r') return false;
    const int number = std::stoi(line.substr(1, line.size() - 2));
    if (expected >= 0 && number != expected) return false;
    expected = number - 1;
  }
  return prefix == 'A' || prefix == 'B';
}

TEST(SettingsFault, TwoProcessesWritingTheHistoryLeaveOneCompleteList) {
  TempDir temp;
  // Both lists load the empty history before either adds anything, as two windows started
  // together: each waits until the other has loaded.
  int ready[2];
  int go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  const auto writer = [&](char prefix) {
    return [&temp, &ready, &go, prefix] {
      close(go[1]);
      RecordingRunHost messages;
      HistoryList list(messages);
      list.LoadHistory(temp.path());
      char byte = 1;
      if (write(ready[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 0) return std::string("?");
      for (int i = 0; i < 300; ++i) list.AddItem(prefix + std::to_string(i));
      return std::string();
    };
  };
  const auto release = [&] {
    close(ready[1]);  // so a child that dies before loading cannot leave this waiting
    char bytes[2];
    for (std::size_t got = 0; got < 2;) {
      const ssize_t n = read(ready[0], bytes, 2 - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    close(go[1]);
  };
  ExpectOnlyCompleteVersions({writer('A'), writer('B')}, temp / "files.his", IsOneWritersList,
                             release);
  close(ready[0]);
  close(go[0]);
  EXPECT_EQ(TreeOf(temp.path()), (Lines{"files.his"}));
}

}  // namespace
}  // namespace quillon::testing
