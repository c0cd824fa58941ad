// One kernel change notification (inotify) for the whole folder tree: each watched folder is
// one watch of it, and the instance's readiness is handled by the user-interface thread's event
// loop, so reports reach the tree on that thread and nothing polls.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace quillon::shelltree {

// The change kinds a watch waits for, with the values of the Windows change-notification
// flags the tree's Options are translated into.
enum NotifyFlag : std::uint32_t {
  kNotifyFileName = 1,   // files created, deleted or renamed
  kNotifyDirName = 2,    // folders created, deleted or renamed
  kNotifyAttributes = 4  // attributes of the entries changed
};

class TDiscMonitor : public QObject {
  Q_OBJECT
 public:
  struct Event {
    int watch;           // -1 when the kernel lost events (every watch may have changed)
    std::uint32_t mask;  // the inotify event bits (IN_CREATE, IN_ISDIR, IN_IGNORED, ...)
    std::string name;    // the entry inside the watched folder; empty for the folder itself
  };
  using Handler = std::function<void(const std::vector<Event>&)>;

  explicit TDiscMonitor(Handler handler, QObject* parent = nullptr);
  ~TDiscMonitor() override;

  bool IsValid() const { return fd_ >= 0; }
  // A watch on one folder (its subfolders not included) for the filter's change kinds; the
  // same folder watched twice gives the same watch, now with the later filter. -1 when the
  // folder cannot be watched.
  int Add(const std::string& folder, std::uint32_t filter);
  void Remove(int watch);

  // The kernel events that carry the filter's kinds.
  static std::uint32_t KernelMask(std::uint32_t filter);

 private:
  void ReadEvents();

  Handler handler_;
  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quillon::shelltree
