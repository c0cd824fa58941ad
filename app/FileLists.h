// The Select panel's file browsing controls: the hidden folder list that holds the listed
// folder, the file list that shows its files, and the hidden filter box that hands the mask on.
#pragma once

#include <QElapsedTimer>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QWidget>

class QTimer;

namespace quillon {

class TDiscMonitor;
class TFileListBox;

// The files of the listed folder whose names match the mask: files of any attribute, hidden
// ones included, never folders, sorted by name. A mask holds patterns joined by ";"; "*.*"
// means every file, as users of the filter expect. Throws IoError when the folder
// cannot be read.
QStringList ListMatchingFiles(const QString& folder, const QString& mask);

class TFileListBox : public QListWidget {
  Q_OBJECT
  Q_PROPERTY(QString Directory READ Directory WRITE setDirectory)
  Q_PROPERTY(QString Mask READ Mask WRITE setMask)
  Q_PROPERTY(QString FileName READ FileName)

 public:
  explicit TFileListBox(QWidget* parent = nullptr);

  QString Directory() const { return directory_; }
  // Re-reads when the folder differs.
  void setDirectory(const QString& folder);
  QString Mask() const { return mask_; }
  // Re-reads every time, so a changed folder content shows at once.
  void setMask(const QString& mask);
  // The selected file's full path, or empty.
  QString FileName() const;
  // Reads the folder again; no file is selected afterwards.
  void Update();
  // The folder is watched: files that come or go show within a second, by the list's own
  // reading, which keeps the selected file selected while it is there.
  bool Watching() const { return watch_ >= 0; }
  // While held (during a run), changes are only noted; the list reads them when let go, so a
  // run into the listed folder keeps its pace and the window answers at once.
  void HoldReading(bool hold);

 signals:
  // A file got selected, by mouse or keyboard, also a click on the selected file again.
  void Click();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Watch();
  void FolderChanged();
  void ReadAgain();

  QString directory_;
  QString mask_;
  bool selected_during_press_ = false;
  TDiscMonitor* monitor_ = nullptr;
  int watch_ = -1;
  QTimer* read_timer_ = nullptr;
  QElapsedTimer since_read_;
  qint64 read_cost_ms_ = 0;
  bool held_ = false;
  bool changed_while_held_ = false;
};

// The listed folder; never seen by the user. Showing a folder makes it the process's current
// directory, so relative paths typed into the path fields resolve against it.
class TDirectoryListBox : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Directory READ Directory WRITE setDirectory)

 public:
  explicit TDirectoryListBox(QWidget* parent = nullptr);

  void SetFileList(TFileListBox* list) { file_list_ = list; }
  QString Directory() const { return directory_; }
  // An empty text or the folder already held changes nothing. Throws IoError when
  // the folder cannot be entered or read.
  void setDirectory(const QString& folder);

 signals:
  void Change(const QString& folder);

 private:
  QString directory_;
  TFileListBox* file_list_ = nullptr;
};

// Holds one filter entry, "description|mask", and hands its mask to the file list. A further
// "|" ends the mask; an empty mask lists nothing.
class TFilterComboBox : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Filter READ Filter WRITE setFilter)

 public:
  explicit TFilterComboBox(QWidget* parent = nullptr);

  void SetFileList(TFileListBox* list) { file_list_ = list; }
  QString Filter() const { return filter_; }
  void setFilter(const QString& filter);
  QString Mask() const;

 private:
  QString filter_;
  TFileListBox* file_list_ = nullptr;
};

}  // namespace quillon
