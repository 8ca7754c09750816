// The immediate pane as the active child of a real command manager loaded with the
// program's commands: a key pressed in the execute view runs its command once, the
// pane's own commands act on its view, and the rest go on to the main window.
#include "command.h"
#include "commandmanager.h"
#include "commandtable.h"
#include "frmimmediate.h"
#include "immediatecommandrouter.h"
#include "immediatefixture.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Stands in for the main window's router: every command is enabled, and each one that
// reaches it is counted.
class CountingRouter : public ICommandRouter
{
public:
    void Handle(Command &cmd, CommandUI *, bool &stop) override
    {
        handled << cmd.id();
        stop = true;
    }
    void UpdateUI(Command &cmd, bool &stop) override
    {
        cmd.setEnabled(true);
        stop = true;
    }
    QStringList handled;
};

class ImmediateRouting : public ::testing::Test
{
protected:
    void SetUp() override
    {
        manager.load(vantrelCommandDesign());
        manager.setMainRouter(&mainRouter);
        QObject::connect(&manager, &CommandManager::executed, [this](const QString &id) { executed << id; });
        // The main window's key tables, as far as these tests press keys.
        window.previewKeyDown = [this](int &keyCode, int &shift) {
            const char *id = keyCode == 116 && shift == 0 ? "DbgGo" : keyCode == 119 && shift == 0 ? "DbgStepIn" : nullptr;
            if (id) {
                keyCode = 0;
                runKey(id);
            }
        };
        window.previewKeyPress = [this](int &keyAscii) {
            const char *id = keyAscii == 3 ? "EdCopy" : keyAscii == 22 ? "EdPaste" : nullptr;
            if (id) {
                keyAscii = 0;
                runKey(id);
            }
        };
        setMainWindow(&window);
        pane = std::make_unique<frmImmediate>();
        router = std::make_unique<ImmediateCommandRouter>(pane.get());
        manager.registerChildForm(pane.get(), router.get());
        pane->resize(500, 300);
        pane->show();
        pane->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(pane.get()));
        pane->ShowExecute();
        ASSERT_EQ(manager.activeChild(), pane.get());
    }
    void TearDown() override
    {
        manager.unregisterChildForm(pane.get());
        pane.reset();
        setMainWindow(nullptr);
    }

    // A key of the main window's tables: refreshed, then run when enabled.
    void runKey(const char *id)
    {
        Command *cmd = manager.command(QLatin1String(id));
        ASSERT_TRUE(cmd);
        manager.refresh(*cmd);
        if (cmd->enabled())
            manager.execute(*cmd);
    }

    ImmediateWindow window;
    CommandManager manager;
    CountingRouter mainRouter;
    std::unique_ptr<frmImmediate> pane;
    std::unique_ptr<ImmediateCommandRouter> router;
    QStringList executed;
};

} // namespace

TEST_F(ImmediateRouting, OneKeyPressInTheExecuteViewRunsItsCommandOnce)
{
    struct Case
    {
        const char *name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int state;
        QStringList executed;      // the commands run, in order
        QStringList mainHandled;   // those the main window carried out
        QStringList lines;         // IO afterwards
    };
    const Case cases[] = {
        {"Ctrl+C copies", Qt::Key_C, Qt::ControlModifier, 1, {"EdCopy"}, {}, {"W 1", ""}},
        {"Ctrl+V pastes once", Qt::Key_V, Qt::ControlModifier, 1, {"EdPaste"}, {}, {"W 1", "W 9"}},
        {"Ctrl+V outside a session: refused", Qt::Key_V, Qt::ControlModifier, -3, {}, {}, {"W 1", ""}},
        {"F5 goes on to the main window", Qt::Key_F5, Qt::NoModifier, 1, {"DbgGo"}, {"DbgGo"}, {"W 1", ""}},
        {"F8 goes on to the main window", Qt::Key_F8, Qt::NoModifier, 1, {"DbgStepIn"}, {"DbgStepIn"}, {"W 1", ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        window.state = c.state;
        loadIO(*pane, {"W 1", ""}, {1, 0});
        pane->IO()->SetSel(0, 0, 3, 0);
        if (c.key == Qt::Key_V)
            pane->IO()->SetCaret(0, 1);
        QApplication::clipboard()->setText("W 9");
        executed.clear();
        mainRouter.handled.clear();

        QTest::keyClick(pane->IO(), c.key, c.modifiers);
        EXPECT_EQ(executed, c.executed);
        EXPECT_EQ(mainRouter.handled, c.mainHandled);
        EXPECT_EQ(ioLines(*pane), c.lines);
        if (c.key == Qt::Key_C) {
            EXPECT_EQ(QApplication::clipboard()->text(), "W 1");
        }
    }
}

TEST_F(ImmediateRouting, ThePanesCommandsActOnTheViewShown)
{
    loadIO(*pane, {"W 1", "1", ""}, {1, 0, 0});
    pane->IO()->SetCaret(0, 1);
    Command *toggle = manager.command("BmkToggle");
    ASSERT_TRUE(toggle);
    manager.refresh(*toggle);
    EXPECT_TRUE(toggle->enabled());
    EXPECT_EQ(toggle->stateValue(), 0);
    manager.execute(*toggle);
    EXPECT_EQ(pane->IO()->Document()->NumBookmarks(), 1);
    manager.refresh(*toggle);
    EXPECT_EQ(toggle->stateValue(), 1);
    EXPECT_TRUE(mainRouter.handled.isEmpty());

    // On the report the bookmarks are off, and a command the report has no part in goes
    // on to the main window.
    pane->SelectTab("R");
    manager.refresh(*toggle);
    EXPECT_FALSE(toggle->enabled());
    Command *find = manager.command("EdFind");
    manager.refresh(*find);
    EXPECT_TRUE(find->enabled());
    Command *view = manager.command("VwImmediate");
    ASSERT_TRUE(view);
    manager.refresh(*view);
    manager.execute(*view);
    EXPECT_EQ(mainRouter.handled, QStringList{"VwImmediate"});
}
