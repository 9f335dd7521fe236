#include "support/scripted_dialogs.h"

std::optional<QString> ScriptedDialogs::saveFile(QWidget*, const QString& proposed_name) {
  proposedNames.append(proposed_name);
  events.append(QStringLiteral("save:") + proposed_name);
  if (save_answers_.empty()) return std::nullopt;
  const Answer answer = save_answers_.front();
  save_answers_.pop_front();
  if (!answer.chosen) return std::nullopt;
  return answer.path;
}

void ScriptedDialogs::message(QWidget*, const QString& text) {
  messages.append(text);
  events.append(QStringLiteral("message:") + text);
  if (onMessage) onMessage(text);
}
