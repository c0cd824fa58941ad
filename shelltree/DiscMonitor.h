// The folder tree's watcher: one host change notification for the whole tree, each watched
// folder one watch of it. Its readiness is handled by the user-interface thread's event loop,
// so reports reach the tree on that thread and nothing polls.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "util/ChangeWatch.h"

class QSocketNotifier;

namespace quillon {

class TDiscMonitor : public QObject {
  Q_OBJECT
 public:
  using Event = FolderChange;
  using Handler = std::function<void(const std::vector<Event>&)>;

  explicit TDiscMonitor(Handler handler, QObject* parent = nullptr);
  ~TDiscMonitor() override;

  bool IsValid() const { return notifier_->IsValid(); }
  // A watch on one folder (its subfolders not included) for the filter's change kinds; the
  // same folder watched twice gives the same watch, now with the later filter. -1 when the
  // folder cannot be watched.
  int Add(const std::string& folder, std::uint32_t filter) {
    return notifier_->Add(folder, filter);
  }
  void Remove(int watch) { notifier_->Remove(watch); }
  // For workers that add watches while they read; it lives as long as any of them holds it.
  std::shared_ptr<FolderChangeNotifier> Notifier() const { return notifier_; }

  // Hands every change the host has reported so far to the handler now, without waiting for
  // the event loop.
  void Drain();

 private:
  std::shared_ptr<FolderChangeNotifier> notifier_ = std::make_shared<FolderChangeNotifier>();
  Handler handler_;
  QSocketNotifier* readable_ = nullptr;
};

}  // namespace quillon
