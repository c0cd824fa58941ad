// The report pane: a read-only memo that only ever grows at its end. It keeps its lines in a
// plain list, so a run appending 100,000 lines costs little more than the run itself (a text
// document spends microseconds on every paragraph). Text can be selected with the mouse or
// the keyboard, copied, and all of it selected, as in any read-only memo.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>

namespace quillon {

class TReportMemo : public QAbstractScrollArea {
  Q_OBJECT
  Q_PROPERTY(QString plainText READ toPlainText)

 public:
  explicit TReportMemo(QWidget* parent = nullptr);

  // Appends the text's lines ("\n" separates them) at the end, scrolled into view when the end
  // was in view.
  void appendPlainText(const QString& text);
  void AppendLines(const QStringList& lines);
  void clear();
  QString toPlainText() const;
  int blockCount() const { return static_cast<int>(lines_.size()); }
  const QStringList& lines() const { return lines_; }
  bool isReadOnly() const { return true; }

  QString selectedText() const;
  void selectAll();
  void copy() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  struct Position {
    int line = 0;
    int column = 0;
    bool operator<(const Position& other) const {
      return line != other.line ? line < other.line : column < other.column;
    }
    bool operator==(const Position& other) const = default;
  };

  int LineHeight() const;
  int VisibleLines() const;
  void UpdateScrollBars();
  Position PositionAt(const QPoint& point) const;
  void EnsureVisible(int line);

  QStringList lines_;
  int widest_ = 0;   // pixels of the widest line seen so far
  int longest_ = 0;  // characters of the longest line seen so far
  Position anchor_, cursor_;
};

}  // namespace quillon
