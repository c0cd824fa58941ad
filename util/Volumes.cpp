#include "util/Volumes.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>

#include "util/BlockingWork.h"
#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"

namespace quillon {
namespace {

// A host with this many mounts is broken; its table is not read.
constexpr std::size_t kLargestMountTable = 64 * 1024 * 1024;
// What separates the fields of a line of the table.
constexpr std::string_view kFieldBlanks = " \t\r\v\f";

// Kernel, memory and image file systems, and FUSE mounts of the desktop's own plumbing:
// nothing a user keeps files on as a drive.
constexpr std::array<std::string_view, 33> kPseudoTypes = {
    "proc",       "sysfs",           "devtmpfs",      "devpts",
    "tmpfs",      "ramfs",           "cgroup",        "cgroup2",
    "securityfs", "pstore",          "debugfs",       "tracefs",
    "configfs",   "fusectl",         "mqueue",        "hugetlbfs",
    "bpf",        "autofs",          "binfmt_misc",   "nsfs",
    "efivarfs",   "rpc_pipefs",      "selinuxfs",     "squashfs",
    "overlay",    "fuse.gvfsd-fuse", "fuse.portal",   "fuse.lxcfs",
    "nfsd",       "devfs",           "fuse.snapfuse", "fuse.xdg-document-portal",
    "fuse.doc"};

// File systems whose source is no device path: network, cluster and host-shared file systems
// (every FUSE file system not named above counts too).
constexpr std::array<std::string_view, 16> kNetworkTypes = {
    "nfs",  "nfs4",      "cifs",   "smb3", "smbfs", "9p",    "zfs",  "virtiofs",
    "ceph", "glusterfs", "lustre", "afs",  "gfs2",  "ocfs2", "fuse", "fuseblk"};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& list, std::string_view value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

// The table writes blanks, tabs, line feeds and backslashes as octal escapes (\040).
std::string UnescapeOctal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' &&
        text[i + 2] >= '0' && text[i + 2] <= '7' && text[i + 3] >= '0' && text[i + 3] <= '7') {
      out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                               (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The names under /dev/disk/by-label write unsafe characters as \xNN.
std::string UnescapeHex(std::string_view text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && text.size() - i >= 4 && text[i + 1] == 'x' && hex(text[i + 2]) >= 0 &&
        hex(text[i + 3]) >= 0) {
      out += static_cast<char>(hex(text[i + 2]) * 16 + hex(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsRealFileSystem(const Volume& volume) {
  if (IsRootPath(volume.mount_point)) return true;
  if (Contains(kPseudoTypes, volume.fs_type)) return false;
  if (Contains(kNetworkTypes, volume.fs_type) || volume.fs_type.starts_with("fuse.")) return true;
  return volume.device.starts_with('/');
}

std::map<std::string, std::string> LabelsByDevice() {
  std::map<std::string, std::string> labels;
  const std::string folder = "/dev/disk/by-label";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return labels;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    char resolved[PATH_MAX];
    if (realpath(JoinPath(folder, name).c_str(), resolved)) labels[resolved] = UnescapeHex(name);
  }
  closedir(dir);
  return labels;
}

}  // namespace

std::vector<Volume> ParseAllMounts(std::string_view text) {
  std::map<std::string, Volume> byMountPoint;
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    // id parent major:minor root mount-point options [optional fields] - type source super
    parts.clear();
    for (;;) {
      const std::size_t start = line.find_first_not_of(kFieldBlanks);
      if (start == std::string_view::npos) break;
      line.remove_prefix(start);
      const std::size_t length = std::min(line.find_first_of(kFieldBlanks), line.size());
      parts.push_back(line.substr(0, length));
      line.remove_prefix(length);
    }
    const auto dash = std::find(parts.begin(), parts.end(), "-");
    if (parts.size() < 5 || dash == parts.end() || parts.end() - dash < 3) continue;
    Volume volume;
    volume.mount_point = UnescapeOctal(parts[4]);
    volume.fs_type = UnescapeOctal(*(dash + 1));
    volume.device = UnescapeOctal(*(dash + 2));
    volume.label = volume.device;
    if (!IsAbsolutePath(volume.mount_point)) continue;
    byMountPoint[volume.mount_point] = std::move(volume);
  }
  std::vector<Volume> mounts;
  mounts.reserve(byMountPoint.size());
  // std::map orders by mount point, and "/" sorts before every other absolute path.
  for (auto& [mount_point, volume] : byMountPoint) mounts.push_back(std::move(volume));
  return mounts;
}

std::vector<Volume> ParseMountTable(std::string_view text) {
  std::vector<Volume> volumes = ParseAllMounts(text);
  std::erase_if(volumes, [](const Volume& volume) { return !IsRealFileSystem(volume); });
  return volumes;
}

std::string ReadMountTable(const std::string& mountTable) {
  try {
    return ReadWholeFile(mountTable, kLargestMountTable);
  } catch (const IoError&) {
    return std::string();
  }
}

void LabelVolumes(std::vector<Volume>& volumes) {
  const std::map<std::string, std::string> labels = LabelsByDevice();
  for (Volume& volume : volumes) {
    // Only device nodes are resolved: other sources are no paths, or lie on other mounts.
    if (!volume.device.starts_with("/dev/")) continue;
    char resolved[PATH_MAX];
    const std::string device = realpath(volume.device.c_str(), resolved) ? resolved : volume.device;
    if (const auto found = labels.find(device); found != labels.end()) volume.label = found->second;
  }
}

std::vector<Volume> ListVolumes(const std::string& mountTable, std::chrono::milliseconds patience,
                                std::vector<std::string>* late) {
  return ListVolumesOf(ReadMountTable(mountTable), patience, late);
}

std::vector<Volume> ListVolumesOf(std::string_view mountTableText,
                                  std::chrono::milliseconds patience,
                                  std::vector<std::string>* late) {
  std::vector<Volume> volumes = ParseMountTable(mountTableText);
  // Each mount point is asked on its own lane; one that does not answer in time stays listed,
  // and its question waits on its lane rather than starting another thread next time.
  static BlockingWork work;
  std::vector<std::uint64_t> tickets;
  auto folders = std::make_shared<std::vector<char>>(volumes.size(), 1);
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const std::string point = volumes[i].mount_point;
    tickets.push_back(work.Post(point, [point, folders, i] {
      const bool folder = IsFolder(point);
      return [folders, i, folder] { (*folders)[i] = folder ? 1 : 0; };
    }));
  }
  const auto deadline = BlockingWork::Clock::now() + patience;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    // A mount point still busy with an earlier question is not waited on again.
    const bool stalled = work.Stalled(volumes[i].mount_point, patience);
    if ((stalled || !work.WaitFor(tickets[i], deadline)) && late)
      late->push_back(volumes[i].mount_point);
  }
  std::vector<Volume> listed;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    if ((*folders)[i]) listed.push_back(std::move(volumes[i]));
  }
  LabelVolumes(listed);
  return listed;
}

bool IsVolumeRoot(const std::string& path) {
  const std::vector<Volume> volumes = ListVolumes();
  return std::any_of(volumes.begin(), volumes.end(),
                     [&](const Volume& volume) { return volume.mount_point == path; });
}

const Volume* VolumeHoldingPath(const std::vector<Volume>& volumes, std::string_view path) {
  const Volume* best = nullptr;
  for (const Volume& volume : volumes) {
    const std::string& mount = volume.mount_point;
    const bool holds =
        IsRootPath(mount)
            ? path.starts_with('/')
            : path.starts_with(mount) && (path.size() == mount.size() || path[mount.size()] == '/');
    if (holds && (!best || mount.size() > best->mount_point.size())) best = &volume;
  }
  return best;
}

std::set<std::string> ChangedMountPoints(const std::vector<Volume>& before,
                                         const std::vector<Volume>& now) {
  std::set<std::string> changed;
  auto note = [&](const std::vector<Volume>& from, const std::vector<Volume>& in) {
    for (const Volume& volume : from) {
      const auto same = std::find_if(in.begin(), in.end(), [&](const Volume& v) {
        return v.mount_point == volume.mount_point && v.device == volume.device;
      });
      if (same == in.end()) changed.insert(volume.mount_point);
    }
  };
  note(before, now);
  note(now, before);
  return changed;
}

}  // namespace quillon
