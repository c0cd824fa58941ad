// The one seam every message box, question, input box, file dialog and shell call goes
// through. The default shows real Qt dialogs; tests install a seam that answers and records.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

class QWidget;

namespace quillon::ui {

enum class BoxKind { Notice, Error, Warning, Information, ApplicationError };

// The button a question's box has ready for Enter.
enum class DefaultAnswer { Yes, No };

struct OpenFileRequest {
  QString title;
  QString filter;  // "Txt-files (*.txt)|*.txt|All files (*.*)|*.*"
  QString initial_folder;
};

class Seam {
 public:
  virtual ~Seam() = default;
  // A box with the single button OK.
  virtual void ShowBox(BoxKind kind, const QString& text) = 0;
  // A warning box with Yes and No; true only for Yes.
  virtual bool AskYesNo(const QString& question, DefaultAnswer default_answer) = 0;
  // A modal input box; nothing when cancelled.
  virtual std::optional<QString> InputBox(const QString& caption, const QString& prompt,
                                          const QString& value) = 0;
  virtual std::optional<QString> OpenFile(const OpenFileRequest& request) = 0;
  // The file to write, chosen in a save dialog that asks before replacing one.
  virtual std::optional<QString> SaveFile(const OpenFileRequest& request) = 0;
  virtual void OpenWithShell(const QString& target) = 0;
};

// A filter of the program's form, "Txt-files (*.txt)|*.txt|All files (*.*)|*.*", in the form
// of Qt's file dialogs.
QString QtFileFilter(const QString& filter);

// The seam in force; the real dialogs unless a test installed another.
Seam& CurrentSeam();
// Installs a seam (not owned); nullptr restores the real dialogs.
void InstallSeam(Seam* seam);

// The box titles: "Quillon" (notice and application error), "Error", "Warning", "Information".
QString BoxTitle(BoxKind kind);

void ShowNotice(const QString& text);
void ShowError(const QString& text);
void ShowWarning(const QString& text);
void ShowInformation(const QString& text);
bool AskYesNo(const QString& question, DefaultAnswer default_answer = DefaultAnswer::Yes);
// An error no handler caught: the program's title, the text with "." appended.
void ShowApplicationError(const QString& text);
void OpenWithShell(const QString& target);

// Byte strings of the core shown in the widgets, and back.
QString FromBytes(const std::string& bytes);
std::string ToBytes(const QString& text);

}  // namespace quillon::ui
