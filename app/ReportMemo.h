// The report pane: a read-only memo that only ever grows at its end. Its lines live in one
// store of UTF-8 text with the offset of each line, some 9 bytes a line beyond its text, so a
// run reporting a million lines leaves the window light, and appending costs little more
// than the run itself (a text document spends microseconds on every paragraph). Text can be
// selected with the mouse or the keyboard, copied, and all of it selected, as in any
// read-only memo.
#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <string_view>
#include <utility>

namespace quillon {

// Lets assistive technology read the report panes through Qt's text interface; once is enough.
void InstallReportMemoAccess();

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
  // A tip shown when the pointer rests on the line (the reason of a refused line).
  void SetLineTip(int line, const QString& tip);
  QString LineTip(int line) const { return tips_.value(line); }
  QString toPlainText() const;
  int blockCount() const { return static_cast<int>(starts_.size()); }
  bool isReadOnly() const { return true; }

  // Characters of the whole text, as toPlainText() counts them.
  qsizetype characterCount() const { return characters_; }
  // Where the selection (from, to) and the cursor stand, in characters of the whole text.
  qsizetype CursorOffset() const;
  std::pair<qsizetype, qsizetype> SelectionOffsets() const;

  QString selectedText() const;
  void selectAll();
  void copy() const;

 signals:
  // Text added at the end: at is where it begins in the whole text (toPlainText()).
  void TextInserted(int at, const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool viewportEvent(QEvent* event) override;

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
  qsizetype OffsetOf(const Position& position) const;

  QByteArray text_;           // every line in UTF-8, each followed by "\n"
  QList<qsizetype> starts_;   // where each line begins in text_
  QString scratch_;           // a batch of lines on its way in
  int widest_ = 0;            // pixels of the widest line seen so far
  int longest_ = 0;           // characters of the longest line seen so far
  qsizetype characters_ = 0;  // characters of the whole text
  Position anchor_, cursor_;
  QHash<int, QString> tips_;  // by line
};

}  // namespace quillon
