#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "platform/dialogs.h"

// Dialogs that answer from a script and remember what the program showed.
class ScriptedDialogs final : public Dialogs {
 public:
  // The next save dialog returns this path; none means the user cancels it.
  void answerSave(std::optional<QString> path) {
    save_answers_.push_back({path.has_value(), path.value_or(QString())});
  }

  // Forgets answers no save dialog has taken (an action that ended before its dialog).
  void dropUnusedAnswers() { save_answers_.clear(); }

  std::optional<QString> saveFile(QWidget* parent, const QString& proposed_name) override;
  void message(QWidget* parent, const QString& text) override;
  void beep() override {
    ++beeps;
    events.append(QStringLiteral("beep"));
  }

  QStringList proposedNames;
  QStringList messages;
  int beeps = 0;
  // Save dialogs, messages and beeps in the order they happened.
  QStringList events;
  // Called while a message box is "open", so a test can act during it.
  std::function<void(const QString&)> onMessage;

 private:
  struct Answer {
    bool chosen;
    QString path;
  };
  std::deque<Answer> save_answers_;
};
