#include "app/menu_bar.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>

#include "widgets/console_text_area.h"

namespace {

// The focused control as the Edit items see it: a line edit (a combo box's own too) or the
// console's read-only area; none when the focus is elsewhere.
struct EditTarget {
  QLineEdit* line = nullptr;
  ConsoleTextArea* console = nullptr;

  bool exists() const { return line || console; }
  bool readOnly() const { return console || line->isReadOnly(); }
  bool hasSelection() const {
    return console ? console->hasSelectedText() : line->hasSelectedText();
  }
  bool hasText() const { return console ? console->length() > 0 : !line->text().isEmpty(); }
  bool canUndo() const { return line && line->isUndoAvailable(); }
  // A password field never gives its text away.
  bool concealed() const { return line && line->echoMode() != QLineEdit::Normal; }
};

EditTarget editTargetOf(QWidget* widget) {
  EditTarget target;
  if (auto* combo = qobject_cast<QComboBox*>(widget))
    target.line = combo->lineEdit();  // none for a pop-up menu that cannot be typed in
  else if (auto* line = qobject_cast<QLineEdit*>(widget))
    target.line = line;
  else if (auto* console = qobject_cast<ConsoleTextArea*>(widget))
    target.console = console;
  return target;
}

EditTarget focusedEditTarget() { return editTargetOf(QApplication::focusWidget()); }

bool clipboardHasText() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasText();
}

}  // namespace

MainMenuBar& MainMenuBar::shared() {
  // Built once; the application object deletes it as the program ends.
  static QPointer<MainMenuBar> instance;
  if (!instance) instance = new MainMenuBar;
  return *instance;
}

MainMenuBar::MainMenuBar() {
  buildFileMenu();
  buildEditMenu();
  connectEditItems();
  updateEditItems();
}

void MainMenuBar::buildFileMenu() {
  FileMenu = addMenu(QStringLiteral("&File"));
  FileMenu->setObjectName(QStringLiteral("FileMenu"));
  FileMenu->menuAction()->setObjectName(QStringLiteral("FileMenu"));

  FileQuit = FileMenu->addAction(QStringLiteral("&Quit"));
  FileQuit->setObjectName(QStringLiteral("FileQuit"));
  FileQuit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  FileQuit->setMenuRole(QAction::QuitRole);
  // The toolkit's quit: it closes the windows, which ends the program.
  connect(FileQuit, &QAction::triggered, this, [] { QCoreApplication::quit(); });
}

void MainMenuBar::buildEditMenu() {
  EditMenu = addMenu(QStringLiteral("&Edit"));
  EditMenu->setObjectName(QStringLiteral("EditMenu"));
  EditMenu->menuAction()->setObjectName(QStringLiteral("EditMenu"));

  EditUndo = addEditItem("EditUndo", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
  addEditSeparator(EditSeparator1, "EditSeparator1");
  EditCut = addEditItem("EditCut", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X));
  EditCopy = addEditItem("EditCopy", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
  EditPaste =
      addEditItem("EditPaste", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
  EditClear = addEditItem("EditClear", QStringLiteral("&Delete"), QKeySequence());
  addEditSeparator(EditSeparator2, "EditSeparator2");
  EditSelectAll = addEditItem("EditSelectAll", QStringLiteral("Select &All"),
                              QKeySequence(Qt::CTRL | Qt::Key_A));
}

QAction* MainMenuBar::addEditItem(const char* name, const QString& caption,
                                  const QKeySequence& shortcut) {
  QAction* item = EditMenu->addAction(caption);
  item->setObjectName(QString::fromLatin1(name));
  item->setShortcut(shortcut);
  return item;
}

void MainMenuBar::addEditSeparator(QAction*& item, const char* name) {
  item = EditMenu->addSeparator();
  item->setObjectName(QString::fromLatin1(name));
}

void MainMenuBar::connectEditItems() {
  // Each command works on whatever text control has the focus when it is chosen.
  auto onTarget = [this](QAction* item, void (*command)(const EditTarget&)) {
    connect(item, &QAction::triggered, this, [command] {
      const EditTarget target = focusedEditTarget();
      if (target.exists()) command(target);
    });
  };
  // The console's area takes no editing: of these it answers Copy and Select All alone.
  onTarget(EditUndo, [](const EditTarget& t) {
    if (t.line) t.line->undo();
  });
  onTarget(EditCut, [](const EditTarget& t) {
    if (t.line) t.line->cut();
  });
  onTarget(EditCopy, [](const EditTarget& t) { t.line ? t.line->copy() : t.console->copy(); });
  onTarget(EditPaste, [](const EditTarget& t) {
    if (t.line) t.line->paste();
  });
  onTarget(EditClear, [](const EditTarget& t) {
    if (t.hasSelection() && !t.readOnly()) t.line->del();
  });
  onTarget(EditSelectAll,
           [](const EditTarget& t) { t.line ? t.line->selectAll() : t.console->selectAll(); });

  // Like a native application's, the items follow the focus, the selection and the clipboard,
  // so their shortcuts are live exactly when the menu would offer them.
  connect(EditMenu, &QMenu::aboutToShow, this, &MainMenuBar::updateEditItems);
  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget*, QWidget* now) { followFocus(now); });
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
          &MainMenuBar::updateEditItems);
}

void MainMenuBar::followFocus(QWidget* now) {
  for (const auto& connection : target_connections_) disconnect(connection);
  target_connections_.clear();
  const EditTarget target = editTargetOf(now);
  auto update = [this] { updateEditItems(); };
  if (target.line) {
    target_connections_.push_back(connect(target.line, &QLineEdit::textChanged, this, update));
    target_connections_.push_back(connect(target.line, &QLineEdit::selectionChanged, this, update));
  } else if (target.console) {
    target_connections_.push_back(
        connect(target.console, &ConsoleTextArea::textChanged, this, update));
    target_connections_.push_back(
        connect(target.console, &ConsoleTextArea::copyAvailable, this, update));
  }
  updateEditItems();
}

void MainMenuBar::updateEditItems() {
  const EditTarget target = focusedEditTarget();
  const bool exists = target.exists();
  const bool editable = exists && !target.readOnly();
  const bool selection = exists && target.hasSelection();
  const bool concealed = exists && target.concealed();
  EditUndo->setEnabled(editable && target.canUndo());
  EditCut->setEnabled(editable && selection && !concealed);
  EditCopy->setEnabled(selection && !concealed);
  EditPaste->setEnabled(editable && clipboardHasText());
  EditClear->setEnabled(editable && selection);
  EditSelectAll->setEnabled(exists && target.hasText());
}
