// A mount that never answers, as a network mount whose server is gone: a FUSE connection that
// nobody serves. Needs the right to mount; ok() is false (and why() says why) elsewhere. The
// connection is aborted and the mount detached when the object ends, also after a failed
// check, so no process is left waiting on it; a lost process's descriptor aborts it as well.
#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace quillon::testing {

class UnansweringMount {
 public:
  // point: an empty folder of the test's own, never one that other programs look at. subtype:
  // how the mount table names it ("fuse." followed by it), as sshfs or rclone mounts show.
  explicit UnansweringMount(std::string point, const std::string& subtype = "sshfs")
      : point_(std::move(point)) {
    fd_ = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
      why_ = std::string("cannot open /dev/fuse: ") + std::strerror(errno);
      return;
    }
    const std::string options =
        "fd=" + std::to_string(fd_) + ",rootmode=40000,user_id=0,group_id=0,subtype=" + subtype;
    if (mount("quillon-test", point_.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
      why_ = std::string("cannot mount a FUSE file system: ") + std::strerror(errno);
      close(fd_);
      fd_ = -1;
      return;
    }
    mounted_ = true;
  }
  UnansweringMount(const UnansweringMount&) = delete;
  UnansweringMount& operator=(const UnansweringMount&) = delete;
  ~UnansweringMount() {
    {
      const std::lock_guard lock(mutex_);
      ending_ = true;
    }
    wake_.notify_all();
    if (watchdog_.joinable()) watchdog_.join();
    End();
  }

  bool ok() const { return mounted_; }
  const std::string& why() const { return why_; }
  const std::string& point() const { return point_; }
  // Whether the mount has ended: a check that finds it ended waited on it until then.
  bool Ended() const {
    const std::lock_guard lock(mutex_);
    return fd_ < 0;
  }

  // Ends the mount: every waiting request fails at once, then the mount is detached.
  void End() {
    const std::lock_guard lock(mutex_);
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (mounted_) umount2(point_.c_str(), MNT_DETACH);
    mounted_ = false;
  }

  // Ends the mount after the delay, from another thread: a check that would wait on the mount
  // for ever then fails instead of hanging.
  void EndAfter(std::chrono::milliseconds delay) {
    watchdog_ = std::thread([this, delay] {
      {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, delay, [this] { return ending_; });
      }
      End();
    });
  }

 private:
  std::string point_;
  std::string why_;
  int fd_ = -1;
  bool mounted_ = false;
  bool ending_ = false;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread watchdog_;
};

}  // namespace quillon::testing
