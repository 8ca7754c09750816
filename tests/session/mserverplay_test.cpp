// mserverplay, the scripted session a newcomer watches, played by the real program against
// the main window in this process, booked with a real Sentry: the test is the user.
#include "mainwindowfixture.h"

#include "frmcode.h"
#include "frmimmediate.h"
#include "frmstack.h"
#include "frmvars.h"
#include "routine.h"
#include "routines.h"
#include "sourcedocument.h"
#include "sourceview.h"
#include "varlistmodel.h"
#include "vartreeview.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

class MServerPlayTest : public SentryBookedMainWindowTest
{
protected:
    void SetUp() override
    {
        SentryBookedMainWindowTest::SetUp();
        if (window)
            showActive(window);
    }

    void TearDown() override
    {
        if (player.state() != QProcess::NotRunning) {
            player.kill();
            player.waitForFinished(3000);
        }
        SentryBookedMainWindowTest::TearDown();
    }

    // Waits for the player to print a line holding text; the lines read stay in `said`.
    bool playerSays(const QString &text, int ms = 20000)
    {
        return waitUntil([&] {
            while (player.canReadLine())
                said << QString::fromUtf8(player.readLine()).trimmed();
            for (const QString &line : said)
                if (line.contains(text))
                    return true;
            return false;
        }, ms);
    }

    QString transcript() const { return said.join('\n'); }

    // Stopped with the variables in: the window takes keys again.
    bool stopped()
    {
        return waitUntil([&] {
            return window->MState() == 1 && window->varsPane()->SelectedList()
                   && window->varsPane()->SelectedList()->model()->rowCount() > 0;
        }, 20000);
    }

    void press(Qt::Key key)
    {
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "no widget has the keyboard";
        QTest::keyClick(focus, key);
    }

    QProcess player;
    QStringList said;
};

TEST_F(MServerPlayTest, TheScriptedSessionRunsToItsEndAsTheUserDrivesIt)
{
    player.start(MSERVERPLAY_PROGRAM, {QString::number(sentryPort)});
    ASSERT_TRUE(player.waitForStarted(5000));

    // The first stop: the sample routine at START+1, with the formal parameter.
    ASSERT_TRUE(playerSays("stop 1 of 7 at START+1^DEMO")) << transcript().toStdString();
    ASSERT_TRUE(stopped()) << transcript().toStdString();
    auto doc = Routine::from(Routines::instance().Active());
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->Rtn(), "DEMO");
    auto *code = dynamic_cast<frmCode *>(doc->Window());
    ASSERT_NE(code, nullptr);
    SourceView *view = code->SourceView1();
    EXPECT_EQ(view->CaretLine(), 3);
    const QAbstractItemModel *vars = window->varsPane()->SelectedList()->model();
    EXPECT_EQ(vars->index(0, 0).data().toString(), "COUNT");

    // F8 at the focus, as the user steps: one stop each.
    for (int stop = 2; stop <= 6; ++stop) {
        view->setFocus();
        press(Qt::Key_F8);
        ASSERT_TRUE(playerSays(QString("stop %1 of 7").arg(stop))) << transcript().toStdString();
        ASSERT_TRUE(stopped()) << transcript().toStdString();
    }
    EXPECT_EQ(view->CaretLine(), 8);   // D SHOW(TOTAL)

    // The pointer rests on TOTAL in the dot block: the server's value comes as the tip.
    int x = 0, y = 0;
    const QString dotLine = doc->TextOfLine(8);
    view->DocToDevice(int(dotLine.indexOf("TOTAL")) + 1, 7, x, y);
    // Device coordinates start at the margin's left edge, the viewport's after the margin.
    const int viewportX = x - view->MarginWidth() * view->CharWidth();
    QTest::mouseMove(view->viewport(), QPoint(viewportX + view->CharWidth() / 2, y + view->CharHeight() / 2));
    ASSERT_TRUE(playerSays("tip for TOTAL: TOTAL = 14")) << transcript().toStdString();

    // A's nodes come when its row is opened with a click on its button.
    VarTreeView *list = window->varsPane()->list(1);
    VarListModel *model = window->varsPane()->listModel(1);
    list->doItemsLayout();
    const QRect button = list->expandButtonRect(model->indexOfKey("A"));
    ASSERT_FALSE(button.isEmpty());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, button.center());
    ASSERT_TRUE(playerSays("sent the nodes of A")) << transcript().toStdString();
    ASSERT_TRUE(waitUntil([&] { return model->indexOfKey("A(3)").isValid() && window->MState() == 1; }, 20000));
    EXPECT_EQ(model->indexOfKey("A(3)").siblingAtColumn(1).data().toString(), "9");

    // An immediate command's output under the command.
    SourceView *io = clickIntoImmediateExecute(window);
    ASSERT_EQ(QApplication::focusWidget(), io);
    QTest::keyClicks(QApplication::focusWidget(), "W TOTAL");
    press(Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return window->MState() == 1 && io->Document()->Text().contains("W TOTAL\r\n14\r\n"); },
                          20000))
        << io->Document()->Text().toStdString() << transcript().toStdString();

    // The last stop is in SHOW, one level down; Go there ends the session.
    view->setFocus();
    press(Qt::Key_F8);
    ASSERT_TRUE(playerSays("stop 7 of 7 at SHOW+1^DEMO")) << transcript().toStdString();
    ASSERT_TRUE(stopped()) << transcript().toStdString();
    // Its variables are its own: the rows of the level above have been taken away.
    const QAbstractItemModel *inner = window->varsPane()->SelectedList()->model();
    ASSERT_EQ(inner->rowCount(), 1);
    EXPECT_EQ(inner->index(0, 0).data().toString(), "N");
    // The stack shows the inner level as the one the variables are of.
    const QList<QTreeWidgetItem *> selected = window->stackPane()->Stack()->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(window->stackPane()->Stack()->indexOfTopLevelItem(selected.first()), 1);
    press(Qt::Key_F5);
    ASSERT_TRUE(playerSays("end of the script")) << transcript().toStdString();
    ASSERT_TRUE(player.waitForFinished(10000));
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.exitCode(), 0) << transcript().toStdString();
    ASSERT_TRUE(waitUntil([&] { return window->MState() == -1; }, 10000));
    EXPECT_TRUE(prompt->asked.empty()) << askedTexts().join('\n').toStdString();
}

// What the player prints, in the order it printed it, once it has ended (or after ms).
QString transcriptOf(QProcess &player, int ms = 20000)
{
    player.waitForFinished(ms);
    return QString::fromUtf8(player.readAllStandardOutput());
}

// Nobody listens on the port: the player says so and tells the user to start Vantrel,
// which starts the Sentry.
TEST(MServerPlay, WithoutASentryItTellsTheUserToStartVantrelFirst)
{
    const quint16 port = freeLoopbackPort();
    QProcess player;
    player.start(MSERVERPLAY_PROGRAM, {QString::number(port)});
    ASSERT_TRUE(player.waitForStarted(5000));
    const QString said = transcriptOf(player);
    EXPECT_EQ(player.exitCode(), 1);
    EXPECT_TRUE(said.contains(QString("no Sentry on port %1: Connection refused").arg(port))) << said.toStdString();
    EXPECT_TRUE(said.contains("Start Vantrel first (make run)")) << said.toStdString();
}

// A Sentry with no ready task: a Vantrel whose start-up guide is open has booked in but
// does not listen. The player says why the Sentry starts another Vantrel and what to do.
TEST(MServerPlay, WhenNoTaskIsReadyItSaysWhyAndWhatToDo)
{
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("VANTREL_SENTRY_SOCKET", dir.filePath("sentry"));
    environment.insert("VANTREL_SENTRY_LISTEN_ADDRESS", "127.0.0.1");
    environment.insert("VANTREL_SENTRY_QUIET", "1");
    environment.insert("VANTREL_SENTRY_TASK_PROGRAM", "/bin/true");
    const quint16 port = freeSentryPort(2);
    QProcess sentry;
    sentry.setProcessEnvironment(environment);
    sentry.start(SENTRY_PROGRAM, {QString::number(port), "2"});
    ASSERT_TRUE(sentry.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.waitForConnected(200);
    }, 20000));

    QProcess player;
    player.start(MSERVERPLAY_PROGRAM, {QString::number(port)});
    ASSERT_TRUE(player.waitForStarted(5000));
    QString said;
    EXPECT_TRUE(waitUntil([&] {
        said += QString::fromUtf8(player.readAllStandardOutput());
        return said.contains("and the session plays in that window.");
    }, 20000)) << said.toStdString();
    player.kill();
    player.waitForFinished(5000);
    sentry.kill();
    sentry.waitForFinished(5000);

    const QString why = said.mid(said.indexOf("no task ready yet; the Sentry starts one")).simplified();
    EXPECT_TRUE(why.startsWith("no task ready yet; the Sentry starts one A Vantrel window whose start-up Task Guide "
                               "is still open does not listen yet, so the Sentry starts another Vantrel for the "
                               "session. Close the guide before you run mserverplay, and the session plays in that "
                               "window."))
        << said.toStdString();
}

// By default the player tells the session as the user sees it: the stop, the variables
// asked for; the message frames (the task's name, its settings, the keep-alive) only with -v.
TEST_F(MServerPlayTest, ItSpeaksOfTheSessionAndShowsTheFramesOnlyWhenAskedTo)
{
    for (const bool verbose : {false, true}) {
        SCOPED_TRACE(verbose ? "-v" : "by default");
        said.clear();
        QStringList arguments{QString::number(sentryPort)};
        if (verbose)
            arguments.prepend("-v");
        player.start(MSERVERPLAY_PROGRAM, arguments);
        ASSERT_TRUE(player.waitForStarted(5000));
        ASSERT_TRUE(playerSays("the application stops at its first line: stop 1 of 7 at START+1^DEMO"))
            << transcript().toStdString();
        ASSERT_TRUE(stopped()) << transcript().toStdString();
        ASSERT_TRUE(playerSays("the Variables pane asked for level 1: sent the variables of level 1 (COUNT=3)"))
            << transcript().toStdString();
        EXPECT_TRUE(said.contains("break on error: off") || said.contains("break on error: on"))
            << transcript().toStdString();
        EXPECT_TRUE(said.contains("Vantrel opened the routine DEMO")) << transcript().toStdString();
        const QStringList frames = said.filter(QRegularExpression("^(<-|->) "));
        if (verbose) {
            EXPECT_TRUE(said.contains("-> HI CACHE Vantrel:1:7 20 NT")) << transcript().toStdString();
            EXPECT_FALSE(said.filter(QRegularExpression("^<- IAM \\S+")).isEmpty()) << transcript().toStdString();
            EXPECT_FALSE(said.filter(QRegularExpression("^<- BonE ")).isEmpty()) << transcript().toStdString();
        } else {
            EXPECT_TRUE(frames.isEmpty()) << transcript().toStdString();
            for (const char *word : {"heard", "IAM", "BonE", "PING", "STKtop"})
                EXPECT_FALSE(transcript().contains(word)) << word << "\n" << transcript().toStdString();
        }

        // The user leaves the session at the stop; the window listens again for the next.
        player.kill();
        ASSERT_TRUE(player.waitForFinished(5000));
        ASSERT_TRUE(waitUntil([&] { return window->MState() == -1; }, 10000));
    }
}

} // namespace
