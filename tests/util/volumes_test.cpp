#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "support/TempDir.h"
#include "support/UnansweringMount.h"
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
  EXPECT_EQ(volumes[0].mount_point, "/");
  EXPECT_EQ(volumes[0].device, "/dev/sda2");
  EXPECT_EQ(volumes[0].fs_type, "ext4");
  EXPECT_EQ(volumes[1].mount_point, "/home");
  EXPECT_EQ(volumes[1].device, "/dev/sda4");  // mounted over: the one on top counts
  EXPECT_EQ(volumes[2].mount_point, "/media/ann/My Stick");
  EXPECT_EQ(volumes[2].label, "/dev/sdb1");
  EXPECT_EQ(volumes[3].mount_point, "/mnt/share");
  EXPECT_EQ(volumes[3].fs_type, "nfs4");
}

TEST(Volumes, EveryFileSystemAUserKeepsFilesOnAndNoPseudoOnes) {
  const std::vector<Volume> volumes = ParseMountTable(
      "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
      "40 1 0:50 / /tank/data rw - zfs tank/data rw\n"
      "41 1 0:51 / /mnt/host rw - virtiofs hostshare rw\n"
      "42 1 0:52 / /mnt/ceph rw - ceph 10.0.0.1:6789:/ rw\n"
      "43 1 0:53 / /mnt/nfs rw - nfs4 server:/export rw\n"
      "44 1 0:54 / /mnt/smb rw - cifs //server/share rw\n"
      "45 1 0:55 / /home/ann/remote rw - fuse.sshfs ann@server: rw\n"
      "46 1 0:56 / /home/ann/cloud rw - fuse.rclone drive: rw\n"
      "47 1 0:57 / /mnt/fuse rw - fuse quillon-test rw\n"
      "50 1 0:60 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
      "51 1 0:61 / /run/user/1000/doc rw - fuse.portal portal rw\n"
      "52 1 0:62 / /sys/fs/fuse/connections rw - fusectl fusectl rw\n"
      "53 1 0:63 / /var/lib/lxcfs rw - fuse.lxcfs lxcfs rw\n"
      "54 1 0:64 / /dev/shm rw - tmpfs tmpfs rw\n"
      "55 1 0:65 / /proc rw - proc proc rw\n"
      "56 1 0:66 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
      "57 1 7:3 / /snap/core/2 ro - squashfs /dev/loop3 ro\n");
  std::vector<std::string> points;
  for (const Volume& volume : volumes) points.push_back(volume.mount_point);
  EXPECT_EQ(points, (std::vector<std::string>{"/", "/home/ann/cloud", "/home/ann/remote",
                                              "/mnt/ceph", "/mnt/fuse", "/mnt/host", "/mnt/nfs",
                                              "/mnt/smb", "/tank/data"}));
  // Every mount, real or not, for telling which mount a path lies on.
  EXPECT_EQ(ParseAllMounts("1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
                           "55 1 0:65 / /proc rw - proc proc rw\n")
                .size(),
            2u);
}

TEST(Volumes, RootIsKeptWhateverItsFileSystem) {
  const std::vector<Volume> volumes =
      ParseMountTable("1 0 0:5 / / rw - overlay overlay rw\n2 1 0:6 / /dev rw - tmpfs tmpfs rw\n");
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].mount_point, "/");
}

TEST(Volumes, HoldingPathIsTheLongestMountPointAtASeparator) {
  const std::vector<Volume> volumes = ParseMountTable(kTable);
  EXPECT_EQ(VolumeHoldingPath(volumes, "/home/ann/x")->mount_point, "/home");
  EXPECT_EQ(VolumeHoldingPath(volumes, "/home")->mount_point, "/home");
  EXPECT_EQ(VolumeHoldingPath(volumes, "/homes/x")->mount_point, "/");
  EXPECT_EQ(VolumeHoldingPath(volumes, "/media/ann/My Stick/a")->mount_point,
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
  std::vector<std::string> late;
  const std::vector<Volume> volumes = ListVolumes(kMountTablePath, std::chrono::seconds(5), &late);
  ASSERT_FALSE(volumes.empty());
  EXPECT_EQ(volumes[0].mount_point, "/");
  // Only the mounts that other tests running meanwhile leave unanswered are late.
  for (const std::string& point : late) {
    const Volume* volume = VolumeHoldingPath(volumes, point);
    EXPECT_TRUE(volume && volume->device == "quillon-test") << point;
  }
  EXPECT_TRUE(ListVolumes("/no/such/table").empty());
  EXPECT_TRUE(IsVolumeRoot("/"));
  EXPECT_FALSE(IsVolumeRoot("/proc"));  // a kernel file system is no drive
  EXPECT_FALSE(IsVolumeRoot(""));
}

TEST(Volumes, ATableIsReadWholeFromAFileAndNeverWaitedOn) {
  testing::TempDir dir;
  // Tabs between the fields count as blanks do.
  const std::string table = std::string(kTable) + "41\t22\t8:5 / /data rw -\text4 /dev/sda5 rw\n";
  { std::ofstream(dir / "mountinfo", std::ios::binary) << table; }
  EXPECT_EQ(ReadMountTable(dir / "mountinfo"), table);
  const std::vector<Volume> volumes = ParseMountTable(ReadMountTable(dir / "mountinfo"));
  ASSERT_EQ(volumes.size(), 5u);
  EXPECT_EQ(volumes[1].mount_point, "/data");
  EXPECT_EQ(volumes[1].device, "/dev/sda5");
  // A pipe or a folder in the table's place reads as no table, at once.
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(ReadMountTable(dir / "pipe"), "");
  EXPECT_TRUE(ListVolumes(dir / "pipe").empty());
  EXPECT_EQ(ReadMountTable(dir.path()), "");
}

TEST(Volumes, AMountThatNeverAnswersIsListedLateWithoutWaiting) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir / "point");
  testing::UnansweringMount mount(dir / "point");
  if (!mount.ok()) GTEST_SKIP() << mount.why();
  // A listing that waits for the mount finds it ended, long after the listing's own patience.
  mount.EndAfter(std::chrono::seconds(60));
  std::vector<std::string> late;
  const std::vector<Volume> volumes =
      ListVolumes(kMountTablePath, std::chrono::milliseconds(100), &late);
  EXPECT_FALSE(mount.Ended()) << "the listing waited for the mount";
  // Other tests may hold such mounts of their own meanwhile.
  EXPECT_NE(std::find(late.begin(), late.end(), mount.point()), late.end());
  EXPECT_TRUE(VolumeHoldingPath(volumes, mount.point() + "/x"));
  EXPECT_EQ(VolumeHoldingPath(volumes, mount.point())->fs_type, "fuse.sshfs");
}

}  // namespace
}  // namespace quillon
