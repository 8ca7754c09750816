#include "command.h"
#include "commandmanager.h"
#include "commandui.h"
#include "icommandrouter.h"
#include "splittoolbutton.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QSignalSpy>
#include <QSet>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <functional>

#include <ostream>

// Readable texts in test failure messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Records every call in a log shared by all routers, in call order.
struct FakeRouter : ICommandRouter
{
    FakeRouter(const QString &name, QStringList &log) : name(name), log(log) {}

    void Handle(Command &cmd, CommandUI *context, bool &stopRouting) override
    {
        log.append(name + " Handle " + cmd.id() + (cmd.enabled() ? "" : " (disabled)"));
        contexts.append(context);
        stopRouting = handles.contains(cmd.id());
        if (handle)
            handle(cmd);
    }
    void UpdateUI(Command &cmd, bool &stopRouting) override
    {
        log.append(name + " UpdateUI " + cmd.id());
        stopRouting = decides.contains(cmd.id());
        if (update)
            update(cmd);
    }

    QString name;
    QStringList &log;
    QSet<QString> handles;                     // Handle stops routing for these
    QSet<QString> decides;                     // UpdateUI stops routing for these
    std::function<void(Command &)> handle;     // what carrying the command out does
    std::function<void(Command &)> update;     // what UpdateUI writes
    QList<CommandUI *> contexts;               // of every Handle call
};

CommandDesign::CommandDef def(const char *id, const char *category, int style, bool dropDown = false)
{
    CommandDesign::CommandDef d;
    d.id = d.toolTip = d.caption = d.image = QString::fromLatin1(id);
    d.category = QString::fromLatin1(category);
    d.style = style;
    d.dropDown = dropDown;
    return d;
}

// "Xyz" is known to no router and sits on no bar.
CommandDesign testDesign()
{
    CommandDesign design;
    design.categories = {{"Debug", "Debug", true}, {"Edit", "Edit", true}};
    design.commands = {def("DbgGo", "Debug", Command::PressStyle), def("DbgBreak", "Debug", Command::PressStyle),
                       def("EdCut", "Edit", Command::PlainStyle), def("EdUndo", "Edit", Command::PlainStyle, true),
                       def("EdGoto", "Edit", Command::GotoBoxStyle), def("Xyz", "Edit", Command::PlainStyle)};
    design.bars = {{"tlbTest", "Test",
                    "key=DbgGo!dm=0,key=DbgBreak!dm=0,-1,key=EdGoto!dm=0!Width=100,key=EdCut!dm=0,key=EdUndo!dm=0"}};
    return design;
}

// A main window carrying the bar and two child forms: A takes commands, B (a pane)
// takes none. The window is shown and active, so focus changes are real.
class CommandManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        manager.load(testDesign());
        host.addToolBar(manager.toolBar("tlbTest"));
        auto *central = new QWidget;
        auto *layout = new QHBoxLayout(central);
        formA = new QWidget;
        editA = new QLineEdit(formA);
        formB = new QWidget;
        editB = new QLineEdit(formB);
        layout->addWidget(formA);
        layout->addWidget(formB);
        host.setCentralWidget(central);
        host.show();
        host.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&host));

        manager.setMainRouter(&mainRouter);
        manager.registerChildForm(formA, &childRouter);
        manager.registerChildForm(formB, nullptr);
        QCoreApplication::processEvents();
        log.clear();
    }

    // "A", "B" or "" for no form.
    QWidget *form(const char *name)
    {
        const QString n = QString::fromLatin1(name);
        return n == "A" ? formA : n == "B" ? formB : nullptr;
    }
    QWidget *itemOf(const char *id) { return manager.command(id)->uiObjects().value(0)->widget(); }
    QComboBox *gotoBox() { return manager.command("EdGoto")->uiObjects().value(0)->combo(); }

    QStringList log;
    FakeRouter mainRouter{"main", log};
    FakeRouter childRouter{"child", log};
    QMainWindow host;
    CommandManager manager;
    QWidget *formA = nullptr;
    QLineEdit *editA = nullptr;
    QWidget *formB = nullptr;
    QLineEdit *editB = nullptr;
};

} // namespace

TEST_F(CommandManagerTest, RoutesToTheActiveChildFirstAndTheMainWindowLast)
{
    struct Case { const char *active; bool childStops; bool enabled; QStringList handled; };
    const Case cases[] = {
        {"A", true, true, {"child Handle EdCut"}},
        {"A", false, true, {"child Handle EdCut", "main Handle EdCut"}},
        {"", true, true, {"main Handle EdCut"}},
        {"B", true, true, {"main Handle EdCut"}},                    // a pane without commands
        {"A", true, false, {"main Handle EdCut (disabled)"}},        // a child never sees a disabled command
    };
    Command *cut = manager.command("EdCut");
    QSignalSpy executed(&manager, &CommandManager::executed);
    for (const Case &c : cases) {
        manager.setActiveChild(form(c.active));
        childRouter.handles = c.childStops ? QSet<QString>{"EdCut"} : QSet<QString>{};
        cut->setEnabled(c.enabled);
        log.clear();
        executed.clear();
        cut->execute();
        EXPECT_EQ(log, c.handled) << c.active << c.childStops << c.enabled;
        ASSERT_EQ(executed.size(), 1);
        EXPECT_EQ(executed.first().first().toString(), "EdCut");
    }
}

TEST_F(CommandManagerTest, AsksTheActiveChildFirstWhenRefreshing)
{
    struct Case { const char *active; bool childDecides; QStringList asked; };
    const Case cases[] = {
        {"A", true, {"child UpdateUI EdCut"}},
        {"A", false, {"child UpdateUI EdCut", "main UpdateUI EdCut"}},
        {"B", true, {"main UpdateUI EdCut"}},
        {"", true, {"main UpdateUI EdCut"}},
    };
    for (const Case &c : cases) {
        manager.setActiveChild(form(c.active));
        childRouter.decides = c.childDecides ? QSet<QString>{"EdCut"} : QSet<QString>{};
        log.clear();
        manager.refresh(*manager.command("EdCut"));
        EXPECT_EQ(log, c.asked) << c.active << c.childDecides;
    }
}

TEST_F(CommandManagerTest, FindsCommandsByExactIdentifierOnly)
{
    EXPECT_EQ(manager.command("EdCut")->id(), "EdCut");
    for (const char *id : {"edcut", "EDCUT", "EdCut ", "", "Nope"})
        EXPECT_EQ(manager.command(id), nullptr) << id;
    EXPECT_EQ(manager.categoryByName("Edit"), manager.command("EdCut")->category());
    EXPECT_EQ(manager.categoryByName("edit"), nullptr);

    // A command that no router takes passes every router and is simply done.
    manager.setActiveChild(formA);
    manager.command("Xyz")->execute();
    EXPECT_EQ(log, (QStringList{"child Handle Xyz", "main Handle Xyz"}));
}

TEST_F(CommandManagerTest, PressingAStyleTwoButtonHandsItOverPressed)
{
    Command *go = manager.command("DbgGo");
    int stateAtHandle = -1;
    bool checkedAtHandle = false;
    mainRouter.handles = {"DbgGo"};
    mainRouter.handle = [&](Command &cmd) {
        stateAtHandle = cmd.stateValue();
        checkedAtHandle = cmd.action()->isChecked();
    };
    // From pressed, Qt's own toggle of the checkable action would let it up.
    for (int initial : {0, 1}) {
        go->setStateValue(initial);
        ASSERT_EQ(go->action()->isChecked(), initial == 1);
        log.clear();
        QTest::mouseClick(itemOf("DbgGo"), Qt::LeftButton);
        EXPECT_EQ(log, (QStringList{"main UpdateUI DbgGo", "main Handle DbgGo"})) << initial;
        EXPECT_EQ(stateAtHandle, 1) << initial;
        EXPECT_TRUE(checkedAtHandle) << initial;
        EXPECT_EQ(go->stateValue(), 1);
        EXPECT_TRUE(go->action()->isChecked());
    }
}

TEST_F(CommandManagerTest, ACommandThatDisablesItselfWhenPressedStillReachesHandle)
{
    Command *brk = manager.command("DbgBreak");
    mainRouter.update = [](Command &cmd) {
        if (cmd.id() == "DbgBreak")
            cmd.setEnabled(cmd.stateValue() != 1);
    };
    mainRouter.handles = {"DbgBreak"};
    manager.refreshAll();
    ASSERT_TRUE(brk->enabled());

    log.clear();
    QTest::mouseClick(itemOf("DbgBreak"), Qt::LeftButton);
    EXPECT_EQ(log, (QStringList{"main UpdateUI DbgBreak", "main Handle DbgBreak"}));

    // The refresh after the execution disables it: a second click does nothing.
    QCoreApplication::processEvents();
    EXPECT_FALSE(brk->enabled());
    EXPECT_FALSE(itemOf("DbgBreak")->isEnabled());
    log.clear();
    QTest::mouseClick(itemOf("DbgBreak"), Qt::LeftButton);
    EXPECT_FALSE(log.contains("main Handle DbgBreak"));
}

TEST_F(CommandManagerTest, AClickThatRacedAStateChangeOnlyReleasesTheButton)
{
    Command *go = manager.command("DbgGo");
    manager.setActiveChild(formA);
    childRouter.handles = {"DbgGo"};
    mainRouter.update = [](Command &cmd) { cmd.setEnabled(false); };
    mainRouter.handle = [](Command &cmd) {
        if (!cmd.enabled() && (cmd.style() & 3) == Command::PressStyle)
            cmd.setStateValue(0);
    };
    ASSERT_TRUE(go->enabled());   // the button still shows the old state

    QTest::mouseClick(itemOf("DbgGo"), Qt::LeftButton);
    EXPECT_EQ(log, (QStringList{"child UpdateUI DbgGo", "main UpdateUI DbgGo", "main Handle DbgGo (disabled)"}));
    EXPECT_EQ(go->stateValue(), 0);
    EXPECT_FALSE(go->action()->isChecked());
}

TEST_F(CommandManagerTest, GotoBoxEnterAndUndoArrowPassTheirItem)
{
    manager.setActiveChild(formA);
    childRouter.handles = {"EdGoto", "EdUndo"};
    CommandUI *gotoItem = manager.command("EdGoto")->uiObjects().value(0);
    CommandUI *undoItem = manager.command("EdUndo")->uiObjects().value(0);

    QComboBox *box = gotoBox();
    box->setFocus();
    QTest::keyClicks(box, "Stop+3");
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box->lineEdit(), Qt::Key_Enter);   // a key sent on to the line edit
    EXPECT_EQ(box->count(), 0);   // Enter does not add the text to the list
    EXPECT_EQ(box->currentText(), "Stop+3");

    auto *undo = qobject_cast<SplitToolButton *>(undoItem->widget());
    ASSERT_TRUE(undo);
    QTest::mouseClick(undo, Qt::LeftButton, {}, undo->arrowRect().center());
    QTest::mouseClick(undo, Qt::LeftButton, {}, QPoint(2, undo->height() / 2));

    EXPECT_EQ(log.filter("Handle"),
              (QStringList{"child Handle EdGoto", "child Handle EdGoto", "child Handle EdUndo", "child Handle EdUndo"}));
    EXPECT_EQ(childRouter.contexts, (QList<CommandUI *>{gotoItem, gotoItem, undoItem, nullptr}));
}

TEST_F(CommandManagerTest, ItemsFollowTheCommandsState)
{
    Command *gotoCommand = manager.command("EdGoto");
    Command *undo = manager.command("EdUndo");
    gotoCommand->setEnabled(false);
    undo->setEnabled(false);
    EXPECT_FALSE(gotoBox()->isEnabled());
    EXPECT_FALSE(itemOf("EdUndo")->isEnabled());
    gotoCommand->setEnabled(true);
    undo->setEnabled(true);
    EXPECT_TRUE(gotoBox()->isEnabled());
    EXPECT_TRUE(itemOf("EdUndo")->isEnabled());

    auto *go = qobject_cast<QToolButton *>(itemOf("DbgGo"));
    ASSERT_TRUE(go);
    manager.command("DbgGo")->setStateValue(1);
    EXPECT_TRUE(go->isChecked());
    manager.command("DbgGo")->setStateValue(0);
    EXPECT_FALSE(go->isChecked());
}

TEST_F(CommandManagerTest, ActiveChildFollowsTheFocusButNotIntoBars)
{
    editA->setFocus();
    EXPECT_EQ(manager.activeChild(), formA);
    EXPECT_EQ(manager.activeChildRouter(), &childRouter);

    editB->setFocus();
    EXPECT_EQ(manager.activeChild(), formB);
    EXPECT_EQ(manager.activeChildRouter(), nullptr);

    gotoBox()->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), gotoBox());
    EXPECT_EQ(manager.activeChild(), formB);

    // The MDI area's activation names a form or anything inside it.
    manager.setActiveChild(editA);
    EXPECT_EQ(manager.activeChild(), formA);
    manager.setActiveChild(gotoBox());
    EXPECT_EQ(manager.activeChild(), nullptr);

    editA->setFocus();
    gotoBox()->setFocus();
    formA->hide();
    EXPECT_EQ(manager.activeChild(), nullptr);
    formA->show();
    EXPECT_EQ(manager.activeChild(), formA);

    delete formA;
    formA = nullptr;
    EXPECT_EQ(manager.activeChild(), nullptr);
    manager.command("EdCut")->execute();
    EXPECT_EQ(log.filter("Handle"), QStringList{"main Handle EdCut"});

    manager.unregisterChildForm(formB);
    editB->setFocus();
    EXPECT_EQ(manager.activeChild(), nullptr);
}

TEST_F(CommandManagerTest, StopsARouterThatExecutesWithoutEnd)
{
    Command *cut = manager.command("EdCut");
    int calls = 0;
    mainRouter.handle = [&](Command &cmd) {
        ++calls;
        cmd.execute();
    };
    cut->execute();
    EXPECT_EQ(calls, CommandManager::MaxExecuteDepth);

    // The guard unwinds: the next execution runs again.
    mainRouter.handle = nullptr;
    log.clear();
    cut->execute();
    EXPECT_EQ(log, QStringList{"main Handle EdCut"});
}

TEST_F(CommandManagerTest, RefreshesOnceWhenTheEventLoopNextRuns)
{
    // Without a main router nothing refreshes on its own clock; the child counts.
    manager.setMainRouter(nullptr);
    manager.setActiveChild(formA);
    QCoreApplication::processEvents();
    log.clear();

    manager.invalidate();
    manager.invalidate();
    manager.command("EdCut")->execute();
    EXPECT_EQ(log.filter("UpdateUI").size(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(log.filter("child UpdateUI EdCut").size(), 1);

    QClipboard *clipboard = QGuiApplication::clipboard();
    for (bool hasText : {true, false, true}) {
        if (hasText)
            clipboard->setText("S +3");
        else
            clipboard->clear();
        log.clear();
        QCoreApplication::processEvents();
        EXPECT_EQ(manager.clipboardHasText(), hasText);
        EXPECT_EQ(log.filter("child UpdateUI EdCut").size(), 1) << hasText;
    }
}

TEST(CommandManager, RaisesInitCommandUIOncePerBuiltItem)
{
    CommandManager manager;
    QStringList raised;
    QList<CommandUI *> items;
    QObject::connect(&manager, &CommandManager::InitCommandUI, [&](CommandUI *ui) {
        raised.append(ui->command()->id());
        items.append(ui);
    });
    manager.load(testDesign());
    EXPECT_EQ(raised, (QStringList{"DbgGo", "DbgBreak", "EdGoto", "EdCut", "EdUndo"}));

    for (CommandUI *ui : items) {
        EXPECT_EQ(ui->command()->uiObjects(), QList<CommandUI *>{ui});
        if (ui->command()->id() == "EdGoto") {
            ASSERT_TRUE(ui->combo());
            EXPECT_EQ(ui->widget(), ui->combo());
            EXPECT_TRUE(ui->combo()->isEditable());
            EXPECT_EQ(ui->combo()->width(), 100);
        } else {
            EXPECT_EQ(ui->combo(), nullptr);
            EXPECT_TRUE(qobject_cast<QToolButton *>(ui->widget()));
        }
    }

    // A second design is refused, so nothing is built twice.
    manager.load(testDesign());
    EXPECT_EQ(raised.size(), 5);
    EXPECT_EQ(manager.commands().size(), 6);
    EXPECT_EQ(manager.toolBars().size(), 1);
}
