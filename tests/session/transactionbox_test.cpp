// A box inside a transaction's wait: a handler of a frame the wait raised shows it, and the
// world goes on under it while the transaction is still on the stack. A server that comes
// and goes meanwhile is heard once the transaction has returned, its end runs, and the task
// takes the next server as it would any other.
#include "mainwindowfixture.h"

#include "mlink.h"
#include "mserver.h"

#include <QApplication>
#include <QTest>

#include <memory>

namespace {

using namespace mserver;

class TransactionBoxTest : public StartedMainWindowTest
{
protected:
    void SetUp() override
    {
        StartedMainWindowTest::SetUp();
        window->show();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }

    // The main window may take the next server: the last one's end is over.
    bool free() const
    {
        return window->MState() == -1 && !window->link()->IsConnected() && !window->link()->EndPending();
    }
};

// Server A has the task open a routine ("ED") and leaves its "!SIG" unanswered; inside that
// wait it greets again with a version the task refuses. The task drops A and says "Version
// Mismatch", a box inside the transaction's wait. Under it B connects to the task's port,
// greets and leaves. Once the box is answered, B's end runs and the task is free: the next
// server, C, is greeted in full.
TEST_F(TransactionBoxTest, AServerThatComesAndGoesUnderABoxInATransactionLeavesTheTaskFree)
{
    auto boxes = std::make_shared<BoxWithLifePrompt>();
    setUserPrompt(boxes);
    boxes->trigger = QStringLiteral("Support Routines on host are");
    std::unique_ptr<MServer> b;
    bool bHeldUnderTheBox = false;
    boxes->whileUp = [&] {
        EXPECT_TRUE(pumpUntil([&] { return free(); }, 10000)) << "A's session did not end under the box";
        b = std::make_unique<MServer>(QList<Step>{
            connectTo(taskPort),
            send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
            close(),
        });
        b->setStepTimeoutMs(10000);
        b->start();
        // B was taken on, and its close has reached the task before the box is answered.
        bHeldUnderTheBox = pumpUntil([&] { return b->finished() && window->link()->EndPending(); }, 10000);
    };

    MServer a({
        send({"ED", "1", "DEMO", "USER"}),
        expectAck(),
        expect({"!SIG", "**"}),
        send({"HI", "CACHE", "Vantrel:9:5", "20", "NT"}),
        expectClose(),
    });
    a.setStepTimeoutMs(20000);
    ASSERT_TRUE(a.startAccepted(*window->link()));
    window->setMState(1);
    ASSERT_TRUE(a.wait(20000)) << a.failure().toStdString();
    ASSERT_TRUE(pumpUntil([&] { return b && b->finished(); }, 20000)) << "no box, or B never came";
    EXPECT_TRUE(bHeldUnderTheBox);
    ASSERT_FALSE(boxes->asked.empty());
    EXPECT_EQ(boxes->asked.front().title, "Version Mismatch");
    EXPECT_TRUE(b->wait(10000)) << b->failure().toStdString();

    ASSERT_TRUE(pumpUntil([&] { return free(); }, 10000)) << "B's end never ran: the task turns every server away";
    ASSERT_FALSE(listening.empty());
    EXPECT_TRUE(listening.back());

    const QList<Step> greeting = QList<Step>{
        connectTo(taskPort),
        send({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}),
        expectAck(),
        send({"HI2", "", "300", "CNS"}),
        expectAck(),
    } + greetingAnswer("CNS");
    MServer c(greeting + QList<Step>{expectSilence(300)});
    c.setStepTimeoutMs(10000);
    c.start();
    EXPECT_TRUE(c.wait(20000)) << c.failure().toStdString();
    EXPECT_EQ(window->MState(), -2);
    EXPECT_TRUE(window->windowTitle().startsWith("Vantrel - Job 300 in CNS on Cach")) << window->windowTitle().toStdString();
}

} // namespace
