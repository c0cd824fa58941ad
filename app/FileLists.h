// The Select panel's file browsing controls: the hidden folder list that holds the listed
// folder, the file list that shows its files, and the hidden filter box that hands the mask on.
#pragma once

#include <QElapsedTimer>
#include <QListWidget>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QTimer;

namespace quillon {

class AnsweredWork;
class TDiscMonitor;

// The queue that work on a path waits in (the mount point of its volume), so that a volume
// that does not answer holds up its own work only; none: one queue for each folder.
using LaneOfPath = std::function<std::string(const std::string& path)>;
class TFileListBox;

// The files of the listed folder whose names match the mask: files of any attribute, hidden
// ones included, never folders, sorted by name. A mask holds patterns joined by ";"; "*.*"
// means every file, as users of the filter expect. Throws IoError when the folder
// cannot be read. seen (when given) counts the folder's entries as they are read.
QStringList ListMatchingFiles(const QString& folder, const QString& mask,
                              std::atomic<qsizetype>* seen = nullptr);

class TFileListBox : public QListWidget {
  Q_OBJECT
  Q_PROPERTY(QString Directory READ Directory WRITE setDirectory)
  Q_PROPERTY(QString Mask READ Mask WRITE setMask)
  Q_PROPERTY(QString FileName READ FileName)

 public:
  explicit TFileListBox(QWidget* parent = nullptr);

  QString Directory() const { return directory_; }
  // Re-reads when the folder differs; not patient: the reading is not waited for at all.
  void setDirectory(const QString& folder, bool patient = true);
  QString Mask() const { return mask_; }
  // Re-reads every time, so a changed folder content shows at once.
  void setMask(const QString& mask);
  // The selected file's full path, or empty.
  QString FileName() const;
  // Reads the folder again; no file is selected afterwards. The reading runs on a worker: a
  // folder that takes longer than a moment is listed when its answer comes (an older reading's
  // answer is dropped), its failure then told in the application error box.
  void Update();
  void SetLaneOf(LaneOfPath laneOf) { lane_of_ = std::move(laneOf); }
  // Takes in the readings' answers until none is outstanding or the time is up; true when
  // none is.
  bool Settle(int milliseconds = 5000);
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
  // again: a re-read for a change, which keeps the selected file and tells no failure.
  // patient: waits a moment for the answer of a folder that is not large.
  void Read(bool again, bool patient);
  void ShowFiles(const std::shared_ptr<const QStringList>& names, bool again);
  void AddFiles(const std::shared_ptr<const QStringList>& names, qsizetype from,
                std::uint64_t request, const std::function<void()>& done);

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
  AnsweredWork* work_ = nullptr;
  LaneOfPath lane_of_;
  std::uint64_t request_ = 0;  // the latest reading
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
  // An empty text or the folder already held changes nothing. Throws IoError when the folder
  // cannot be entered or read. Entering it runs on a worker, one folder after the other: a
  // folder whose volume does not answer at once is shown at once and entered when it answers
  // (its failure then told in the application error box).
  void setDirectory(const QString& folder);

 signals:
  void Change(const QString& folder);

 private:
  QString directory_;
  TFileListBox* file_list_ = nullptr;
  AnsweredWork* work_ = nullptr;
  std::uint64_t request_ = 0;  // the latest folder to enter
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
