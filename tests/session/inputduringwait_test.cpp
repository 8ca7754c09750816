// While the main window waits for the server's reply it reads no input: what the user
// clicks and types meanwhile stays queued in the window system and comes after the wait.
// It must not be carried out then, as the switched-off window would have dropped it;
// input given after the answer works at once.
//
// The test plays the window system: it stamps the user's input with its own input clock
// (installed as the program's) at the moment the server holds its reply, and queues it for
// the main window's platform window, which hands it on as it does real input: the click to
// the widget under it, the keys to the widget with the focus.
#include "mainwindowfixture.h"

#include "command.h"
#include "commandmanager.h"
#include "commandui.h"
#include "inputclock.h"
#include "mlink.h"
#include "mserver.h"
#include "routine.h"
#include "routines.h"
#include "sourcedocument.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QToolBar>
#include <QWindow>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace {

using namespace mserver;

// The window system's clock as the test plays it: milliseconds, never 0, and far above
// the small stamps QTest gives the events it sends itself.
quint32 inputTime()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return 0x40000000u + quint32(clock.elapsed());
}

// Input made ready on the GUI thread and given on the server's thread, while the GUI
// thread waits for the reply: each event is stamped as it is given and queued.
class QueuedInput
{
public:
    explicit QueuedInput(QWindow *target) : m_target(target) {}

    void click(QWidget *widget, QWidget *window)
    {
        const QPointF at = widget->mapTo(window, widget->rect().center());
        const QPointF global = widget->mapToGlobal(widget->rect().center());
        add(new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        add(new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    }

    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString &text = QString())
    {
        add(new QKeyEvent(QEvent::KeyPress, key, modifiers, text));
        add(new QKeyEvent(QEvent::KeyRelease, key, modifiers, text));
    }

    // On the server's thread.
    void give()
    {
        for (std::unique_ptr<QInputEvent> &event : m_events) {
            event->setTimestamp(inputTime());
            QCoreApplication::postEvent(m_target, event.release());
        }
        m_events.clear();
    }

private:
    void add(QInputEvent *event) { m_events.emplace_back(event); }

    QWindow *m_target;
    std::vector<std::unique_ptr<QInputEvent>> m_events;
};

class InputDuringWaitTest : public StartedMainWindowTest
{
protected:
    void SetUp() override
    {
        StartedMainWindowTest::SetUp();
        setInputClock([] { return std::optional<quint32>(inputTime()); });
        window->show();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }

    void TearDown() override
    {
        setInputClock({});
        StartedMainWindowTest::TearDown();
    }

    // Go Fast on the Debug tool bar.
    QWidget *goFastButton() const
    {
        QToolBar *debug = window->cmdMgr()->toolBar(QStringLiteral("tlbDebug"));
        if (!debug)
            return nullptr;
        for (QAction *action : debug->actions()) {
            QWidget *button = debug->widgetForAction(action);
            const auto *ui = button ? button->findChild<CommandUI *>() : nullptr;
            if (ui && ui->command() && ui->command()->id() == QLatin1String("DbgGoFast"))
                return button;
        }
        return nullptr;
    }
};

// A click on Go Fast and typed keys (letters, and Shift+F5, Go Fast's own key) given while
// a fetch and while a save wait for the server: after the reply neither runs the
// application nor changes the routine. Then Go Fast clicked after the answer sends "GO".
TEST_F(InputDuringWaitTest, NothingGivenDuringAWaitIsCarriedOutAfterIt)
{
    struct Row
    {
        const char *name;
        bool typeAndSave;   // the wait is the save of "Z" typed into the open routine
    };
    const QString text = DemoLines.join("\r\n");
    const Fields sigDemo = {"SIG", "1", "DEMO", "USER", "0", text, "CACHE"};
    const QList<Row> rows = {{"a fetch", false}, {"a save", true}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QWidget *goFast = goFastButton();
        ASSERT_NE(goFast, nullptr);
        QueuedInput input(window->windowHandle());
        input.click(goFast, window);
        input.key(Qt::Key_Q, Qt::NoModifier, "q");
        input.key(Qt::Key_Q, Qt::NoModifier, "q");
        input.key(Qt::Key_F5, Qt::ShiftModifier);

        std::atomic<bool> clickedAfterAnswer{false};
        const Step givenDuringTheWait = call("input during the wait", [&](Peer &, QString &) {
            input.give();
            return true;
        });
        QList<Step> script;
        if (row.typeAndSave) {
            script = {send({"ED", "1", "DEMO", "USER"}), expectAck(),
                      answer({"SIG", "1", "DEMO", "USER", "**"}, sigDemo), expectAck(),
                      expect({"!SIP", "**"}), givenDuringTheWait, send({"!SIP"}), send({"SIP"}), expectAck()};
        } else {
            script = {send({"ED", "1", "DEMO", "USER"}), expectAck(),
                      expect({"!SIG", "1", "DEMO", "USER", "**"}), givenDuringTheWait, send({"!SIG"}), send(sigDemo),
                      expectAck()};
        }
        script << call("the click after the answer", [&](Peer &peer, QString &why) {
            Fields frame;
            if (!peer.readFrame(frame, why))
                return false;
            why = "\"" + frame.join('|') + "\" before the click after the answer";
            return clickedAfterAnswer && frame == Fields{"GO", "1"};
        });
        script << close();
        MServer server(script);
        server.setStepTimeoutMs(20000);
        ASSERT_TRUE(server.startAccepted(*window->link()));
        window->setMState(1);

        auto active = [] { return Routine::from(Routines::instance().Active()); };
        ASSERT_TRUE(pumpUntil([&] { return active() && active()->Rtn() == "DEMO"; }, 20000))
            << server.failure().toStdString();
        if (row.typeAndSave) {
            QCoreApplication::processEvents();
            ASSERT_NE(QApplication::focusWidget(), nullptr);
            QTest::keyClicks(QApplication::focusWidget(), "Z");
            ASSERT_TRUE(active()->Modified());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
        }
        ASSERT_TRUE(pumpUntil([&] { return !window->link()->InTransact(); }, 20000));
        // Whatever was queued during the wait arrives now.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();

        // As fetched, or as saved: no key has changed it since.
        ASSERT_NE(active(), nullptr);
        EXPECT_FALSE(active()->Modified());
        EXPECT_FALSE(active()->document()->Text().contains('q')) << active()->document()->Text().toStdString();
        EXPECT_EQ(window->MState(), 1);

        clickedAfterAnswer = true;
        QTest::mouseClick(goFast, Qt::LeftButton, {}, goFast->rect().center());
        // The script goes on only on ["GO","1"] after the answer, then closes at once, so
        // the state may already be past "running" here.
        EXPECT_TRUE(server.wait(20000)) << server.failure().toStdString();

        ASSERT_TRUE(pumpUntil([&] { return window->MState() == -1 && !window->link()->IsConnected(); }, 20000));
        for (const RoutineDocPtr &doc : Routines::instance().documents())
            Routines::instance().Remove(doc->Key(), false, true);
        while (window->preservedDocuments().count() > 0)
            window->releasePreservedDocument(window->preservedDocuments().item(1).get());
        QCoreApplication::processEvents();
    }
}

} // namespace
