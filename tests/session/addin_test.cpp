#include "mainwindowfixture.h"

#include "addinconnect.h"
#include "addinhost.h"
#include "frmsplash.h"

namespace {

TEST_F(MainWindowTest, OnlySQAtTheStartMeansStartedForAServer)
{
    struct Case
    {
        const char *commandLine;
        bool forServer;
        quint64 remembered;
    };
    const Case cases[] = {
        {"SQ123", true, 123}, {"SQ", true, 0}, {"SQabc", true, 0},
        {"S", false, 0}, {"sq123", false, 0}, {"", false, 0},
    };
    qputenv("VANTREL_INSTANCE_LOCK", dir.filePath("instance.lock").toUtf8());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.commandLine);
        frmMDI *window = start(c.commandLine);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(AddIn::startedForServer(), c.forServer);
        // Any other start goes through the splash, which loads and shows the window later.
        EXPECT_EQ(frmSplash::current() == nullptr, c.forServer);
        EXPECT_EQ(window->isLoaded(), c.forServer);
        EXPECT_EQ(window->isVisible(), c.forServer);
        EXPECT_EQ(window->isEnabled(), c.forServer);
        EXPECT_EQ(window->rememberedWindow(), c.remembered);
        AddIn::reset();
    }
    qunsetenv("VANTREL_INSTANCE_LOCK");
}

TEST_F(MainWindowTest, OnlyAnInteractiveStartIsRefusedBesideARunningCopy)
{
    qputenv("VANTREL_INSTANCE_LOCK", dir.filePath("instance.lock").toUtf8());
    SingleInstance other(dir.filePath("instance.lock"));
    ASSERT_TRUE(other.tryLock());
    EXPECT_EQ(start(""), nullptr);
    EXPECT_TRUE(prompt->asked.empty());
    for (const char *line : {"S", "SQ0"}) {
        EXPECT_NE(start(line), nullptr) << line;
        AddIn::reset();
    }
    qunsetenv("VANTREL_INSTANCE_LOCK");
}

class FakeButton : public ICommandBarControl
{
public:
    void setCaption(const QString &c) override { caption = c; }
    void remove() override { removed = true; }
    QString caption;
    bool removed = false;
};

class FakeBar : public ICommandBar
{
public:
    ICommandBarControl *addButton() override
    {
        buttons.push_back(std::make_unique<FakeButton>());
        return buttons.back().get();
    }
    std::vector<std::unique_ptr<FakeButton>> buttons;
};

class FakeAddInHost : public IAddInHost
{
public:
    ICommandBar *commandBar(const QString &name) override
    {
        return hasBar && name == "Add-Ins" ? &bar : nullptr;
    }
    FakeBar bar;
    bool hasBar = true;
};

TEST_F(MainWindowTest, AsAnAddInTheWindowShowsWhenItWasShownBefore)
{
    struct Case
    {
        int mode;
        const char *stored;   // null: missing
        bool shown;
        bool button;
    };
    const Case cases[] = {
        {AddInConnect::AfterStartup, "1", true, true},
        {AddInConnect::AfterStartup, "0", false, true},
        {AddInConnect::AfterStartup, nullptr, false, true},
        {AddInConnect::AfterStartup, "yes", false, true},
        {AddInConnect::External, "0", true, false},
        {AddInConnect::Startup, "1", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(QString("%1 %2").arg(c.mode).arg(c.stored ? c.stored : "-").toStdString());
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Brindlecote", "Vantrel").remove("Settings");
        if (c.stored)
            AddInConnect::setDisplayOnConnect(c.stored);
        FakeAddInHost host;
        AddInConnect connect;
        connect.OnConnection(&host, c.mode);
        // Not started by the Sentry: showing means the splash is up for the new window.
        const auto shown = [] { return AddIn::gfrmMDI() != nullptr && frmSplash::current() != nullptr; };
        EXPECT_EQ(shown(), c.shown);
        ASSERT_EQ(host.bar.buttons.size(), c.button ? 1u : 0u);
        if (c.button) {
            EXPECT_EQ(host.bar.buttons[0]->caption, "Vantrel");
            if (c.mode == AddInConnect::Startup) {
                connect.OnStartupComplete();   // "1" stored: now it shows
                EXPECT_TRUE(shown());
            }
        }
        const bool displayed = connect.FormDisplayed;
        connect.OnDisconnection();
        EXPECT_EQ(AddInConnect::displayOnConnect(), displayed ? "1" : "0");
        EXPECT_EQ(AddIn::gfrmMDI(), nullptr);
        if (c.button) {
            EXPECT_TRUE(host.bar.buttons[0]->removed);
        }
        AddIn::reset();
    }

    FakeAddInHost barless;
    barless.hasBar = false;
    AddInConnect connect;
    connect.OnConnection(&barless, AddInConnect::Startup);
    EXPECT_EQ(connect.AddToAddInCommandBar("Vantrel"), nullptr);
}

TEST_F(MainWindowTest, HideEndsTheProgramOnlyWhenStandalone)
{
    frmMDI *window = start("SQ0");
    ASSERT_NE(window, nullptr);
    window->VBInst = nullptr;
    AddIn::connect()->Hide();
    EXPECT_EQ(exitCodes.size(), 1u);
    AddIn::reset();
    exitCodes.clear();

    FakeAddInHost host;
    AddInConnect connect;
    connect.OnConnection(&host, AddInConnect::External);
    ASSERT_NE(AddIn::gfrmMDI(), nullptr);
    connect.Hide();
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_FALSE(AddIn::gfrmMDI()->isVisible());
    connect.OnDisconnection();
}

} // namespace
