#include <gtest/gtest.h>

#include "util/Volumes.h"

namespace quillon {
namespace {

constexpr const char* kTable =
    "25 1 0:23 / /proc rw,nosuid - proc proc rw\n"
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "31 22 8:17 / /media/ann/My\\040Stick rw,relatime shared:5 - vfat /dev/sdb1 rw\n"
    "32 22 0:40 / /tmp rw - tmpfs tmpfs rw\n"
    "33 22 0:41 / /mnt/share rw - nfs4 server:/export rw\n"
    "34 22 7:1 / /snap/core/1 ro - squashfs /dev/loop1 ro\n"
    "35 22 8:3 / /home rw - ext4 /dev/sda3 rw\n"
    "36 22 8:4 / /home rw - xfs /dev/sda4 rw\n"
    "broken line\n";

TEST(Volumes, RealFileSystemsRootFirstThenByMountPoint) {
  const std::vector<Volume> volumes = ParseMountTable(kTable);
  ASSERT_EQ(volumes.size(), 4u);
  EXPECT_EQ(volumes[0].mountPoint, "/");
  EXPECT_EQ(volumes[0].device, "/dev/sda2");
  EXPECT_EQ(volumes[0].fsType, "ext4");
  EXPECT_EQ(volumes[1].mountPoint, "/home");
  EXPECT_EQ(volumes[1].device, "/dev/sda4");  // mounted over: the one on top counts
  EXPECT_EQ(volumes[2].mountPoint, "/media/ann/My Stick");
  EXPECT_EQ(volumes[2].label, "/dev/sdb1");
  EXPECT_EQ(volumes[3].mountPoint, "/mnt/share");
  EXPECT_EQ(volumes[3].fsType, "nfs4");
}

TEST(Volumes, RootIsKeptWhateverItsFileSystem) {
  const std::vector<Volume> volumes =
      ParseMountTable("1 0 0:5 / / rw - overlay overlay rw\n2 1 0:6 / /dev rw - tmpfs tmpfs rw\n");
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].mountPoint, "/");
}

TEST(Volumes, HoldingPathIsTheLongestMountPointAtASeparator) {
  const std::vector<Volume> volumes = ParseMountTable(kTable);
  EXPECT_EQ(VolumeHoldingPath(volumes, "/home/ann/x")->mountPoint, "/home");
  EXPECT_EQ(VolumeHoldingPath(volumes, "/home")->mountPoint, "/home");
  EXPECT_EQ(VolumeHoldingPath(volumes, "/homes/x")->mountPoint, "/");
  EXPECT_EQ(VolumeHoldingPath(volumes, "/media/ann/My Stick/a")->mountPoint,
            "/media/ann/My Stick");
  EXPECT_EQ(VolumeHoldingPath(volumes, "relative"), nullptr);
  EXPECT_EQ(VolumeHoldingPath({}, "/a"), nullptr);
}

TEST(Volumes, ChangedMountPointsAreThoseMountedUnmountedOrMountedOver) {
  const std::vector<Volume> before = ParseMountTable(kTable);
  EXPECT_TRUE(ChangedMountPoints(before, before).empty());
  const std::vector<Volume> now = ParseMountTable(
      "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
      "35 22 8:3 / /home rw - ext4 /dev/sda3 rw\n"
      "33 22 0:41 / /mnt/share rw - nfs4 server:/export rw\n"
      "40 22 8:33 / /media/new rw - ext4 /dev/sdc1 rw\n");
  // /home shows another device, the stick went, /media/new came.
  EXPECT_EQ(ChangedMountPoints(before, now),
            (std::set<std::string>{"/home", "/media/ann/My Stick", "/media/new"}));
  EXPECT_EQ(ChangedMountPoints(now, before), ChangedMountPoints(before, now));
  EXPECT_EQ(ChangedMountPoints({}, now).size(), now.size());
}

TEST(Volumes, TheHostListsItsRoot) {
  const std::vector<Volume> volumes = ListVolumes();
  ASSERT_FALSE(volumes.empty());
  EXPECT_EQ(volumes[0].mountPoint, "/");
  EXPECT_TRUE(ListVolumes("/no/such/table").empty());
}

}  // namespace
}  // namespace quillon
