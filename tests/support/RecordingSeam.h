// A seam for widget tests: records every box and answers questions, input boxes and file
// dialogs from queues, so no test needs a display or a person.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

#include "util/ui/Seam.h"

namespace quillon::testing {

class RecordingSeam : public ui::Seam {
 public:
  struct Box {
    ui::BoxKind kind;
    QString title;
    QString text;
  };

  RecordingSeam() { ui::InstallSeam(this); }
  ~RecordingSeam() override { ui::InstallSeam(nullptr); }

  void ShowBox(ui::BoxKind kind, const QString& text) override {
    boxes.push_back({kind, ui::BoxTitle(kind), text});
  }
  bool AskYesNo(const QString& question, ui::DefaultAnswer default_answer) override {
    boxes.push_back({ui::BoxKind::Warning, ui::BoxTitle(ui::BoxKind::Warning), question});
    questions << question;
    defaultAnswers.push_back(default_answer);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<QString> InputBox(const QString& caption, const QString& prompt,
                                  const QString& value) override {
    inputs.push_back({caption, prompt, value});
    return Next(inputAnswers);
  }
  std::optional<QString> OpenFile(const ui::OpenFileRequest& request) override {
    openRequests.push_back(request);
    return Next(fileAnswers);
  }
  std::optional<QString> SaveFile(const ui::OpenFileRequest& request) override {
    saveRequests.push_back(request);
    return Next(fileAnswers);
  }
  void OpenWithShell(const QString& target) override { shellTargets << target; }

  // The texts of the boxes shown so far, in order.
  QStringList texts() const {
    QStringList all;
    for (const Box& box : boxes) all << box.text;
    return all;
  }
  void clear() {
    boxes.clear();
    questions.clear();
    defaultAnswers.clear();
    inputs.clear();
    openRequests.clear();
    saveRequests.clear();
    shellTargets.clear();
  }

  struct Input {
    QString caption, prompt, value;
  };
  std::vector<Box> boxes;
  QStringList questions;
  std::vector<ui::DefaultAnswer> defaultAnswers;  // of each question
  std::deque<bool> answers;                       // an empty queue answers No
  std::vector<Input> inputs;
  std::deque<std::optional<QString>> inputAnswers;  // an empty queue cancels
  std::vector<ui::OpenFileRequest> openRequests, saveRequests;
  std::deque<std::optional<QString>> fileAnswers;  // open and save; an empty queue cancels
  QStringList shellTargets;

 private:
  static std::optional<QString> Next(std::deque<std::optional<QString>>& queue) {
    if (queue.empty()) return std::nullopt;
    const bool answered = queue.front().has_value();
    const QString value = answered ? *queue.front() : QString();
    queue.pop_front();
    if (!answered) return std::nullopt;
    return value;
  }
};

}  // namespace quillon::testing
