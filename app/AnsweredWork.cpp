#include "app/AnsweredWork.h"

#include "util/ui/Commands.h"

namespace quillon {

AnsweredWork::AnsweredWork(QObject* owner)
    : QObject(owner), answers_(work_.Descriptor(), QSocketNotifier::Read) {
  ui::ConnectCommand(&answers_, &QSocketNotifier::activated, this, [this] { work_.RunAnswers(); });
}

}  // namespace quillon
