#include "app/menu_bar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <memory>

#include "support/simulation.h"
#include "window/telvar.h"

namespace {

struct ItemRow {
  const char* name;
  const char* caption;  // empty for a separator
  QKeySequence shortcut;
};

QStringList namesOf(const QList<QAction*>& actions) {
  QStringList names;
  for (const QAction* action : actions) names.append(action->objectName());
  return names;
}

}  // namespace

TEST(MainMenuBarTest, FileHoldsQuitAndEditTheEightEditingItems) {
  MainMenuBar& bar = MainMenuBar::shared();
  EXPECT_EQ(&MainMenuBar::shared(), &bar);
  EXPECT_EQ(namesOf(bar.actions()), (QStringList{"FileMenu", "EditMenu"}));
  EXPECT_EQ(bar.FileMenu->objectName(), "FileMenu");
  EXPECT_EQ(bar.FileMenu->title(), "&File");
  EXPECT_EQ(bar.EditMenu->objectName(), "EditMenu");
  EXPECT_EQ(bar.EditMenu->title(), "&Edit");

  ASSERT_EQ(bar.FileMenu->actions().size(), 1);
  QAction* quit = bar.FileMenu->actions().first();
  EXPECT_EQ(quit, bar.FileQuit);
  EXPECT_EQ(quit->objectName(), "FileQuit");
  EXPECT_EQ(quit->text(), "&Quit");
  EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(quit->menuRole(), QAction::QuitRole);

  const std::vector<ItemRow> edit = {
      {"EditUndo", "&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
      {"EditSeparator1", "", {}},
      {"EditCut", "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X)},
      {"EditCopy", "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C)},
      {"EditPaste", "&Paste", QKeySequence(Qt::CTRL | Qt::Key_V)},
      {"EditClear", "&Delete", {}},
      {"EditSeparator2", "", {}},
      {"EditSelectAll", "Select &All", QKeySequence(Qt::CTRL | Qt::Key_A)},
  };
  const QList<QAction*> items = bar.EditMenu->actions();
  ASSERT_EQ(items.size(), 8);
  for (std::size_t i = 0; i < edit.size(); ++i) {
    SCOPED_TRACE(edit[i].name);
    QAction* item = items[int(i)];
    EXPECT_EQ(item->objectName(), edit[i].name);
    EXPECT_EQ(item->isSeparator(), !*edit[i].caption);
    if (*edit[i].caption) {
      EXPECT_EQ(item->text(), edit[i].caption);
    }
    EXPECT_EQ(item->shortcut(), edit[i].shortcut);
    EXPECT_TRUE(item->isVisible());
  }
}

namespace {

// A shown, active main window whose fields can take the focus.
struct EditMenuTest : ::testing::Test {
  Simulation sim;
  std::unique_ptr<TELVAR> window = std::make_unique<TELVAR>(sim.platform());
  MainMenuBar& bar = MainMenuBar::shared();

  void SetUp() override {
    window->show();
    QApplication::setActiveWindow(window.get());
    QCoreApplication::processEvents();
  }

  void focus(QWidget& widget) {
    widget.setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), &widget);
  }

  // Which Edit items are enabled, in menu order: Undo, Cut, Copy, Paste, Delete, Select All.
  QString enabledItems() {
    bar.updateEditItems();
    QString marks;
    for (QAction* item :
         {bar.EditUndo, bar.EditCut, bar.EditCopy, bar.EditPaste, bar.EditClear, bar.EditSelectAll})
      marks += item->isEnabled() ? '1' : '0';
    return marks;
  }
};

}  // namespace

TEST_F(EditMenuTest, TheWindowsMenuBarIsTheApplicationsOneAndOutlivesTheWindow) {
  EXPECT_EQ(window->menuWidget(), &bar);
  window.reset();
  EXPECT_EQ(&MainMenuBar::shared(), &bar);
  EXPECT_EQ(bar.parent(), nullptr);
  TELVAR second(sim.platform());
  EXPECT_EQ(second.menuWidget(), &bar);
}

TEST_F(EditMenuTest, CopyAndPasteActOnTheFocusedField) {
  window->Command2.setText("<GETSERIAL>>");
  focus(window->Command2);
  window->Command2.selectAll();
  ASSERT_TRUE(bar.EditCopy->isEnabled());
  bar.EditCopy->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "<GETSERIAL>>");

  QGuiApplication::clipboard()->setText("<DSID>>");
  window->Command2.clear();
  ASSERT_TRUE(bar.EditPaste->isEnabled());
  bar.EditPaste->trigger();
  EXPECT_EQ(window->Command2.text(), "<DSID>>");
  EXPECT_EQ(window->SerialSize.text(), "");  // only the focused field changed
}

TEST_F(EditMenuTest, ItemsEnableThemselvesForTheFocusedControl) {
  QGuiApplication::clipboard()->setText("x");
  focus(window->ClearButton);
  EXPECT_EQ(enabledItems(), "000000");  // no text control has the focus

  window->Command2.setText("abc");
  focus(window->Command2);
  window->Command2.deselect();
  EXPECT_EQ(enabledItems(), "000101");
  window->Command2.selectAll();
  EXPECT_EQ(enabledItems(), "011111");
  window->Command2.insert("d");  // typing replaces the selection and can be undone
  EXPECT_EQ(enabledItems(), "100101");

  window->SerialSize.setText("42");
  focus(window->SerialSize);
  window->SerialSize.selectAll();
  EXPECT_EQ(enabledItems(), "001001");  // read-only: it can only be copied

  focus(window->SerialText);
  EXPECT_EQ(enabledItems(), "000000");  // read-only and empty
  window->SerialText.setText("reply");
  EXPECT_EQ(enabledItems(), "000001");

  focus(window->Command1);
  EXPECT_EQ(enabledItems(), "000000");  // a pop-up menu takes no typing
}

TEST_F(EditMenuTest, UndoCutDeleteAndSelectAllEditTheFocusedField) {
  focus(window->Command2);
  window->Command2.insert("<REBOOT>>");
  bar.updateEditItems();
  bar.EditSelectAll->trigger();
  EXPECT_EQ(window->Command2.selectedText(), "<REBOOT>>");
  bar.EditCut->trigger();
  EXPECT_EQ(window->Command2.text(), "");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "<REBOOT>>");
  bar.EditUndo->trigger();
  EXPECT_EQ(window->Command2.text(), "<REBOOT>>");
  window->Command2.setSelection(0, 1);
  bar.EditClear->trigger();
  EXPECT_EQ(window->Command2.text(), "REBOOT>>");
}

TEST_F(EditMenuTest, ItemsFollowFocusSelectionAndClipboardWithoutTheMenuOpening) {
  window->Command2.setText("abc");
  focus(window->ClearButton);
  EXPECT_FALSE(bar.EditSelectAll->isEnabled());
  focus(window->Command2);
  EXPECT_TRUE(bar.EditSelectAll->isEnabled());
  window->Command2.selectAll();
  EXPECT_TRUE(bar.EditCopy->isEnabled());
  window->Command2.deselect();
  EXPECT_FALSE(bar.EditCopy->isEnabled());
  QGuiApplication::clipboard()->clear();
  EXPECT_FALSE(bar.EditPaste->isEnabled());
  QGuiApplication::clipboard()->setText("y");
  EXPECT_TRUE(bar.EditPaste->isEnabled());
}

TEST_F(EditMenuTest, SelectAllAndCopyTakeTheConsolesWholeText) {
  window->SerialText.setText("SIM-000001");
  window->SerialText.appendText("31 32 33 ");
  focus(window->SerialText);
  EXPECT_EQ(enabledItems(), "000001");
  bar.EditSelectAll->trigger();
  EXPECT_EQ(enabledItems(), "001001");  // read-only: it can only be copied
  bar.EditCopy->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "SIM-00000131 32 33 ");

  // Items that would edit the text do nothing to it, even when triggered.
  for (QAction* item : {bar.EditUndo, bar.EditCut, bar.EditPaste, bar.EditClear}) {
    item->setEnabled(true);
    item->trigger();
  }
  EXPECT_EQ(window->SerialText.text(), "SIM-00000131 32 33 ");
}
