// Shared by the dialog tests: acting on a modal dialog while it is shown, a run host that
// records the report, and a trip of the settings through the settings file.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QWidget>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionRun.h"
#include "settings/RunSettings.h"
#include "settings/SettingsFile.h"
#include "tests/support/TempDir.h"

namespace quillon::testing {

// Runs the action once the dialog's modal loop runs. Whatever the action leaves open is
// cancelled, so a failed check inside it cannot hang the test.
inline void WhenShown(QDialog& dialog, std::function<void()> action) {
  QTimer::singleShot(0, &dialog, [&dialog, action] {
    action();
    if (dialog.isVisible()) dialog.reject();
  });
}

// The object names of the controls that Tab visits, from the first one round to it.
inline QStringList TabChain(QWidget* first) {
  QStringList chain;
  QWidget* w = first;
  do {
    if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
    w = w->nextInFocusChain();
  } while (w != first);
  return chain;
}

class TestRunHost : public RunHost {
 public:
  void ShowNotice(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { messages.push_back(text); }
  void ShowWarning(const std::string& text) override { messages.push_back(text); }
  void ShowInformation(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& question) override {
    messages.push_back(question);
    return true;
  }
  void AppendReport(const std::string& line) override { report.push_back(line); }
  void HandlePendingEvents() override {}
  bool CancelPressed() override { return false; }
  void ClearCancel() override {}
  void SetRunning(bool) override {}
  void LineReached(std::int32_t, std::int32_t) override {}
  void RecordDestination(const std::string&) override {}
  void RecordSource(const std::string&) override {}

  std::vector<std::string> messages;
  std::vector<std::string> report;
};

// One run over the source text into the folder "out" of dir; gives the destination.
inline std::string RunOnce(const RunSettings& settings, const TempDir& dir,
                           const std::string& source_text, TestRunHost& host) {
  const std::string source = dir.Write("source.lst", source_text);
  const std::string destination = dir / "out";
  ConversionRun(host, settings).Run(source, destination);
  return destination;
}

// The settings as the next start of the program reads them after this one wrote them.
inline RunSettings ThroughSettingsFile(const RunSettings& settings, const TempDir& dir) {
  const std::string file = dir / "quillon.ini";
  WriteRunSettings(file, settings);
  return ReadRunSettings(file, dir.path());
}

}  // namespace quillon::testing
