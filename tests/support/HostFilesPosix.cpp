#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "support/HostFiles.h"

namespace quillon::testing {

bool IsOpenFile(int fd) { return fcntl(fd, F_GETFD) != -1; }

bool MakeFolderLink(const std::string& link, const std::string& target) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

bool RemoveFolderLink(const std::string& link) { return unlink(link.c_str()) == 0; }

void MarkHidden(const std::string&) {}

void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute,
                       int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  const timespec times[2] = {{0, UTIME_OMIT}, {std::mktime(&local), 0}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

struct FolderSwapper::Swapping {
  std::atomic<bool> stop{false};
  std::thread thread;
};

FolderSwapper::FolderSwapper(const std::string& subfolder, const std::string& link_target)
    : swapping_(new Swapping) {
  swapping_->thread = std::thread([this, subfolder, link_target] {
    const std::string aside = subfolder + ".aside";
    while (!swapping_->stop) {
      rename(subfolder.c_str(), aside.c_str());
      symlink(link_target.c_str(), subfolder.c_str());
      std::this_thread::sleep_for(std::chrono::microseconds(20));
      unlink(subfolder.c_str());
      rename(aside.c_str(), subfolder.c_str());
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  });
}

FolderSwapper::~FolderSwapper() {
  swapping_->stop = true;
  swapping_->thread.join();
  delete swapping_;
}

}  // namespace quillon::testing
