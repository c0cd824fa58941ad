// The report pane: what it holds, what a selection copies, and that it follows its end.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QtTest>

#include "app/ReportMemo.h"

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

  void selectionAndCopy() {
    TReportMemo memo;
    memo.resize(400, 200);
    memo.show();
    QVERIFY(QTest::qWaitForWindowExposed(&memo));
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
    QVERIFY(QTest::qWaitForWindowExposed(&memo));
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
