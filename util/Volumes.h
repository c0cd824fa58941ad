// The mounted volumes that hold real file systems, read from the kernel's mount table
// (/proc/self/mountinfo). The drive box lists them and the folder tree shows them as the
// children of its virtual root; "the volume holding a path" finds a path's drive.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct Volume {
  std::string mountPoint;  // "/", "/media/ann/USB"
  std::string device;      // "/dev/sdb1", "server:/export"
  std::string label;       // the file system's label where the host knows one, else the device
  std::string fsType;      // "ext4", "vfat", "nfs4"
};

inline constexpr const char* kMountTablePath = "/proc/self/mountinfo";

// The volumes of a mount table's text: real file systems only (the root always, then block
// devices and network file systems; kernel and memory file systems are left out), the root
// first and the others by mount point. Where one mount point is mounted over, the last mount
// (the one on top) counts. Labels are left as the devices.
std::vector<Volume> ParseMountTable(std::string_view text);

// The mounted volumes of the host: the mount table parsed, mount points that are no folders
// (bind-mounted files) left out, labels filled in from /dev/disk/by-label. Empty when the table
// cannot be read.
std::vector<Volume> ListVolumes(const std::string& mountTable = kMountTablePath);

// The volume whose mount point is the longest prefix of the absolute path, ending at a
// separator ("/media/usb" holds "/media/usb/a" but not "/media/usbx"); nullptr when none does.
const Volume* VolumeHoldingPath(const std::vector<Volume>& volumes, std::string_view path);

// The mount points whose volume differs between two lists: mounted, unmounted, or mounted
// over by another device.
std::set<std::string> ChangedMountPoints(const std::vector<Volume>& before,
                                         const std::vector<Volume>& now);

}  // namespace quillon
