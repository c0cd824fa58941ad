// Work for the workers of BlockingWork whose answers run on the owner's event loop, as soon as
// they come; what is still running when it ends is never waited for.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include "util/BlockingWork.h"

namespace quillon {

class AnsweredWork : public QObject {
 public:
  explicit AnsweredWork(QObject* owner);

  BlockingWork& work() { return work_; }

 private:
  BlockingWork work_;
  QSocketNotifier answers_;  // ends before the work does
};

}  // namespace quillon
