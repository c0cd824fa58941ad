// The mounted volumes that hold real file systems, read from the kernel's mount table
// (/proc/self/mountinfo). The drive box lists them and the folder tree shows them as the
// children of its virtual root; "the volume holding a path" finds a path's drive.
#pragma once

#include <chrono>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct Volume {
  std::string mount_point;  // "/", "/media/ann/USB"
  std::string device;       // "/dev/sdb1", "server:/export"
  std::string label;        // the file system's label where the host knows one, else the device
  std::string fs_type;      // "ext4", "vfat", "nfs4"
};

inline constexpr const char* kMountTablePath = "/proc/self/mountinfo";

// Every mount of a mount table's text, the root first and the others by mount point. Where one
// mount point is mounted over, the last mount (the one on top) counts.
std::vector<Volume> ParseAllMounts(std::string_view text);

// The volumes among them: real file systems only (the root always, then block devices,
// network, cluster and FUSE file systems; kernel and memory file systems and the desktop's own
// FUSE plumbing are left out). Labels are left as the devices.
std::vector<Volume> ParseMountTable(std::string_view text);

// The text of the mount table; empty when it cannot be read. Reading it never waits on a mount.
std::string ReadMountTable(const std::string& mountTable = kMountTablePath);

// Fills in the labels of block devices from /dev/disk/by-label.
void LabelVolumes(std::vector<Volume>& volumes);

// The mounted volumes of the host: the mount table parsed, mount points that are no folders
// (bind-mounted files) left out, labels filled in. A mount point that has not answered within
// the patience (a network server that is gone) stays listed, and goes to late when given.
// Empty when the table cannot be read.
std::vector<Volume> ListVolumes(const std::string& mountTable = kMountTablePath,
                                std::chrono::milliseconds patience = std::chrono::milliseconds(200),
                                std::vector<std::string>* late = nullptr);

// The same, from a mount table's text read already.
std::vector<Volume> ListVolumesOf(std::string_view mountTableText,
                                  std::chrono::milliseconds patience,
                                  std::vector<std::string>* late = nullptr);

// Whether the path is the mount point of one of the host's volumes (a drive root).
bool IsVolumeRoot(const std::string& path);

// The volume whose mount point is the longest prefix of the absolute path, ending at a
// separator ("/media/usb" holds "/media/usb/a" but not "/media/usbx"); nullptr when none does.
const Volume* VolumeHoldingPath(const std::vector<Volume>& volumes, std::string_view path);

// The mount points whose volume differs between two lists: mounted, unmounted, or mounted
// over by another device.
std::set<std::string> ChangedMountPoints(const std::vector<Volume>& before,
                                         const std::vector<Volume>& now);

}  // namespace quillon
