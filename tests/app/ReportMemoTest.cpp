// The report pane: what it holds, what a selection copies, and that it follows its end.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QtTest>

#include "app/ReportMemo.h"
#include "support/EventSync.h"
#include "support/ResidentMemory.h"

using quillon::testing::kGuardMs;
using quillon::testing::ProcessMemory;

using namespace quillon;

class ReportMemoTest : public QObject {
  Q_OBJECT

 private slots:
  void holdsLinesAsAppended() {
    TReportMemo memo;
    QCOMPARE(memo.toPlainText(), QString());
    QCOMPARE(memo.blockCount(), 0);
    memo.appendPlainText("Started...");
    memo.appendPlainText("Exists already: a\nExists already: \n\nFinished!");
    QCOMPARE(memo.blockCount(), 5);
    QCOMPARE(memo.toPlainText(), "Started...\nExists already: a\nExists already: \n\nFinished!");
    memo.clear();
    QCOMPARE(memo.toPlainText(), QString());
    QCOMPARE(memo.selectedText(), QString());
  }

  void keepsTextOfEveryScriptAndItsColumns() {
    TReportMemo memo;
    memo.appendPlainText(QStringLiteral("Exists already: \u00e4\u00f6\u00fc"));
    memo.appendPlainText(QStringLiteral("\u65e5\u672c\u8a9e \U0001F600 end\na\nb"));
    QCOMPARE(memo.blockCount(), 4);
    QCOMPARE(memo.toPlainText(), QStringLiteral("Exists already: \u00e4\u00f6\u00fc\n"
                                                "\u65e5\u672c\u8a9e \U0001F600 end\na\nb"));
    memo.selectAll();
    QCOMPARE(memo.selectedText(), memo.toPlainText());
  }

  void showsBidirectionalControlsWrittenOut() {
    // Right-to-left letters stay; an override or isolate could reorder the text after it.
    TReportMemo memo;
    memo.appendPlainText(
        QStringLiteral("Exists already: \u05d0\u05d1 a\u202ecod.exe\n"
                       "b\u2066c\u2069\u202a: Unable to find valid size."));
    QCOMPARE(memo.toPlainText(),
             QStringLiteral("Exists already: \u05d0\u05d1 a\\u202Ecod.exe\n"
                            "b\\u2066c\\u2069\\u202A: Unable to find valid size."));
    QCOMPARE(memo.blockCount(), 2);
  }

  void holdsAMillionLinesLightly() {
    // Each line costs its text and at most 40 bytes more; a list of strings took over 100.
    TReportMemo memo;
    const qint64 before = ProcessMemory();
    QVERIFY(before > 0);
    constexpr int kLines = 1'000'000;
    qint64 text_bytes = 0;
    QString batch;
    for (int i = 0; i < kLines; ++i) {
      const QString line =
          QStringLiteral("Exists already: name%1.txt").arg(i, 7, 10, QLatin1Char('0'));
      text_bytes += line.size();
      batch += line;
      // As a run hands them over: in batches, each one text.
      if ((i + 1) % 1000 == 0) {
        memo.appendPlainText(batch);
        batch.clear();
      } else {
        batch += QLatin1Char('\n');
      }
    }
    const qint64 grown = ProcessMemory() - before;
    qInfo("%lld bytes resident for %lld bytes of text: %.1f bytes a line beyond its text", grown,
          text_bytes, double(grown - text_bytes) / kLines);
    QVERIFY(grown <= text_bytes + 40LL * kLines);
    QCOMPARE(memo.blockCount(), kLines);
  }

  void selectionAndCopy() {
    TReportMemo memo;
    memo.resize(400, 200);
    memo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&memo, kGuardMs));
    memo.appendPlainText("first line\nsecond line\nthird");
    const int height = memo.fontMetrics().lineSpacing();
    // A drag from the start of the first line into the second line.
    QTest::mousePress(memo.viewport(), Qt::LeftButton, {}, QPoint(1, 3 + height / 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(2000, 3 + height + height / 2),
                     memo.viewport()->mapToGlobal(QPointF(2000, 3 + height + height / 2)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(memo.viewport(), &move);
    QCOMPARE(memo.selectedText(), QStringLiteral("first line\nsecond line"));
    QTest::keyClick(&memo, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("first line\nsecond line"));
    QTest::mouseDClick(memo.viewport(), Qt::LeftButton, {}, QPoint(5, 3 + 2 * height + 1));
    QCOMPARE(memo.selectedText(), QStringLiteral("third"));
    QTest::keyClick(&memo, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(memo.selectedText(), memo.toPlainText());
  }

  void followsItsEndUnlessScrolledAway() {
    TReportMemo memo;
    memo.resize(300, 100);
    memo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&memo, kGuardMs));
    QString many;
    for (int i = 0; i < 200; ++i) many += QString("line %1\n").arg(i);
    memo.appendPlainText(many.chopped(1));
    QScrollBar* bar = memo.verticalScrollBar();
    QVERIFY(bar->maximum() > 150);
    QCOMPARE(bar->value(), bar->maximum());
    bar->setValue(10);
    memo.appendPlainText("one more");
    QCOMPARE(bar->value(), 10);
    QTest::keyClick(&memo, Qt::Key_End);
    memo.appendPlainText("and another");
    QCOMPARE(bar->value(), bar->maximum());
  }
};

QTEST_MAIN(ReportMemoTest)
#include "ReportMemoTest.moc"
