// Commands entered from the event loop: whatever they throw ends in the application error box,
// and the handler gets as many of the signal's arguments as it takes.
#include <QTest>
#include <memory>
#include <new>

#include "support/RecordingSeam.h"
#include "util/IoError.h"
#include "util/ui/Commands.h"

using quillon::testing::RecordingSeam;
using quillon::ui::BoxKind;
using quillon::ui::ConnectCommand;

namespace {

class Source : public QObject {
  Q_OBJECT
 signals:
  void Picked(int index, const QString& text);
};

class Receiver : public QObject {
 public:
  void TakesAll(int index, const QString& text) { seen = QString::number(index) + text; }
  void TakesNone() { seen = QStringLiteral("none"); }
  void Fails() { throw quillon::IoError("Disk full"); }
  QString seen;
};

}  // namespace

class CommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void handlersTakeTheArgumentsTheyAskFor() {
    RecordingSeam seam;
    Source source;
    Receiver receiver;
    ConnectCommand(&source, &Source::Picked, &receiver, &Receiver::TakesAll);
    emit source.Picked(3, QStringLiteral("x"));
    QCOMPARE(receiver.seen, QStringLiteral("3x"));

    Receiver other;
    ConnectCommand(&source, &Source::Picked, &other, &Receiver::TakesNone);
    QString first;
    ConnectCommand(&source, &Source::Picked, &other, [&](int index) { first.setNum(index); });
    emit source.Picked(7, QStringLiteral("y"));
    QCOMPARE(other.seen, QStringLiteral("none"));
    QCOMPARE(first, QStringLiteral("7"));
    QVERIFY(seam.boxes.empty());
  }

  void everyFailureEndsInTheApplicationErrorBox() {
    RecordingSeam seam;
    Source source;
    Receiver receiver;
    ConnectCommand(&source, &Source::Picked, &receiver, &Receiver::Fails);
    ConnectCommand(&source, &Source::Picked, &receiver, [] { throw std::bad_alloc(); });
    ConnectCommand(&source, &Source::Picked, &receiver, [] { throw 42; });
    emit source.Picked(0, QString());
    QCOMPARE(seam.texts(), (QStringList{"Disk full.", "Out of memory.", "Unknown error."}));
    for (const RecordingSeam::Box& box : seam.boxes) {
      QCOMPARE(box.kind, BoxKind::ApplicationError);
      QCOMPARE(box.title, QStringLiteral("Quillon"));
    }
  }

  void theConnectionEndsWithTheReceiver() {
    RecordingSeam seam;
    Source source;
    int calls = 0;
    auto receiver = std::make_unique<Receiver>();
    ConnectCommand(&source, &Source::Picked, receiver.get(), [&] { ++calls; });
    emit source.Picked(1, QString());
    receiver.reset();
    emit source.Picked(2, QString());
    QCOMPARE(calls, 1);
  }
};

QTEST_MAIN(CommandsTest)
#include "CommandsTest.moc"
