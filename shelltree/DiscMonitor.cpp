#include "shelltree/DiscMonitor.h"

#include <QSocketNotifier>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace quillon::shelltree {

TDiscMonitor::TDiscMonitor(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadEvents(); });
}

TDiscMonitor::~TDiscMonitor() {
  delete notifier_;
  if (fd_ >= 0) close(fd_);
}

std::uint32_t TDiscMonitor::KernelMask(std::uint32_t filter) {
  std::uint32_t mask = IN_ONLYDIR | IN_EXCL_UNLINK;
  if (filter & (kNotifyFileName | kNotifyDirName))
    mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  if (filter & kNotifyAttributes) mask |= IN_ATTRIB;
  return mask;
}

int TDiscMonitor::Add(const std::string& folder, std::uint32_t filter) {
  if (fd_ < 0 || folder.empty()) return -1;
  return inotify_add_watch(fd_, folder.c_str(), KernelMask(filter));
}

void TDiscMonitor::Remove(int watch) {
  if (fd_ >= 0 && watch >= 0) inotify_rm_watch(fd_, watch);
}

void TDiscMonitor::ReadEvents() {
  std::vector<Event> events;
  alignas(inotify_event) char buffer[16384];
  while (true) {
    const ssize_t length = read(fd_, buffer, sizeof buffer);
    if (length <= 0) break;
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      events.push_back({event->wd, event->mask, event->len ? std::string(event->name) : ""});
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  if (!events.empty()) handler_(events);
}

}  // namespace quillon::shelltree
