// A program folder the user cannot write to: the settings and history files go to the user's
// configuration folder for Quillon instead.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "reliability/ChildProcess.h"
#include "settings/SettingsFile.h"
#include "support/TempDir.h"
#include "util/Platform.h"

namespace quillon::testing {
namespace {

namespace fs = std::filesystem;

TEST(DataFolder, AnUnwritableProgramFolderSendsTheFilesToTheConfigurationFolder) {
  if (!CanDropPrivileges()) GTEST_SKIP() << "cannot run unprivileged";
  TempDir temp;
  fs::create_directory(temp / "program");
  fs::create_directory(temp / "config");
  OpenToUnprivileged(temp.path(), false);
  OpenToUnprivileged(temp / "program", false);
  OpenToUnprivileged(temp / "config", true);
  const ChildResult child = RunInChild(
      [&] {
        setenv("XDG_CONFIG_HOME", (temp / "config").c_str(), 1);
        return DataFolderFor(temp / "program") + "\n" + SettingsFileFor(temp / "program/quillon");
      },
      {{}, true});
  EXPECT_EQ(child.text, temp / "config/quillon\n" + temp / "config/quillon/quillon.ini");
  EXPECT_TRUE(fs::is_directory(temp / "config/quillon"));
  EXPECT_TRUE(fs::is_empty(temp / "program"));
}

}  // namespace
}  // namespace quillon::testing
