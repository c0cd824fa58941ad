// Holds every open of a file on one mount until the test has looked at it (a fanotify
// permission event): the opening process waits in the kernel while the test acts, so the test
// acts at that very point of a run however busy the machine. Needs the superuser's right to
// watch a mount; ok() is false elsewhere.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

namespace quillon::testing {

class OpenGate {
 public:
  // Told of each open (the opening process, the file's path as /proc shows it) while it waits.
  using Look = std::function<void(pid_t opener, const std::string& path)>;

  OpenGate(const std::string& mount_point, Look look) : look_(std::move(look)) {
    fd_ = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_LARGEFILE);
    if (fd_ >= 0 && (fanotify_mark(fd_, FAN_MARK_ADD | FAN_MARK_MOUNT, FAN_OPEN_PERM, AT_FDCWD,
                                   mount_point.c_str()) != 0 ||
                     pipe2(stop_, O_CLOEXEC) != 0)) {
      close(fd_);
      fd_ = -1;
    }
    if (fd_ >= 0) serving_ = std::thread([this] { Serve(); });
  }
  OpenGate(const OpenGate&) = delete;
  OpenGate& operator=(const OpenGate&) = delete;
  ~OpenGate() {
    if (fd_ < 0) return;
    [[maybe_unused]] const ssize_t told = write(stop_[1], "x", 1);
    serving_.join();
    for (const int fd : {stop_[0], stop_[1], fd_}) close(fd);
  }

  bool ok() const { return fd_ >= 0; }

 private:
  void Serve() {
    alignas(fanotify_event_metadata) char buffer[4096];
    for (;;) {
      pollfd ready[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      if (poll(ready, 2, -1) < 0) continue;
      if (ready[1].revents != 0) return;
      ssize_t left = read(fd_, buffer, sizeof buffer);
      for (auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
           FAN_EVENT_OK(event, left); event = FAN_EVENT_NEXT(event, left)) {
        char path[4096];
        const std::string link = "/proc/self/fd/" + std::to_string(event->fd);
        const ssize_t length = readlink(link.c_str(), path, sizeof path);
        look_(event->pid, std::string(path, length > 0 ? static_cast<std::size_t>(length) : 0));
        const fanotify_response allow{event->fd, FAN_ALLOW};
        [[maybe_unused]] const ssize_t answered = write(fd_, &allow, sizeof allow);
        close(event->fd);
      }
    }
  }

  Look look_;
  int fd_ = -1;
  int stop_[2] = {-1, -1};
  std::thread serving_;
};

}  // namespace quillon::testing
