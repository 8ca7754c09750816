#include "mainwindowfixture.h"

#include "frmfileopen.h"
#include "mdihost.h"
#include "memento.h"
#include "sources.h"
#include "vbtimer.h"
#include "command.h"
#include "commandmanager.h"
#include "commandui.h"

#include <QComboBox>
#include <QLineEdit>

#include <QAction>

namespace {

using SettingsTest = StartedMainWindowTest;

TEST_F(SettingsTest, TheKeepAliveIntervalIsReadStrictlyAndNeverBelowFiveSeconds)
{
    struct Case
    {
        QVariant stored;   // invalid: missing
        int interval;
    };
    const Case cases[] = {
        {1000, 5000}, {1, 5000}, {4999, 5000}, {5000, 5000}, {60000, 60000},
        {0, 0}, {QVariant(), 30000}, {"abc", 30000}, {-5, 30000}, {"2.5", 30000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored.toString().toStdString());
        window->keepAliveTimer()->setInterval(30000);
        Memento m;
        if (c.stored.isValid())
            m.write("KeepAliveInterval", c.stored);
        window->restoreMemento(m);
        EXPECT_EQ(window->keepAliveTimer()->interval(), c.interval);
    }
}

TEST_F(SettingsTest, RestoreLeavesWhatIsMissingOrUnreadable)
{
    programSettings().BreakOnError = true;
    programSettings().SwitchToReportOnSaveError = false;
    Memento m;
    m.write("BreakOnError", "abc");
    m.write("StepLinewise", "true");
    window->restoreMemento(m);
    EXPECT_TRUE(programSettings().BreakOnError);
    EXPECT_TRUE(programSettings().StepLinewise);
    EXPECT_TRUE(programSettings().SwitchToReportOnSaveError);   // True unless stored otherwise
    EXPECT_TRUE(window->settingsRestored());

    // Only a stored False hides the tab strip; True never shows one hidden elsewhere.
    window->MeX()->setTabsVisible(false);
    Memento shown;
    shown.write("DocumentTabs.Visible", true);
    window->restoreMemento(shown);
    EXPECT_FALSE(window->MeX()->tabsVisible());
}

TEST_F(SettingsTest, TheCodeFontAndTheOemRule)
{
    auto nameBytes = [](const QString &name) {
        return QByteArray(reinterpret_cast<const char *>(name.utf16()), name.size() * 2);
    };
    const QString dialogFamily = programSettings().dialogFont.family();

    Memento empty;
    empty.write("CodeFont.Name", QByteArray());
    empty.write("CodeFont.Size", 20.0);
    window->restoreMemento(empty);
    EXPECT_EQ(programSettings().codeFont.pointSizeF(), 10.0);   // nothing of the font step ran

    Memento oem;
    oem.write("CodeFont.Name", nameBytes("Terminal"));
    oem.write("CodeFont.Size", 12.0);
    oem.write("CodeFont.Charset", 255);
    window->restoreMemento(oem);
    EXPECT_EQ(programSettings().codeFont.family(), "Terminal");
    EXPECT_EQ(programSettings().codeFont.pointSizeF(), 12.0);
    EXPECT_EQ(programSettings().dialogFont.family(), "Terminal");
    EXPECT_EQ(window->dialogFontCharset(), 0);

    programSettings().dialogFont.setFamily(dialogFamily);
    Memento greek;
    greek.write("CodeFont.Name", nameBytes("Courier New"));
    greek.write("CodeFont.Charset", 161);
    window->restoreMemento(greek);
    EXPECT_EQ(programSettings().dialogFont.family(), dialogFamily);
    EXPECT_EQ(window->dialogFontCharset(), 161);
}

TEST_F(SettingsTest, SaveWritesEveryKeyAndRestoresIdentically)
{
    programSettings().StepLinewise = true;
    programSettings().CommandCounter = false;
    window->keepAliveTimer()->setInterval(9000);
    window->windowSwitchTimer()->setInterval(0);
    window->MeX()->setTabsEdge(MdiHost::Left);
    const MementoPtr saved = window->saveMemento();
    const QStringList keys = {"ChildMaxed", "BreakOnError", "StepLinewise", "CommandCounter",
                              "ShowGuideAtStartup", "AutoSwitchInterval", "KeepAliveInterval", "CodeWrap",
                              "ViewRich", "ViewBlocks", "DocumentTabs.Visible", "DocumentTabs.Edge",
                              "SwitchToReportOnSaveError", "CodeFont.Name", "CodeFont.Size", "CodeFont.Charset"};
    for (const QString &key : keys)
        EXPECT_TRUE(saved->contains(key)) << key.toStdString();
    EXPECT_EQ(saved->read("CodeFont.Name").toByteArray(), QByteArray("C\0o\0u\0r\0i\0e\0r\0 \0N\0e\0w\0", 22));

    programSettings().StepLinewise = false;
    programSettings().CommandCounter = true;
    window->keepAliveTimer()->setInterval(30000);
    window->windowSwitchTimer()->setInterval(2000);
    window->MeX()->setTabsEdge(MdiHost::Top);
    window->restoreMemento(*saved);
    EXPECT_TRUE(programSettings().StepLinewise);
    EXPECT_FALSE(programSettings().CommandCounter);
    EXPECT_EQ(window->keepAliveTimer()->interval(), 9000);
    EXPECT_EQ(window->windowSwitchTimer()->interval(), 0);
    EXPECT_EQ(window->MeX()->tabsEdge(), MdiHost::Left);
}

TEST_F(SettingsTest, TheRecentMenuListsThisServersItemsOnly)
{
    // Not connected: the link's address is "", so the items of host "" match.
    auto item = [](const QString &host, const QString &name, bool readOnly) {
        auto s = std::make_shared<Source>();
        s->Name = name;
        s->Path = "vantrel://" + host + "/USER";
        s->ReadOnly = readOnly;
        return s;
    };
    std::vector<SourcePtr> items;
    for (int i = 1; i <= 12; ++i)
        items.push_back(item(i % 3 == 0 ? "10.0.0.9" : "", QString("R%1").arg(i), i == 2));
    window->fileOpenDialog()->setRecent(items);
    window->UpdateRecent();
    const QList<QAction *> entries = window->recentMenuItems();
    ASSERT_EQ(entries.size(), 10);
    EXPECT_TRUE(entries[0]->isVisible());
    EXPECT_EQ(entries[1]->text(), "&1 R1 from USER");
    EXPECT_EQ(entries[2]->text(), "&2 R2 from USER (Read)");
    EXPECT_EQ(entries[3]->text(), "&3 R4 from USER");
    EXPECT_EQ(entries[3]->data().toString(), "4");   // its place in the whole list
    EXPECT_EQ(entries[8]->text(), "&8 R11 from USER");
    EXPECT_FALSE(entries[9]->isVisible());

    window->fileOpenDialog()->setRecent({item("10.0.0.9", "X", false)});
    window->UpdateRecent();
    for (QAction *entry : window->recentMenuItems())
        EXPECT_FALSE(entry->isVisible());
}

TEST_F(SettingsTest, TimersFollowTheOriginalRules)
{
    VbTimer timer(0);
    timer.setEnabled(true);
    EXPECT_TRUE(timer.enabled());
    EXPECT_FALSE(timer.isActive());   // 0 never fires
    timer.setInterval(50);
    EXPECT_TRUE(timer.isActive());
    timer.setInterval(-1);
    EXPECT_EQ(timer.interval(), 50);
}

} // namespace

namespace {

TEST_F(SettingsTest, TheCodeWindowsReachTheGoToBoxAndTheMenuItems)
{
    Command *go = window->cmdMgr()->command("EdGoto");
    ASSERT_NE(go, nullptr);
    ASSERT_FALSE(go->uiObjects().isEmpty());
    QComboBox *combo = go->uiObjects().first()->combo();
    ASSERT_NE(combo, nullptr);
    combo->addItems({"START", "LOOP"});
    window->clearGoToLists();
    EXPECT_EQ(combo->count(), 0);

    // Keys go to the box only while a helper is set on the window by name.
    EXPECT_FALSE(window->goToBoxActive());
    QObject helper;
    window->setProperty("OtxCBHelper", QVariant::fromValue<QObject *>(&helper));
    EXPECT_TRUE(window->goToBoxActive());
    // The box's helper completes what arrives as it completes typing.
    combo->addItem("LOOP");
    combo->clearEditText();
    window->goToBoxKeyPress('L');
    window->goToBoxKeyPress('O');
    EXPECT_EQ(combo->lineEdit()->text(), "LOOP");
    EXPECT_EQ(combo->lineEdit()->selectedText(), "OP");
    window->setProperty("OtxCBHelper", QVariant::fromValue<QObject *>(nullptr));

    // The View menu's ticks are the saved settings; other items are the menus' own.
    window->setMenuItemChecked("mnuViewWrap", true);
    EXPECT_TRUE(window->lineWrap());
    window->setMenuItemCaption("mnuPopCodeGoto", "&Jump to 'START'");
    window->setMenuItemEnabled("mnuPopCodeGoto", false);
    ASSERT_NE(window->menuItem("mnuPopCodeGoto"), nullptr);
    EXPECT_EQ(window->menuItem("mnuPopCodeGoto")->text(), "&Jump to 'START'");
    EXPECT_FALSE(window->menuItemEnabled("mnuPopCodeGoto"));
}

} // namespace
