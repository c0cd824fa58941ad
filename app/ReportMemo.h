// The report pane: a read-only memo that only ever grows at its end. Its lines live in one
// store of UTF-8 text with the offset of each line, some 9 bytes a line beyond its text, so a
// run reporting a million lines leaves the window light, and appending costs little more
// than the run itself (a text document spends microseconds on every paragraph). Text can be
// selected with the mouse or the keyboard, copied, and all of it selected, as in any
// read-only memo.
#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>
#include <string_view>

namespace quillon {

class TReportMemo : public QAbstractScrollArea {
  Q_OBJECT
  Q_PROPERTY(QString plainText READ toPlainText)

 public:
  explicit TReportMemo(QWidget* parent = nullptr);

  // Appends the text's lines ("\n" separates them) at the end, scrolled into view when the end
  // was in view.
  void appendPlainText(const QString& text);
  // The same for lines in the program's 8-bit text, as a run hands over a batch of its lines.
  void AppendBytes(std::string_view lines);
  void clear();
  QString toPlainText() const;
  int blockCount() const { return static_cast<int>(starts_.size()); }
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

  void AppendText(QStringView text);
  QString Line(int line) const;
  qsizetype LineEnd(int line) const;  // where its "\n" stands in the store
  int LineHeight() const;
  int VisibleLines() const;
  void UpdateScrollBars();
  Position PositionAt(const QPoint& point) const;
  void EnsureVisible(int line);

  QByteArray text_;          // every line in UTF-8, each followed by "\n"
  QList<qsizetype> starts_;  // where each line begins in text_
  QString scratch_;          // a batch of lines on its way in
  int widest_ = 0;           // pixels of the widest line seen so far
  int longest_ = 0;          // characters of the longest line seen so far
  Position anchor_, cursor_;
};

}  // namespace quillon
