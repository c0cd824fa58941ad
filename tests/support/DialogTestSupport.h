// Shared by the dialog tests: acting on a modal dialog while it is shown, a run, and a trip of the
// settings through the settings file.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/RunSettings.h"
#include "settings/SettingsFile.h"
#include "support/RecordingRunHost.h"
#include "support/TempDir.h"

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

// One run over the source text into the folder "out" of dir; gives the destination.
inline std::string RunOnce(const RunSettings& settings, const TempDir& dir,
                           const std::string& source_text, RecordingRunHost& host) {
  const std::string source = dir.Write("source.lst", source_text);
  const std::string destination = dir / "out";
  std::filesystem::create_directories(destination);
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
