// The interactive start through the splash, and the Help menu of the main window.
#include "mainwindowfixture.h"

#include "dialoghost.h"
#include "frmabout.h"
#include "frmguide.h"
#include "frmsplash.h"
#include "recordinghelp.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

class SplashTest : public MainWindowTest
{
protected:
    void TearDown() override
    {
        setModalRunner(nullptr);
        MainWindowTest::TearDown();
        frmSplash::setIntervals(0, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // What the main window looked like each time a guide was shown modally.
    struct GuideSeen
    {
        bool windowEnabled;
        bool splashGone;
        size_t listeningCalls;
        QWidget *owner;
    };

    // Guides are closed by "No help required" after `spinMs` of event loop.
    void scriptGuides(int spinMs = 0)
    {
        setModalRunner([this, spinMs](QDialog *dialog) {
            auto *guide = qobject_cast<frmGuide *>(dialog);
            if (!guide)
                return 0;
            frmMDI *window = AddIn::gfrmMDI();
            guides.push_back({window && window->isEnabled(), frmSplash::current() == nullptr, listening.size(),
                              guide->parentWidget()});
            if (spinMs > 0)
                QTest::qWait(spinMs);
            guide->button("btnNone")->click();
            return guide->result();
        });
    }

    std::vector<GuideSeen> guides;
};

TEST_F(SplashTest, TheMainWindowListensOnlyAfterTheSplashAndTheGuide)
{
    // Both timers are left to the test: the steps between can be looked at in peace, and
    // a loaded machine cannot fire the start before the first look.
    frmSplash::setIntervals(3600 * 1000, 3600 * 1000);
    scriptGuides();
    frmMDI *window = start("S");
    ASSERT_NE(window, nullptr);
    QPointer<frmSplash> splash = frmSplash::current();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::SplashScreen));
    EXPECT_TRUE(splash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window->isEnabled());
    EXPECT_FALSE(window->isVisible());

    // The start timer: the main window loads and shows, still disabled; its Listen only
    // marks its party ready.
    ASSERT_TRUE(splash->tmrStart()->isActive());
    splash->tmrStart()->start(0);
    ASSERT_TRUE(waitUntil([&] { return window->isVisible(); }, 20000));
    QTest::qWait(50);
    EXPECT_FALSE(splash->tmrStart()->isActive());
    EXPECT_TRUE(splash->tmrEnd()->isActive());
    EXPECT_EQ(frmSplash::current(), splash.data());
    EXPECT_TRUE(splash->ready());
    EXPECT_FALSE(window->isEnabled());
    EXPECT_TRUE(listening.empty());
    EXPECT_TRUE(guides.empty());

    // The second party (what tmrEnd does): unload, enable, guide, then listen.
    splash->ClearIfReady();
    ASSERT_EQ(guides.size(), 1u);
    EXPECT_TRUE(guides[0].windowEnabled);
    EXPECT_TRUE(guides[0].splashGone);
    EXPECT_EQ(guides[0].listeningCalls, 0u);
    EXPECT_EQ(guides[0].owner, window);
    EXPECT_EQ(listening, std::vector<bool>{true});
    EXPECT_EQ(window->statusText(), QString("Listening on port %1 at 192.0.2.7").arg(taskPort));
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(frmSplash::current(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(splash.data(), nullptr);
    EXPECT_TRUE(prompt->asked.empty()) << askedTexts().join('\n').toStdString();
}

TEST_F(SplashTest, TheTimersAloneCarryTheStartThrough)
{
    frmSplash::setIntervals(10, 40);
    scriptGuides(100);
    frmMDI *window = start("S");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !listening.empty(); }, 20000));
    QTest::qWait(200);
    ASSERT_EQ(guides.size(), 1u);
    EXPECT_TRUE(guides[0].windowEnabled);
    EXPECT_EQ(guides[0].listeningCalls, 0u);
    EXPECT_EQ(listening, std::vector<bool>{true});
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(frmSplash::current(), nullptr);
    EXPECT_TRUE(prompt->asked.empty()) << askedTexts().join('\n').toStdString();
}

TEST_F(SplashTest, TheUnloadRunsOnceWhileTheGuideOutlastsTheEndTimer)
{
    frmSplash::setIntervals(10, 3600 * 1000);
    // The guide stays up for many end-timer periods; each would unload again, with a
    // second guide and a second Listen, if the timers still ran.
    scriptGuides(400);
    frmMDI *window = start("S");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitUntil([&] { return window->isVisible(); }, 20000));
    frmSplash *splash = frmSplash::current();
    ASSERT_NE(splash, nullptr);
    ASSERT_TRUE(splash->ready());
    splash->tmrEnd()->start(20);
    // The unload as the main window's Listen sets it off, outside the timer's own slot.
    splash->ClearIfReady();
    QTest::qWait(100);
    ASSERT_EQ(guides.size(), 1u);
    EXPECT_EQ(listening, std::vector<bool>{true});
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(frmSplash::current(), nullptr);
}

TEST_F(SplashTest, WithoutTheGuideSettingTheSplashGoesStraightToListening)
{
    frmSplash::setIntervals(10, 3600 * 1000);
    scriptGuides();
    frmMDI *window = start("S");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitUntil([&] { return window->isVisible(); }, 20000));
    // The restored settings are in by now; the user had switched the guide off.
    programSettings().ShowGuideAtStartup = false;
    frmSplash::current()->ClearIfReady();
    EXPECT_TRUE(guides.empty());
    EXPECT_EQ(listening, std::vector<bool>{true});
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(SplashTest, TheServersStartHasNoSplashAndNoGuide)
{
    scriptGuides();
    frmMDI *window = start("SQ0");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(frmSplash::current(), nullptr);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(listening, std::vector<bool>{true});
    QTest::qWait(50);
    EXPECT_TRUE(guides.empty());
}

TEST_F(SplashTest, TheSplashGoesWithTheProgram)
{
    frmSplash::setIntervals(3600 * 1000, 3600 * 1000);
    ASSERT_NE(start("S"), nullptr);
    QPointer<frmSplash> splash = frmSplash::current();
    ASSERT_NE(splash, nullptr);
    // Only its own unload closes it: a close from outside would leave the window disabled.
    splash->close();
    EXPECT_TRUE(splash->isVisible());
    AddIn::reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(splash.data(), nullptr);
    EXPECT_EQ(frmSplash::current(), nullptr);
}

// Closed from its title bar while the splash is still up, the main window ends the
// program as it does later: nothing is left running without a window.
TEST_F(SplashTest, ClosingTheMainWindowUnderTheSplashEndsTheProgram)
{
    frmSplash::setIntervals(10, 3600 * 1000);
    frmMDI *window = start("S");
    ASSERT_NE(window, nullptr);
    QPointer<frmSplash> splash = frmSplash::current();
    ASSERT_NE(splash, nullptr);
    ASSERT_TRUE(waitUntil([&] { return window->isVisible(); }, 20000));

    QCloseEvent close;
    QCoreApplication::sendEvent(window->windowHandle(), &close);
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_EQ(frmSplash::current(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(splash.data(), nullptr);
    EXPECT_TRUE(listening.empty());
    EXPECT_TRUE(prompt->asked.empty()) << askedTexts().join('\n').toStdString();
}

class HelpMenuTest : public StartedMainWindowTest
{
protected:
    void TearDown() override
    {
        setModalRunner(nullptr);
        StartedMainWindowTest::TearDown();
    }
    ScopedRecordingHelp help;
};

TEST_F(HelpMenuTest, TheItemsOpenContentsGuideAndAbout)
{
    for (const char *name : {"mnuHelpContents", "mnuHelpGuide", "mnuHelpAbout"})
        EXPECT_TRUE(window->menuItem(name)->isEnabled()) << name;

    window->menuItem("mnuHelpContents")->trigger();
    ASSERT_EQ(help->requests.size(), 1u);
    EXPECT_EQ(help->requests[0].target, QCoreApplication::applicationDirPath() + "/Vantrel.chm>");
    EXPECT_EQ(help->requests[0].command, 1);

    // Each time a new guide, modal and owned by the main window.
    QList<QPointer<frmGuide>> guides;
    QList<QWidget *> owners;
    setModalRunner([&](QDialog *dialog) {
        auto *guide = qobject_cast<frmGuide *>(dialog);
        if (!guide)
            return int(QDialog::Rejected);
        EXPECT_EQ(frmGuide::current(), guide);
        EXPECT_TRUE(guide->isModal());
        guides << guide;
        owners << guide->parentWidget();
        guide->show();
        guide->button(guides.size() == 1 ? "btnEditing" : "btnNone")->click();
        return guide->result();
    });
    window->menuItem("mnuHelpGuide")->trigger();
    window->menuItem("mnuHelpGuide")->trigger();
    ASSERT_EQ(guides.size(), 2);
    EXPECT_EQ(owners, (QList<QWidget *>{window, window}));
    // Both are gone once closed: the second was not the first shown again.
    EXPECT_EQ(guides[0].data(), nullptr);
    EXPECT_EQ(guides[1].data(), nullptr);
    EXPECT_EQ(frmGuide::current(), nullptr);
    ASSERT_EQ(help->requests.size(), 2u);
    EXPECT_EQ(help->requests[1].target, QCoreApplication::applicationDirPath() + "/Vantrel.chm::/editing.htm>Main");

    QString aboutTitle;
    QString version;
    setModalRunner([&](QDialog *dialog) {
        aboutTitle = dialog->windowTitle();
        if (auto *about = qobject_cast<frmAbout *>(dialog))
            version = about->lblVersion()->text();
        dialog->accept();
        return int(QDialog::Accepted);
    });
    window->menuItem("mnuHelpAbout")->trigger();
    EXPECT_EQ(aboutTitle, "About Vantrel");
    EXPECT_TRUE(version.startsWith("Version ")) << version.toStdString();
}

// The guide from the Help menu is modal as a real one runs: the menu item does not come
// back until it closes, and a click on the main window meanwhile does nothing.
TEST_F(HelpMenuTest, TheGuideBlocksTheMainWindowUntilItCloses)
{
    window->show();
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QMenuBar *bar = window->menuBar();
    QAction *file = nullptr;
    for (QAction *action : bar->actions())
        if (action->text() == "&File")
            file = action;
    ASSERT_NE(file, nullptr);
    const QPoint onFile = bar->mapTo(window, bar->actionGeometry(file).center());

    bool menuItemReturned = false;
    bool checkedWhileUp = false;
    bool checkedBeforeItReturned = false;
    QString modal;   // the class of the modal window while the guide was up
    QWidget *popUpAfterClick = nullptr;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        frmGuide *guide = frmGuide::current();
        if (!guide || !guide->isVisible() || checkedWhileUp)
            return;
        checkedWhileUp = true;
        checkedBeforeItReturned = !menuItemReturned;
        if (QWidget *w = QApplication::activeModalWidget())
            modal = w->metaObject()->className();
        // Where a user clicks: through the window system, as the main window's own input.
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, onFile);
        QCoreApplication::processEvents();
        popUpAfterClick = QApplication::activePopupWidget();
        if (popUpAfterClick)
            popUpAfterClick->close();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : guide, Qt::Key_Escape);
       
    });
    poll.start();
    window->menuItem("mnuHelpGuide")->trigger();
    menuItemReturned = true;
    ASSERT_TRUE(waitUntil([&] { return checkedWhileUp && !frmGuide::current(); }, 10000));
    poll.stop();
    EXPECT_TRUE(checkedBeforeItReturned) << "the menu item came back while the guide was up";
    EXPECT_EQ(modal, "frmGuide");
    EXPECT_EQ(popUpAfterClick, nullptr) << "a click on the main window opened its File menu";

    // Closed, the main window takes the same click again.
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, onFile);
    ASSERT_TRUE(waitUntil([] { return QApplication::activePopupWidget() != nullptr; }, 3000));
    QApplication::activePopupWidget()->close();
}

TEST_F(HelpMenuTest, AcceptingASessionUnloadsTheGuide)
{
    programSettings().ShowGuideAtStartup = true;
    using namespace mserver;
    // Through the listening socket, as a server asked by the Sentry connects.
    MServer server({connectTo(taskPort), expectSilence(300), close()});
    QPointer<frmGuide> guide;
    bool closedBySession = false;
    setModalRunner([&](QDialog *dialog) {
        guide = qobject_cast<frmGuide *>(dialog);
        if (!guide)
            return int(QDialog::Rejected);
        guide->show();
        guide->chkStartup()->setChecked(false);
        server.start();
        closedBySession = waitUntil([&] { return window->MState() == -2 && !dialog->isVisible(); }, 10000);
        return dialog->result();
    });
    window->menuItem("mnuHelpGuide")->trigger();
    EXPECT_TRUE(closedBySession);
    EXPECT_EQ(guide.data(), nullptr);
    EXPECT_EQ(frmGuide::current(), nullptr);
    EXPECT_FALSE(programSettings().ShowGuideAtStartup);
    ASSERT_TRUE(server.wait(10000)) << server.failure().toStdString();
    ASSERT_TRUE(waitUntil([&] { return window->MState() == -1; }, 5000));
}

} // namespace
