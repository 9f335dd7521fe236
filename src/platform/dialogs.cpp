#include "platform/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

std::optional<QString> QtDialogs::saveFile(QWidget* parent, const QString& proposed_name) {
  const QString path = QFileDialog::getSaveFileName(parent, QString(), proposed_name);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

void QtDialogs::message(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                  QMessageBox::Ok, parent);
  box.exec();
}

void QtDialogs::beep() { QApplication::beep(); }
