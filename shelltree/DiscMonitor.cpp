#include "shelltree/DiscMonitor.h"

#include <QSocketNotifier>

#include "util/ui/Commands.h"

namespace quillon {

TDiscMonitor::TDiscMonitor(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  if (!notifier_->IsValid()) return;
  readable_ = new QSocketNotifier(notifier_->Descriptor(), QSocketNotifier::Read, this);
  ui::ConnectCommand(readable_, &QSocketNotifier::activated, this, &TDiscMonitor::Drain);
}

TDiscMonitor::~TDiscMonitor() { delete readable_; }

void TDiscMonitor::Drain() {
  const std::vector<Event> events = notifier_->ReadChanges();
  if (!events.empty()) handler_(events);
}

}  // namespace quillon
