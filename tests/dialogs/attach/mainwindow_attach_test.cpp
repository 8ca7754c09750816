#include "activation.h"
#include "clientfactory.h"
#include "command.h"
#include "commandmanager.h"
#include "dialoghost.h"
#include "frmattach.h"
#include "frmconnect.h"
#include "mainwindowfixture.h"

#include <QDialog>
#include <QLineEdit>

namespace {

// A main window started after the object client registered its factory, as the
// program starts; or without that registration.
class ServerCommandsTest : public MainWindowTest
{
protected:
    void startWindow(bool withFactory)
    {
        CacheObject::registerClasses();
        if (!withFactory)
            ObjectRegistry::unregister(QStringLiteral("CacheActiveX.Factory"));
        window = start("SQ0");
        ASSERT_NE(window, nullptr) << askedTexts().join('\n').toStdString();
    }

    bool enabled(const char *id)
    {
        Command *cmd = window->cmdMgr()->command(id);
        bool stop = false;
        window->UpdateUI(*cmd, stop);
        return cmd->enabled();
    }

    void TearDown() override
    {
        setModalRunner(nullptr);
        CacheObject::setConnectDlgHook(nullptr);
        MainWindowTest::TearDown();
    }

    ObjectRegistry::Scope registryScope;
    frmMDI *window = nullptr;
};

} // namespace

// Connect and Attach only without a session and while no attach is waited for; Attach
// also needs the factory.
TEST_F(ServerCommandsTest, ConnectAndAttachFollowStateWaitAndFactory)
{
    startWindow(true);
    frmAttach *attach = window->attachDialog();
    ASSERT_TRUE(attach->IsAvailable());
    attach->tmrStatus.setInterval(3600 * 1000);
    const struct { int state; bool waiting; bool connect; bool attachable; } cases[] = {
        {-1, false, true, true},
        {-1, true, false, false},
        {1, false, false, false},
        {-3, false, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.state * 10 + c.waiting);
        window->storeMState(c.state);
        if (c.waiting)
            attach->tmrStatus.start();
        else
            attach->tmrStatus.stop();
        EXPECT_EQ(enabled("DbgConnect"), c.connect);
        EXPECT_EQ(enabled("DbgAttach"), c.attachable);
    }
    attach->tmrStatus.stop();
    window->storeMState(-1);
}

TEST_F(ServerCommandsTest, WithoutTheFactoryOnlyConnectIsOffered)
{
    startWindow(false);
    EXPECT_FALSE(window->attachDialog()->IsAvailable());
    window->storeMState(-1);
    EXPECT_TRUE(enabled("DbgConnect"));
    EXPECT_FALSE(enabled("DbgAttach"));
}

// Each command shows its dialog, pressed while it is up, and sees the Sentry's values.
TEST_F(ServerCommandsTest, CommandsRunTheirDialogs)
{
    startWindow(true);
    CacheObject::setConnectDlgHook([](const QString &) { return QString(); });
    window->storeMState(-1);
    QStringList shown;
    QList<int> pressed;
    QString sentryPort;
    setModalRunner([&](QDialog *d) {
        shown << d->objectName();
        pressed << window->cmdMgr()->command(shown.last() == "frmConnect" ? "DbgConnect" : "DbgAttach")->stateValue();
        if (auto *attach = qobject_cast<frmAttach *>(d))
            sentryPort = attach->txtPort->text();
        return int(QDialog::Rejected);
    });
    window->executeCommand("DbgConnect");
    window->executeCommand("DbgAttach");
    EXPECT_EQ(shown, (QStringList{"frmConnect", "frmAttach"}));
    EXPECT_EQ(pressed, (QList<int>{1, 1}));
    EXPECT_EQ(sentryPort, "4321");
    EXPECT_EQ(window->cmdMgr()->command("DbgConnect")->stateValue(), 0);
    EXPECT_EQ(window->cmdMgr()->command("DbgAttach")->stateValue(), 0);
}
