// Commands run from the immediate pane against the scripted M server over real loopback
// sockets: the frames on the link, the bytes on the output channel, the session states
// the pane sets and the output it writes, for the three ways a channel comes about, and
// what happens when the session or the ports get in the way.
#include "frmimmediate.h"
#include "frmvars.h"
#include "immediatechannel.h"
#include "immediatefixture.h"
#include "mlink.h"
#include "mserver.h"

#include <QHostAddress>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace mserver;

namespace {

// The pane with the variables pane it refreshes, both on one link, as the main window
// wires them. The variables pane stands at level 2, so a refresh asks for "VAR*" 2.
class ImmediateSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = ImmediateWindow();
        link = std::make_unique<MLink>();
        window.session = link.get();
        // As the main window does when the link closes.
        QObject::connect(link.get(), &MLink::OnClose, link.get(), [this] { window.setMState(-1); });
        setMainWindow(&window);
        vars = std::make_unique<frmVars>();
        vars->show();
        vars->Update(2, QString());
        pane = std::make_unique<frmImmediate>();
        pane->setBeeper([this] { ++beeps; });
        pane->setVariablesRefresh([this] {
            ++refreshes;
            vars->Update(0, QString());
        });
        pane->resize(600, 300);
        pane->show();
        beeps = refreshes = 0;
        go = false;
        again = false;
    }
    void TearDown() override
    {
        pane.reset();
        vars.reset();
        server.reset();
        link.reset();
        setMainWindow(nullptr);
    }

    // The server opens the link (the task accepts it), as for a session it started.
    void serveInbound(const QList<Step> &script, qint32 features = 0, int stepTimeoutMs = 3000)
    {
        server = std::make_unique<MServer>(script);
        server->setStepTimeoutMs(stepTimeoutMs);
        ASSERT_TRUE(server->startAccepted(*link));
        link->setFeatures(features);
    }
    // This side opens the link, through the request link and "REDIR", and agrees on the
    // protocol version.
    void serveOutbound(QList<Step> script, int version)
    {
        script.prepend(acceptJob("K1"));
        script.prepend(redirect("K1"));
        script.prepend(acceptRequest("S1"));
        server = std::make_unique<MServer>(script);
        server->start();
        QObject::connect(link.get(), &MLink::OnMessage, link.get(), [this](const QStringList &m) {
            if (m.value(0) == QLatin1String("REDIR"))
                link->ConnectJob(m.value(1), m.value(2));
        });
        link->ConnectServer("127.0.0.1", QString::number(server->port()), "S1");
        // The job link, not the request link before it.
        ASSERT_TRUE(pumpUntil([this] { return link->IsConnected() && link->IsOutbound(); }));
        QString info = QStringLiteral("x:1:%1").arg(version);
        ASSERT_TRUE(link->VersionCheck(info));
    }
    void run(const QString &command)
    {
        QTest::keyClicks(pane->IO(), command);
        QTest::keyClick(pane->IO(), Qt::Key_Return);
    }
    void finish()
    {
        EXPECT_TRUE(server->wait()) << server->failure().toStdString();
    }
    QString channelPort() const { return QString::number(link->MainPort() + 1); }
    // The first frame the server read with that code.
    Fields frame(const QString &code) const
    {
        for (const Fields &f : server->received())
            if (f.value(0) == code)
                return f;
        return {};
    }

    ImmediateWindow window;
    std::unique_ptr<MLink> link;
    std::unique_ptr<MServer> server;
    std::unique_ptr<frmVars> vars;
    std::unique_ptr<frmImmediate> pane;
    std::atomic<bool> go{false};
    std::atomic<bool> again{false};
    int beeps = 0;
    int refreshes = 0;
};

} // namespace

// Links this side opened: the pane connects to the server's port + 1 and writes "*";
// "XEC2" goes as a transaction from protocol 3 on, "XEC" as a plain message below.
TEST_F(ImmediateSession, OutboundCommandsConnectTheChannelAndWriteAStar)
{
    struct Case { const char *name; int version; bool transact; };
    const Case cases[] = {{"protocol 7", 7, true}, {"protocol 2", 2, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        const Step request = c.transact ? answer({"XEC2", "*", "W 1"}, {"OK"}) : expect({"XEC", "*", "W 1"});
        serveOutbound({request, acceptChannel(), expectChannelSilence(50), sendChannel("x1\r\n"), closeChannel(),
                       expect({"VAR*", "2", "**"})},
                      c.version);
        run("W 1");
        finish();

        const QString port = QString::number(server->jobPort() + 1);
        const Fields sent = c.transact ? Fields{"!XEC2", port, "W 1"} : Fields{"XEC", port, "W 1"};
        EXPECT_EQ(frame(sent.value(0)), sent);
        EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "1", ""}));
        EXPECT_EQ(ioFlags(*pane), QList<int>({1, 0, 0}));
        EXPECT_EQ(window.states, QList<int>({-5, 1, -6}));
        EXPECT_EQ(refreshes, 1);
    }
}

// Links the server opened: the pane listens on its port + 1 and writes nothing; the
// output comes as Windows-1252 bytes or, with feature 1, as UTF-16LE split anywhere. It
// goes above the line that followed the command line, wherever the caret is by then,
// and nothing types meanwhile.
TEST_F(ImmediateSession, InboundCommandsTakeTheServersConnectionAndWriteTheOutputAtTheRecordedLine)
{
    struct Case
    {
        const char *name;
        qint32 features;
        QList<QByteArray> chunks;
        QStringList output;
    };
    const Case cases[] = {
        {"ANSI", 0, {"xA\r\nB\n"}, {"A", "B"}},
        {"ANSI, one character per byte", 0, {QByteArray("xcaf\xE9 \x80", 7)}, {QStringLiteral(u"caf\u00e9 \u20ac")}},
        {"no line end", 0, {"xABC"}, {"ABC"}},
        {"a lone CR or LF ends a line, CR CR LF two", 0, {"xA\rB\nC\r\r\nD\n\rE"}, {"A", "B", "C", "", "D", "", "E"}},
        {"pieces in their order, a line and a line end split", 0, {"xA\r", "\nB", "C\r\nD"}, {"A", "BC", "D"}},
        {"Unicode, a unit split between reads", 1, {QByteArray("\x2A\x00\x41", 3), QByteArray("\x00\x0D\x00\x0A\x00", 5)}, {"A"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        QList<Step> script;
        if (c.features & 1)
            script << unicode(true);
        script << expect({"XEC", "*", "W 1"}) << connectChannel() << expectChannelSilence(50)
               << waitUntil(go, "the caret to move");
        for (const QByteArray &chunk : c.chunks)
            script << sendChannel(chunk) << pause(20);
        script << closeChannel() << expect({"VAR*", "2", "**"});
        serveInbound(script, c.features);
        loadIO(*pane, {"W 0", "0", ""}, {1, 0, 0});

        run("W 1");
        ASSERT_TRUE(pumpUntil([this] { return window.state == frmImmediate::ExecutingState; }));
        // The output's place is kept while the caret goes up and the keys refuse to type.
        QTest::keyClick(pane->IO(), Qt::Key_Up);
        QTest::keyClick(pane->IO(), Qt::Key_Up);
        QTest::keyClicks(pane->IO(), "z");
        EXPECT_EQ(beeps, 1);
        EXPECT_EQ(ioLines(*pane), QStringList({"W 0", "0", "W 1", ""}));
        go = true;
        finish();

        EXPECT_EQ(frame("XEC"), (Fields{"XEC", channelPort(), "W 1"}));
        EXPECT_EQ(ioLines(*pane), QStringList({"W 0", "0", "W 1"}) + c.output + QStringList{""});
        QList<int> flags = {1, 0, 1};
        for (int i = 0; i <= c.output.size(); ++i)
            flags << 0;
        EXPECT_EQ(ioFlags(*pane), flags);
        EXPECT_EQ(window.states, QList<int>({-5, 1, -6}));
    }
}

// The lead character alone: nothing on an empty input line, an empty line above a
// line that has text (Enter on an earlier command line).
TEST_F(ImmediateSession, ACommandWithoutOutputLeavesAnEmptyLineOnlyAboveText)
{
    serveInbound({expect({"XEC", "*", "K X"}), connectChannel(), sendChannel("x"), closeChannel(),
                  expect({"VAR*", "2", "**"}), expect({"XEC", "*", "W 0"}), connectChannel(), closeChannel(),
                  expect({"VAR*", "2", "**"})});
    run("K X");
    ASSERT_TRUE(pumpUntil([this] { return refreshes == 1; }));
    EXPECT_EQ(ioLines(*pane), QStringList({"K X", ""}));
    // The server answered the first fetch with nothing; the session is suspended again.
    vars->UpdateFinished();
    loadIO(*pane, {"W 0", "K X", ""}, {1, 1, 0});
    pane->IO()->SetCaret(3, 0);
    QTest::keyClick(pane->IO(), Qt::Key_Return);
    finish();
    EXPECT_EQ(ioLines(*pane), QStringList({"W 0", "", "K X", ""}));
    EXPECT_EQ(ioFlags(*pane), QList<int>({1, 0, 1, 0}));
}

// Break while a command's output has no end: the channel closes, IO says the output was
// stopped below what came, and the session is suspended again and runs the next command.
TEST_F(ImmediateSession, BreakStopsOutputWithoutEndAndTheSessionGoesOn)
{
    serveInbound({expect({"XEC", "*", "F  W 1"}), connectChannel(), sendChannel("x"),
                  streamChannel("1\r\n", -1), expect({"VAR*", "2", "**"}),
                  expect({"XEC", "*", "W 2"}), connectChannel(), sendChannel("x2\r\n"), closeChannel(),
                  expect({"VAR*", "2", "**"})});
    run("F  W 1");
    ASSERT_TRUE(pumpUntil([this] { return ioLines(*pane).size() > 100; }));
    EXPECT_EQ(window.state, frmImmediate::ExecutingState);
    pane->StopOutput();
    EXPECT_EQ(window.states, QList<int>({-5, 1, -6}));   // suspended, then fetching the variables
    ASSERT_TRUE(pumpUntil([this] { return refreshes == 1; }));
    const QStringList stopped = ioLines(*pane);
    EXPECT_EQ(stopped.mid(stopped.size() - 2), QStringList({"[output stopped]", ""}));
    EXPECT_EQ(QSet<QString>(stopped.begin() + 1, stopped.end() - 2), QSet<QString>({"1"}));

    vars->UpdateFinished();
    run("W 2");
    finish();
    EXPECT_EQ(ioLines(*pane).mid(stopped.size() - 1), QStringList({"W 2", "2", ""}));
}

// A session that ends while a command runs: the listener goes, the state the command
// found never comes back and nothing is fetched; output already on its way still lands.
TEST_F(ImmediateSession, TheLinkClosingEndsTheCommand)
{
    serveInbound({expect({"XEC", "*", "W 1"}), connectChannel(), sendChannel("xA\r\n"),
                  waitUntil(go, "the busy state"), close(), waitUntil(again, "the client to see the close"),
                  sendChannel("B\r\n"), closeChannel()});
    run("W 1");
    ASSERT_TRUE(pumpUntil([this] { return window.state == frmImmediate::ExecutingState; }));
    go = true;
    ASSERT_TRUE(pumpUntil([this] { return window.state == -1; }));
    again = true;
    finish();
    ASSERT_TRUE(pumpUntil([this] { return ioLines(*pane).size() == 4; }));
    EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "A", "B", ""}));
    EXPECT_EQ(window.states, QList<int>({-5, -1}));
    EXPECT_EQ(refreshes, 0);

    // Closed while the pane still listened: nobody is left to connect.
    TearDown();
    SetUp();
    serveInbound({expect({"XEC", "*", "W 2"}), close()});
    run("W 2");
    finish();
    ASSERT_TRUE(pumpUntil([this] { return window.state == -1; }));
    EXPECT_FALSE(pane->channel()->isListening());
    EXPECT_EQ(window.states, QList<int>({-1}));
}

// A server that never connected leaves the listener open; the next command closes it
// and listens on the same port again.
TEST_F(ImmediateSession, ASecondCommandReplacesAStaleListener)
{
    serveInbound({expect({"XEC", "*", "W 1"}), expect({"XEC", "*", "W 2"}), connectChannel(),
                  sendChannel("x2\r\n"), closeChannel(), expect({"VAR*", "2", "**"})});
    run("W 1");
    ASSERT_TRUE(pumpUntil([this] { return pane->channel()->isListening(); }));
    run("W 2");
    finish();
    EXPECT_EQ(server->received().value(1), (Fields{"XEC", channelPort(), "W 2"}));
    EXPECT_EQ(frame("XEC"), (Fields{"XEC", channelPort(), "W 1"}));
    EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "W 2", "2", ""}));
    EXPECT_EQ(window.states, QList<int>({-5, 1, -6}));
}

// Only the session's server may write output: a connection from another address is
// dropped and the listener waits on.
TEST_F(ImmediateSession, TheListenerRefusesAnotherAddress)
{
    serveInbound({expect({"XEC", "*", "W 1"}), waitUntil(go, "the foreign client"), connectChannel(),
                  sendChannel("xmine\r\n"), closeChannel(), expect({"VAR*", "2", "**"})});
    run("W 1");
    ASSERT_TRUE(pumpUntil([this] { return pane->channel()->isListening(); }));

    QTcpSocket foreign;
    if (!foreign.bind(QHostAddress(QStringLiteral("127.0.0.2"))))
        GTEST_SKIP() << "no second loopback address";
    foreign.connectToHost(QHostAddress::LocalHost, quint16(link->MainPort() + 1));
    // The handshake completes in the listener's backlog, before the pane looks at it.
    ASSERT_TRUE(foreign.waitForConnected(3000)) << foreign.errorString().toStdString();
    foreign.write("xforeign\r\n");
    // The pane takes the connection and drops it.
    ASSERT_TRUE(pumpUntil([&] { return foreign.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(pane->channel()->isListening());
    EXPECT_TRUE(window.states.isEmpty());

    go = true;
    finish();
    EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "mine", ""}));
    EXPECT_EQ(window.states, QList<int>({-5, 1, -6}));
}

// Without a channel the command is not sent: a line says why, and the session stays
// suspended.
TEST_F(ImmediateSession, NoChannelPortMeansNoCommand)
{
    serveInbound({expectSilence(200)});
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::AnyIPv4, quint16(link->MainPort() + 1)));
    run("W 1");
    finish();
    const QStringList lines = ioLines(*pane);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith("Cannot listen for the output on port " + channelPort())) << lines[1].toStdString();
    EXPECT_EQ(ioFlags(*pane), QList<int>({1, 0, 0}));
    EXPECT_TRUE(window.states.isEmpty());

    // The last port has no port after it.
    TearDown();
    SetUp();
    server = std::make_unique<MServer>(QList<Step>{expectSilence(200)});
    if (!server->startAccepted(*link, 65535))
        GTEST_SKIP() << "port 65535 is taken";
    run("W 1");
    finish();
    EXPECT_EQ(ioLines(*pane), QStringList({"W 1", "No port for the output channel: the session's port is 65535", ""}));
    EXPECT_TRUE(window.states.isEmpty());
}

// Text at the top of IO that merely begins with the words of the line telling how much
// output was dropped is not that line: when output overflows IO, the pane puts its own
// line above it, and the count it shows is what really left, whatever text went.
TEST_F(ImmediateSession, TextThatLooksLikeTheDroppedTextLineIsNotTakenForIt)
{
    const QString lookalike = "[earlier text dropped: 3 characters; the output of an earlier command]";
    loadIO(*pane, {lookalike, ""}, {0, 0});
    QByteArray output;
    for (int line = 0; output.size() < frmImmediate::OutputLimit * 5 / 4; ++line)
        output += "output line " + QByteArray::number(line).rightJustified(7, '0') + "\r\n";
    // The refresh comes once the pane has taken in the output, which on a loaded machine
    // (or under the sanitizer) may take longer than a step's usual wait.
    server = std::make_unique<MServer>(QList<Step>{expect({"XEC", "*", "W 1"}), connectChannel(),
                                                   sendChannel("x" + output), closeChannel(),
                                                   expect({"VAR*", "2", "**"})});
    server->setStepTimeoutMs(60000);
    ASSERT_TRUE(server->startAccepted(*link));
    run("W 1");
    ASSERT_TRUE(pumpUntil([this] { return refreshes == 1; }, 60000)) << server->failure().toStdString();
    finish();

    const QStringList io = ioLines(*pane);
    ASSERT_TRUE(io.value(0).startsWith("[earlier text dropped: ")) << io.value(0).toStdString();
    EXPECT_TRUE(io.value(0).endsWith(QString("the pane keeps the last %1 characters]").arg(frmImmediate::OutputLimit)))
        << io.value(0).toStdString();
    EXPECT_EQ(ioFlags(*pane).value(0), 2);
    // IO held the lookalike, the command line, the output (its line ends one LF each) and
    // the empty line below; what it keeps below the count and the count make that up.
    const qint64 written = (lookalike.size() + 1) + QStringLiteral("W 1\n").size()
                           + (output.size() - output.count('\r'));
    const qint64 kept = io.mid(1).join('\n').size();
    const qint64 dropped = io.value(0).section(' ', 3, 3).toLongLong();
    EXPECT_EQ(dropped + kept, written) << io.value(0).toStdString();
}

// Output that floods IO leaves its newest part, whole: the first line says how much went,
// the line below it is the first one kept, and every line from there on follows the one
// before it up to the last the server wrote. Bare line ends cost IO a line each, and it
// keeps no more of them than of ordinary lines. Output that comes faster than IO takes it
// is cut before it is shown; output that IO keeps up with is cut in IO.
TEST_F(ImmediateSession, AFloodLeavesTheNewestOutputWholeBelowATrueCount)
{
    struct Case
    {
        const char *name;
        int lines;
        QString text;     // after the number "L000000"; none: the lines are empty
        int pieceBytes;   // the server writes this much and waits a little; 0: all at once
    };
    const QString tail = QStringLiteral(" output of a command");
    const Case cases[] = {
        {"numbered lines past the character bound, at once", frmImmediate::OutputLimit * 3 / 28, tail, 0},
        {"numbered lines past the character bound, as IO takes them", frmImmediate::OutputLimit * 3 / 28, tail,
         32 * 1024},
        {"short numbered lines past the line bound, as IO takes them", frmImmediate::OutputLineLimit * 3 / 2,
         QString(""), 16 * 1024},
        {"bare line ends past the line bound, at once", frmImmediate::OutputLineLimit * 4, QString(), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        const auto lineText = [&c](int line) {
            return c.text.isNull() ? QString() : QStringLiteral("L%1").arg(line, 6, 10, QLatin1Char('0')) + c.text;
        };
        QByteArray output;
        for (int line = 0; line < c.lines; ++line)
            output += lineText(line).toLatin1() + "\r\n";
        output.prepend('x');
        QList<Step> script{expect({"XEC", "*", "W 1"}), connectChannel()};
        const int piece = c.pieceBytes ? c.pieceBytes : int(output.size());
        for (qsizetype from = 0; from < output.size(); from += piece)
            script << sendChannel(output.mid(from, piece)) << pause(c.pieceBytes ? 20 : 0);
        script << closeChannel() << expect({"VAR*", "2", "**"});
        // A loaded machine may take long over megabytes of output.
        serveInbound(script, 0, 120000);
        run("W 1");
        ASSERT_TRUE(pumpUntil([this] { return refreshes == 1; }, 120000));
        finish();
        EXPECT_EQ(window.states, QList<int>({-5, 1, -6}));

        const QStringList io = ioLines(*pane);
        ASSERT_GE(io.size(), 3);
        ASSERT_TRUE(io[0].startsWith("[earlier text dropped: ")) << io[0].toStdString();
        EXPECT_EQ(ioFlags(*pane).value(0), 2);
        EXPECT_LE(pane->IO()->document()->characterCount(), frmImmediate::OutputLimit);
        EXPECT_LE(io.size(), frmImmediate::OutputLineLimit);
        // and lets go no more than it must
        const qint64 keptChars = io.mid(1).join('\n').size();
        EXPECT_TRUE(keptChars >= frmImmediate::OutputLimit / 2 || io.size() >= frmImmediate::OutputLineLimit / 2)
            << keptChars << " characters in " << io.size() << " lines";
        // The output's last line stands above the empty input line, and the lines
        // between the count and it are the output's last ones, none missing.
        EXPECT_EQ(io.last(), QString());
        const int keptLines = int(io.size()) - 2;
        const int firstKept = c.lines - keptLines;
        int gaps = 0;
        for (int i = 0; i < keptLines; ++i)
            if (io[i + 1] != lineText(firstKept + i) && ++gaps <= 3)
                ADD_FAILURE() << "line " << i + 1 << " is \"" << io[i + 1].toStdString() << "\", not \""
                              << lineText(firstKept + i).toStdString() << "\"";
        EXPECT_EQ(gaps, 0);
        // What went: the command line and every output line above the first kept one.
        qint64 dropped = QStringLiteral("W 1\n").size();
        for (int line = 0; line < firstKept; ++line)
            dropped += lineText(line).size() + 1;
        EXPECT_EQ(io[0].section(' ', 3, 3).toLongLong(), dropped) << io[0].toStdString();
    }
}
