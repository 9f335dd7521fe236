#pragma once

#include <QMenuBar>
#include <QMetaObject>
#include <vector>

class QAction;
class QMenu;

// The program's one menu bar: File with the standard Quit, and Edit with the standard editing
// commands. The application holds it and the main window shows it; the program adds no command
// of its own, so every item does what the toolkit's item of that kind does.
class MainMenuBar final : public QMenuBar {
  Q_OBJECT
 public:
  // The shared menu bar; the first call builds it, every call returns the same object.
  static MainMenuBar& shared();

  QMenu* FileMenu = nullptr;
  QAction* FileQuit = nullptr;
  QMenu* EditMenu = nullptr;
  QAction* EditUndo = nullptr;
  QAction* EditSeparator1 = nullptr;
  QAction* EditCut = nullptr;
  QAction* EditCopy = nullptr;
  QAction* EditPaste = nullptr;
  QAction* EditClear = nullptr;
  QAction* EditSeparator2 = nullptr;
  QAction* EditSelectAll = nullptr;

  // Brings the Edit items' enabled states up to date with the focused text control.
  void updateEditItems();

 private:
  MainMenuBar();
  void buildFileMenu();
  void buildEditMenu();
  QAction* addEditItem(const char* name, const QString& caption, const QKeySequence& shortcut);
  void addEditSeparator(QAction*& item, const char* name);
  void connectEditItems();
  void followFocus(QWidget* now);

  // The focused text control's signals, followed so its changes update the items.
  std::vector<QMetaObject::Connection> target_connections_;
};
