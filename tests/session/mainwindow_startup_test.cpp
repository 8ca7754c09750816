#include "mainwindowfixture.h"

#include "docfakes.h"

#include "frmbreakpoints.h"
#include "panedock.h"
#include "paneform.h"
#include "command.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "mdihost.h"
#include "memento.h"
#include "routine.h"
#include "routines.h"
#include "scriptedengine.h"
#include "socketx.h"
#include "statusbar.h"
#include "vbtimer.h"

#include <QDockWidget>
#include <QTcpSocket>
#include <QToolBar>

namespace {

TEST_F(MainWindowTest, StartedForAServerItBooksWithTheSentryAndListensAtOnce)
{
    useRealSentry();
    frmMDI *window = start("SQ0");
    ASSERT_NE(window, nullptr) << askedTexts().join('\n').toStdString();
    EXPECT_TRUE(exitCodes.empty());
    ASSERT_NE(window->booking(), nullptr);
    EXPECT_EQ(window->booking()->Port(), sentryPort + 1);
    EXPECT_EQ(window->mtcpListen()->State(), SocketX::Listening);
    EXPECT_EQ(window->statusText(), QString("Listening on port %1 at %2")
                                        .arg(sentryPort + 1).arg(window->booking()->LocalAddress()));
    EXPECT_EQ(window->statusBarPanels()->statePanel()->pictureKey(), "Listening");
    EXPECT_TRUE(window->isVisible());

    // The port really takes servers.
    QTcpSocket server;
    server.connectToHost(QHostAddress::LocalHost, sentryPort + 1);
    EXPECT_TRUE(server.waitForConnected(3000));
}

TEST_F(MainWindowTest, AFailedBookingEndsTheProgramWithItsReason)
{
    setSentryBookingFactory([]() -> std::unique_ptr<ISentryBooking> {
        throw VantrelError(0x80040201u, "Port 4321 may be in use by another task on this PC");
    });
    EXPECT_EQ(start("SQ0"), nullptr);
    EXPECT_EQ(exitCodes, std::vector<int>{1});
    ASSERT_FALSE(prompt->asked.empty());
    const auto &box = prompt->asked.back();
    EXPECT_EQ(box.text, "Error -2147220991 (Port 4321 may be in use by another task on this PC) when "
                        "contacting Sentry\r\rStartup cannot continue");
    EXPECT_EQ(box.icon, IUserPrompt::Icon::Critical);
}

TEST_F(MainWindowTest, AFailedRegistrationEndsTheProgramNamingTheSettingsLibrary)
{
    frmMDI::setRegistrationHook([] { throw VantrelError(0x80040005u, "no store"); });
    EXPECT_EQ(start("SQ0"), nullptr);
    EXPECT_EQ(exitCodes, std::vector<int>{1});
    ASSERT_FALSE(prompt->asked.empty());
    EXPECT_EQ(prompt->asked.back().text, "Error -2147221499 (no store) when loading main form.\rPossible cause: "
                                         "REDUZIRIRE.DLL not registered\r\rStartup cannot continue");
}

TEST_F(MainWindowTest, NoPortFromTheSentryEndsTheProgram)
{
    taskPort = 0;
    start("SQ0");
    EXPECT_EQ(exitCodes, std::vector<int>{1});
    EXPECT_EQ(askedTexts().last(), "No listening port was obtained");
}

TEST_F(MainWindowTest, APortTakenByAnotherProgramEndsTheProgram)
{
    QTcpServer occupier;
    ASSERT_TRUE(occupier.listen(QHostAddress::Any, taskPort));
    start("SQ0");
    EXPECT_EQ(exitCodes, std::vector<int>{1});
    EXPECT_TRUE(askedTexts().last().startsWith(QString("Unable to listen on port %1\r\r").arg(taskPort)));
}

TEST_F(MainWindowTest, TheEngineCheckWarnsButStartUpGoesOn)
{
    {
        ScopedParseEngine none(nullptr);
        start("SQ0");
    }
    EXPECT_TRUE(exitCodes.empty());
    ASSERT_FALSE(prompt->asked.empty());
    EXPECT_EQ(prompt->asked.front().title, "VanNgine Failure");
    EXPECT_EQ(prompt->asked.front().text,
              "Parse Engine failed to start.\r\rMany Vantrel features will not be available.");
    EXPECT_NE(AddIn::gfrmMDI(), nullptr);

    AddIn::reset();
    prompt->asked.clear();
    auto engine = std::make_shared<ScriptedEngine>();
    engine->on("w $$^VERSION", QString("9.9.9"));
    ScopedParseEngine scripted(engine);
    start("SQ0");
    ASSERT_FALSE(prompt->asked.empty());
    EXPECT_EQ(prompt->asked.front().title, "Version Mismatch Warning");
    EXPECT_EQ(prompt->asked.front().text, "GUI Agent is " + frmMDI::ownVersionText()
                                              + "\r\rParse Engine is 9.9.9");
}

TEST_F(MainWindowTest, AFirstStartLaysTheWindowOutAndASecondRestoresTheSavedLayout)
{
    frmMDI *window = start("SQ0");
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->settingsRestored());
    EXPECT_EQ(window->dockWidgetArea(window->immediatePane()->dock()), Qt::BottomDockWidgetArea);
    EXPECT_EQ(window->dockWidgetArea(window->breakpointsPane()->dock()), Qt::BottomDockWidgetArea);
    EXPECT_EQ(window->dockWidgetArea(window->stackPane()->dock()), Qt::RightDockWidgetArea);
    EXPECT_EQ(window->dockWidgetArea(window->varsPane()->dock()), Qt::RightDockWidgetArea);
    EXPECT_TRUE(programSettings().ChildMaxed);
    EXPECT_TRUE(programSettings().SwitchToReportOnSaveError);   // also when nothing was restored
    EXPECT_TRUE(window->keepAliveTimer()->isActive());
    const QStringList bars = {"tlbFile", "tlbDebug", "tlbBookmarks", "tlbEdit", "tlbView", "tlbBlocks"};
    for (const QString &bar : bars)
        EXPECT_NE(window->findChild<QToolBar *>(bar), nullptr) << bar.toStdString();

    // The user moves the stack to the left and closes the breakpoints.
    window->addDockWidget(Qt::LeftDockWidgetArea, window->stackPane()->dock());
    window->breakpointsPane()->HideMe();
    programSettings().BreakOnError = true;
    window->close();
    EXPECT_FALSE(window->isVisible());
    // Nothing fires into the released link after the close.
    EXPECT_FALSE(window->keepAliveTimer()->isActive());
    EXPECT_FALSE(window->windowSwitchTimer()->isActive());
    EXPECT_EQ(mainWindow(), nullptr);
    EXPECT_EQ(docServices().host, nullptr);
    AddIn::reset();

    window = start("SQ0");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->settingsRestored());
    EXPECT_TRUE(programSettings().BreakOnError);
    EXPECT_EQ(window->dockWidgetArea(window->stackPane()->dock()), Qt::LeftDockWidgetArea);
    EXPECT_TRUE(window->breakpointsPane()->dock()->isHidden());
    EXPECT_FALSE(window->immediatePane()->dock()->isHidden());
}

TEST_F(MainWindowTest, UnderWineTheSavedStateIsNeverRestoredButStillSaved)
{
    frmMDI *window = start("SQ0");
    programSettings().StepLinewise = true;
    window->close();
    AddIn::reset();

    qputenv("VANTREL_ASSUME_WINE", "1");
    window = start("SQ0");
    qunsetenv("VANTREL_ASSUME_WINE");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(programSettings().isWine);
    EXPECT_FALSE(window->settingsRestored());
    EXPECT_FALSE(programSettings().StepLinewise);
    EXPECT_EQ(programSettings().codeFont.family(), "Liberation Mono");
    window->close();

    QSettings saved(QSettings::IniFormat, QSettings::UserScope, "Brindlecote", "Vantrel");
    EXPECT_TRUE(saved.childGroups().contains("Duzezo 2.3"));
}

TEST_F(MainWindowTest, ClosingWithPreservedDocumentsAsksFirst)
{
    struct Case
    {
        IUserPrompt::Answer answer;
        bool closed;
    };
    for (const Case &c : {Case{IUserPrompt::Answer::No, false}, Case{IUserPrompt::Answer::Yes, true}}) {
        frmMDI *window = start("SQ0");
        ASSERT_NE(window, nullptr);
        docServices().codeWindowFactory = [] { return std::make_unique<FakeCodeWindow>(); };
        QString rtn, env, text, initial;
        bool readOnly = false;
        RoutineDocPtr doc = Routines::instance().Add(nullptr, rtn, env, text, readOnly, initial, 1, 0);
        ASSERT_TRUE(doc);
        Routines::instance().Extract(doc->Key(), false);
        window->preservedDocuments().add(doc, doc->Key());
        prompt->asked.clear();
        prompt->answers = {c.answer};

        EXPECT_EQ(window->close(), c.closed);
        ASSERT_EQ(prompt->asked.size(), 1u);
        EXPECT_EQ(prompt->asked[0].text, frmMDI::preservedCloseQuestion());
        EXPECT_EQ(prompt->asked[0].buttons, IUserPrompt::Buttons::YesNo);
        EXPECT_EQ(prompt->asked[0].defaultAnswer, IUserPrompt::Answer::No);
        EXPECT_EQ(window->preservedDocuments().count(), c.closed ? 0 : 1);
        QSettings saved(QSettings::IniFormat, QSettings::UserScope, "Brindlecote", "Vantrel");
        EXPECT_EQ(saved.childGroups().contains("Duzezo 2.3"), c.closed);
        window->preservedDocuments().clear();
        AddIn::reset();
    }
}

} // namespace
