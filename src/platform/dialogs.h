#pragma once

#include <QString>
#include <optional>

class QWidget;

// The dialogs and the alert sound the handlers use. The application shows Qt's; tests script the
// answers and record what was shown.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal save dialog offering proposed_name; the chosen file's path, or none when refused.
  virtual std::optional<QString> saveFile(QWidget* parent, const QString& proposed_name) = 0;
  // A modal message box with the text and an OK button.
  virtual void message(QWidget* parent, const QString& text) = 0;
  // The system alert sound.
  virtual void beep() = 0;
};

class QtDialogs final : public Dialogs {
 public:
  std::optional<QString> saveFile(QWidget* parent, const QString& proposed_name) override;
  void message(QWidget* parent, const QString& text) override;
  void beep() override;
};
