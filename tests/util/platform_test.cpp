// Where the program keeps its files and finds its help page, in a copy built or unpacked in a
// folder of its own and in an installed copy; work started beside a busy caller.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "support/TempDir.h"
#include "util/Platform.h"

namespace quillon {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DataFolder, AWritableProgramFolderKeepsTheFilesBesideTheProgram) {
  TempDir dir;
  const ScopedVariable config("XDG_CONFIG_HOME", dir / "config");
  EXPECT_EQ(DataFolderFor(dir.path()), dir.path());
  EXPECT_FALSE(fs::exists(dir / "config"));
}

TEST(DataFolder, AnInstalledCopyUsesTheUsersConfigurationFolder) {
  TempDir dir;
  fs::create_directory(dir / "bin");  // writable here, yet an installed copy's folder
  {
    const ScopedVariable config("XDG_CONFIG_HOME", dir / "config");
    EXPECT_EQ(DataFolderFor(dir / "bin"), dir / "config/quillon");
    EXPECT_TRUE(fs::is_directory(dir / "config/quillon"));
  }
  // Without XDG_CONFIG_HOME, or with a relative one (which the XDG rules ignore): ~/.config.
  const ScopedVariable home("HOME", dir / "home");
  for (const std::optional<std::string>& value :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("relative/config")}) {
    const ScopedVariable config("XDG_CONFIG_HOME", value);
    EXPECT_EQ(DataFolderFor(dir / "bin"), dir / "home/.config/quillon");
  }
  EXPECT_TRUE(fs::is_directory(dir / "home/.config/quillon"));
  EXPECT_FALSE(fs::exists(dir / "relative"));
  // With no home either, the program folder is all there is.
  const ScopedVariable no_config("XDG_CONFIG_HOME", std::nullopt);
  const ScopedVariable no_home("HOME", std::nullopt);
  EXPECT_EQ(DataFolderFor(dir / "bin"), dir / "bin");
}

TEST(HelpFile, BesideTheProgramElseWhereAnInstalledCopyKeepsIt) {
  TempDir dir;
  fs::create_directories(dir / "bin");
  // Neither there: the page beside the program is opened (and the opening fails silently).
  EXPECT_EQ(HelpFileFor(dir / "bin"), dir / "bin/quillon.html");
  fs::create_directories(dir / "share/doc/quillon");
  dir.Write("share/doc/quillon/quillon.html", "<html></html>");
  EXPECT_EQ(HelpFileFor(dir / "bin"), dir / "share/doc/quillon/quillon.html");
  // A page beside the program wins; a folder of that name is no page.
  fs::create_directory(dir / "bin/quillon.html");
  EXPECT_EQ(HelpFileFor(dir / "bin"), dir / "share/doc/quillon/quillon.html");
  fs::remove(dir / "bin/quillon.html");
  dir.Write("bin/quillon.html", "<html></html>");
  EXPECT_EQ(HelpFileFor(dir / "bin"), dir / "bin/quillon.html");
  // At the root, the installed place is /share/doc/quillon.
  EXPECT_EQ(HelpFileFor("/"), "/quillon.html");
}

TEST(StartBeside, TheWorkRunsOffTheCallersCoreWhereThereIsAnother) {
  cpu_set_t allowed;
  ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
  std::atomic<bool> release{false};
  std::atomic<bool> ran{false};
  std::thread thread = StartBeside([&] {
    while (!release) std::this_thread::yield();
    ran = true;
  });
  cpu_set_t given;
  ASSERT_EQ(pthread_getaffinity_np(thread.native_handle(), sizeof given, &given), 0);
  release = true;
  thread.join();
  EXPECT_TRUE(ran);
  // The caller's own core is left out; on a single core the thread takes that one.
  EXPECT_EQ(CPU_COUNT(&given), CPU_COUNT(&allowed) > 1 ? CPU_COUNT(&allowed) - 1 : 1);
  cpu_set_t outside;
  CPU_XOR(&outside, &given, &allowed);
  CPU_AND(&outside, &outside, &given);
  EXPECT_EQ(CPU_COUNT(&outside), 0);  // never a core the caller may not use
}

}  // namespace
}  // namespace quillon
