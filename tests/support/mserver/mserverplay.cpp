// The scripted M server as a program of its own, to watch Vantrel debug without an M
// server:
//
//   mserverplay [-v] [sentry-port]   (default port 4321, the Sentry's own default)
//
// Asks the Sentry on this PC for a Vantrel task as a server process does (the Sentry starts
// one when none is ready), connects to it, greets it and stops in a sample routine. Every
// step and every Go moves to the next stop of the script; Go at the last stop ends the
// session. Variables (one with subscripts), hover tips and the output of immediate commands
// come from the script too: it plays, it runs no M. It tells what happens in the session as
// the user sees it (each stop, the variables asked for, the tips answered); -v adds every
// message frame sent and received. The program ends when the session has ended.
#include "mserver.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

using mserver::Fields;
using mserver::Peer;

const QString Namespace = QStringLiteral("USER");
const QString RoutineName = QStringLiteral("DEMO");

const QStringList RoutineLines = {
    "DEMO ; a sample routine played by mserverplay",
    " ; Step through it with F8 (or Go, F5); Go at the last stop ends the session.",
    "START(COUNT) ; adds up the squares of 1 to COUNT",
    " N I,TOTAL",
    " S TOTAL=0,NAME=\"Vantrel\"",
    " F I=1:1:COUNT D",
    " . S A(I)=I*I",
    " . S TOTAL=TOTAL+A(I)",
    " D SHOW(TOTAL)",
    " Q",
    "SHOW(N) ; writes the total",
    " W !,NAME,\" adds up to \",N",
    " Q",
};

// One variable of a level: its name as the list keys it ("A" or "A(2)"), its value as
// M would write it, and whether it is the level's formal parameter. An array without a
// value of its own has an empty value and its nodes listed after it.
struct Variable
{
    QString name;
    QString value;
    bool formal = false;
};

struct Level
{
    QString label;
    int offset;
    int column;                  // of the command, from 1
    QList<Variable> variables;   // in the order the list shows them
};

// A stop: its levels, the innermost last.
using Stop = QList<Level>;

QList<Variable> startVariables(int i, int total, int squares)
{
    QList<Variable> vars;
    if (squares > 0) {
        vars << Variable{"A", QString()};
        for (int n = 1; n <= squares; ++n)
            vars << Variable{QStringLiteral("A(%1)").arg(n), QString::number(n * n)};
    }
    vars << Variable{"COUNT", "3", true};
    if (i > 0)
        vars << Variable{"I", QString::number(i)};
    if (total >= 0) {
        vars << Variable{"NAME", "\"Vantrel\""};
        vars << Variable{"TOTAL", QString::number(total)};
    }
    return vars;
}

const QList<Stop> &script()
{
    static const QList<Stop> stops = {
        {{"START", 1, 2, startVariables(0, -1, 0)}},
        {{"START", 2, 2, startVariables(0, -1, 0)}},
        {{"START", 3, 2, startVariables(0, 0, 0)}},
        {{"START", 4, 4, startVariables(1, 0, 0)}},
        {{"START", 5, 4, startVariables(1, 0, 1)}},
        {{"START", 6, 2, startVariables(3, 14, 3)}},
        {{"START", 6, 2, startVariables(3, 14, 3)}, {"SHOW", 1, 2, {{"N", "14", true}}}},
    };
    return stops;
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

bool verbose = false;   // -v: every frame as well

// A frame as the verbose transcript shows it: its fields apart by blanks, line ends
// written out, the empty acknowledgement named.
void sayFrame(const char *direction, const Fields &fields)
{
    if (!verbose)
        return;
    QString text = fields.isEmpty() ? QStringLiteral("(acknowledgement)") : fields.join(QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    say(QStringLiteral("  %1 %2").arg(QLatin1String(direction), text));
}

QString onOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// The command the user gave, by the request it sent.
QString commandName(const Fields &request)
{
    const QString code = request.value(0);
    if (code == QLatin1String("GO")) {
        const QString how = request.value(1);
        if (how.startsWith(QLatin1Char('+')))
            return QStringLiteral("Run to Cursor (line %1 of %2)").arg(how.mid(1), request.value(2));
        return how == QLatin1String("0") ? QStringLiteral("Go") : QStringLiteral("Go Fast");
    }
    QString name = code.startsWith(QLatin1String("STPin"))     ? QStringLiteral("Step Into")
                   : code.startsWith(QLatin1String("STPover")) ? QStringLiteral("Step Over")
                   : code.startsWith(QLatin1String("STPout"))  ? QStringLiteral("Step Out")
                                                               : code;
    if (code.endsWith(QLatin1Char('L')))
        name += QStringLiteral(" (linewise)");
    return name;
}

// The session as the server plays it, on the scripted server's thread.
class Session
{
public:
    explicit Session(Peer &peer) : m_peer(peer) {}

    bool play(QString &why)
    {
        m_why = &why;
        if (!sendAwaitingAck({"HI", "CACHE", "Vantrel:1:7", "20", "NT"}))
            return false;
        // The greeting's second part is acknowledged twice: before and after the task's
        // answers (identity, settings, breakpoints, the first step, the namespace).
        ++m_acksOwed;
        if (!sendAwaitingAck({"HI2", "", "4711", Namespace}))
            return false;
        say(QStringLiteral("connected: the Vantrel window shows the session of job 4711 in %1").arg(Namespace));
        for (;;) {
            Fields message;
            if (!m_waiting.isEmpty()) {
                message = m_waiting.takeFirst();
            } else if (!read(message)) {
                return false;
            }
            if (message.isEmpty())
                continue;   // an acknowledgement nobody waits for any more
            if (message.value(0).startsWith(QLatin1Char('!'))) {
                if (!answer(message))
                    return false;
                continue;
            }
            bool ended = false;
            if (!handle(message, ended))
                return false;
            if (ended)
                return true;
        }
    }

private:
    bool read(Fields &message)
    {
        if (!m_peer.readFrame(message, *m_why))
            return false;
        sayFrame("<-", message);
        return true;
    }

    bool send(const Fields &fields)
    {
        sayFrame("->", fields);
        if (m_peer.sendFrame(fields))
            return true;
        *m_why = QStringLiteral("the link closed");
        return false;
    }

    // Sends a message the task acknowledges, then serves the task until every
    // acknowledgement owed has come: the transactions it runs meanwhile are answered, its
    // other messages wait their turn.
    bool sendAwaitingAck(const Fields &fields)
    {
        ++m_acksOwed;
        if (!send(fields))
            return false;
        while (m_acksOwed > 0) {
            Fields message;
            if (!read(message))
                return false;
            if (message.isEmpty()) {
                --m_acksOwed;
            } else if (message.value(0).startsWith(QLatin1Char('!'))) {
                if (!answer(message))
                    return false;
            } else {
                m_waiting << message;
            }
        }
        return true;
    }

    // A transaction: the echo, the reply, and the acknowledgement the task then owes.
    bool answer(const Fields &request)
    {
        const QString code = request.value(0).mid(1);
        Fields reply{code};
        if (code == QLatin1String("SIG") || code == QLatin1String("SIR") || code == QLatin1String("SIE")) {
            if (request.value(2).compare(RoutineName, Qt::CaseInsensitive) == 0) {
                reply = {code, request.value(1), RoutineName, Namespace, "0", RoutineLines.join("\r\n"), "CACHE"};
                say(QStringLiteral("Vantrel opened the routine %1").arg(RoutineName));
            } else {
                say(QStringLiteral("Vantrel asked for the routine %1, which this script does not have")
                        .arg(request.value(2)));
            }
        } else if (code == QLatin1String("PPG")) {
            reply = {code, "lenLABEL", "31"};
        } else if (code == QLatin1String("NS")) {
            reply = {code, Namespace};
        } else {
            say(QStringLiteral("Vantrel asked for something this script does not play (%1); it got nothing").arg(code));
        }
        ++m_acksOwed;
        return send({request.value(0)}) && send(reply);
    }

    bool handle(const Fields &message, bool &ended)
    {
        const QString code = message.value(0);
        if (code.startsWith(QLatin1String("STP")) || code.startsWith(QLatin1String("GO")))
            return run(message, ended);
        if (code == QLatin1String("VAR*") || code == QLatin1String("VARp"))
            return variables(message.value(1).toInt(), message.value(3));
        if (code == QLatin1String("TIP") || code == QLatin1String("TIP$"))
            return tip(message.value(1), message.value(2));
        if (code == QLatin1String("XEC"))
            return execute(message.value(1).toUShort(), message.value(2));
        tell(message);
        return true;
    }

    // What the task says of itself and of the user's settings, in the user's words; its
    // name and the keep-alive are only for the verbose transcript.
    static void tell(const Fields &message)
    {
        const QString code = message.value(0);
        if (code == QLatin1String("IAM") || code == QLatin1String("PING"))
            return;
        if (code == QLatin1String("BonE")) {
            say(QStringLiteral("break on error: %1").arg(onOff(message.value(1) != QLatin1String("0"))));
        } else if (code == QLatin1String("CC")) {
            // The task sends "0" to have commands counted.
            say(QStringLiteral("command counter: %1").arg(onOff(message.value(1) == QLatin1String("0"))));
        } else if (code == QLatin1String("BP")) {
            say(QStringLiteral("breakpoint at %1^%2: %3")
                    .arg(message.value(2), message.value(3), onOff(message.value(1) == QLatin1String("+"))));
        } else if (code == QLatin1String("WP+")) {
            say(QStringLiteral("watching %1").arg(message.value(2)));
        } else if (code == QLatin1String("WP-")) {
            say(QStringLiteral("a watch was taken away or switched off"));
        } else if (code == QLatin1String("BRK")) {
            say(QStringLiteral("Break: the application is already stopped"));
        } else {
            say(QStringLiteral("Vantrel asked for something this script does not play (%1)").arg(code));
        }
    }

    // Every step and every Go moves to the next stop; Go at the last one ends the session.
    bool run(const Fields &request, bool &ended)
    {
        const QString code = request.value(0);
        const QString command = commandName(request);
        const bool last = m_stop == script().size() - 1;
        if (last && code.startsWith(QLatin1String("GO"))) {
            say(QStringLiteral("%1 at the last stop: the application ends, and so does the session").arg(command));
            if (!send({"BYE", "0"}))
                return false;
            // The task closes the link once it has let the session go; it acknowledges
            // only when the user chose to keep the session (Cancel in a save question).
            Fields rest;
            while (read(rest)) {
                if (rest.isEmpty() && m_acksOwed > 0) {
                    --m_acksOwed;   // of a transaction run while it let go (a save)
                } else if (rest.isEmpty()) {
                    say(QStringLiteral("the user kept the session; Go ends it"));
                    return true;
                } else if (rest.value(0).startsWith(QLatin1Char('!')) && !answer(rest)) {
                    return false;
                }
            }
            ended = true;
            say(QStringLiteral("end of the script: the session has ended"));
            return true;
        }
        // The task asks for the first step itself once it has greeted.
        const QString why = m_stop < 0 ? QStringLiteral("the application stops at its first line") : command;
        if (!last)
            ++m_stop;
        const Stop &stop = script().at(m_stop);
        const Level &top = stop.last();
        say(QStringLiteral("%1: stop %2 of %3 at %4+%5^%6")
                .arg(why)
                .arg(m_stop + 1)
                .arg(script().size())
                .arg(top.label)
                .arg(top.offset)
                .arg(RoutineName));
        // The outer levels first: the innermost ends the report and is the one selected.
        for (int level = 1; level <= stop.size(); ++level) {
            const Level &l = stop.at(level - 1);
            const char *kind = level == stop.size() ? "STKtop" : "STK";
            if (!sendAwaitingAck({kind, QString::number(level), Namespace, RoutineName, l.label,
                                  QString::number(l.offset), QString::number(l.column)}))
                return false;
        }
        return sendAwaitingAck({"STP", QString::number(stop.size())});
    }

    // A level's variables, or the nodes of one of them (key: its name). The task keeps the
    // rows it was sent: a row it holds is sent again with its value of this stop, and a row
    // this level does not have is taken away.
    bool variables(int level, const QString &key)
    {
        const Stop &stop = script().at(m_stop);
        const QList<Variable> vars = level >= 1 && level <= stop.size() ? stop.at(level - 1).variables
                                                                         : QList<Variable>();
        QStringList sent;
        QString follows = key;
        for (const Variable &v : vars) {
            const bool node = v.name.contains(QLatin1Char('('));
            const bool wanted = key.isEmpty() ? !node || m_shown.contains(v.name)
                                              : v.name.startsWith(key + QLatin1Char('('));
            if (!wanted)
                continue;
            const bool hasNodes = !node && v.value.isEmpty();
            int bits = hasNodes ? 2 : 1;
            if (v.formal)
                bits |= 8;
            QString raw = v.value;
            if (raw.startsWith(QLatin1Char('"')))
                raw = raw.mid(1, raw.size() - 2);
            const QString shortName = node ? v.name.mid(v.name.indexOf(QLatin1Char('('))) : v.name;
            if (!send({"VAR+", v.name, raw, "0", v.value, node ? "1" : "0", shortName, QString::number(bits),
                       follows, v.name}))
                return false;
            follows = v.name;
            sent << v.name;
        }
        if (key.isEmpty()) {
            for (const QString &gone : std::as_const(m_shown))
                if (!sent.contains(gone) && !send({"VAR-", gone}))
                    return false;
            m_shown = sent;
        } else {
            for (const QString &name : std::as_const(sent))
                if (!m_shown.contains(name))
                    m_shown << name;
        }
        QStringList shownValues;
        for (const Variable &v : vars)
            if (sent.contains(v.name))
                shownValues << (v.value.isEmpty() ? v.name : v.name + QLatin1Char('=') + v.value);
        say(key.isEmpty() ? QStringLiteral("the Variables pane asked for level %1: sent the variables of level %1 (%2)")
                                .arg(level)
                                .arg(shownValues.join(QStringLiteral(", ")))
                          : QStringLiteral("the Variables pane opened %1: sent the nodes of %1 (%2)")
                                .arg(key, shownValues.join(QStringLiteral(", "))));
        return sendAwaitingAck({"VARend"});
    }

    // What the innermost level sees: its own variables, then those of the levels above it
    // that it has not newed or taken as parameters.
    QList<Variable> visibleVariables() const
    {
        QList<Variable> visible;
        QStringList names;
        const Stop &stop = script().at(m_stop);
        for (int level = int(stop.size()) - 1; level >= 0; --level) {
            for (const Variable &v : stop.at(level).variables) {
                if (!names.contains(v.name)) {
                    names << v.name;
                    visible << v;
                }
            }
        }
        std::sort(visible.begin(), visible.end(),
                  [](const Variable &a, const Variable &b) { return a.name < b.name; });
        return visible;
    }

    // The value as the script knows it: a variable the innermost level sees, or an array
    // node whose subscript is a number or such a variable.
    QString valueOf(const QString &expression) const
    {
        const QList<Variable> vars = visibleVariables();
        auto find = [&vars](const QString &name) -> QString {
            for (const Variable &v : vars)
                if (v.name == name)
                    return v.value;
            return QString();
        };
        const QRegularExpressionMatch node =
            QRegularExpression(QStringLiteral("^([A-Z]+)\\(([A-Z0-9]+)\\)$")).match(expression.trimmed());
        if (node.hasMatch()) {
            QString subscript = node.captured(2);
            if (!subscript.at(0).isDigit())
                subscript = find(subscript);
            return subscript.isEmpty() ? QString() : find(node.captured(1) + '(' + subscript + ')');
        }
        return find(expression.trimmed());
    }

    bool tip(const QString &key, const QString &expression)
    {
        const QString value = valueOf(expression);
        const QString text = value.isEmpty() ? expression + QStringLiteral(": <UNDEFINED>")
                                             : expression + QStringLiteral(" = ") + value;
        say(QStringLiteral("hover tip for %1: %2").arg(expression, text));
        return sendAwaitingAck({"TIP", key, text});
    }

    // An immediate command: its output goes over a connection of its own to the port the
    // task listens on, after one lead character the task does not show.
    bool execute(quint16 port, const QString &command)
    {
        QString output;
        const QString trimmed = command.trimmed();
        if (trimmed.compare(QLatin1String("ZW"), Qt::CaseInsensitive) == 0) {
            for (const Variable &v : visibleVariables())
                if (!v.value.isEmpty())
                    output += v.name + '=' + v.value + "\r\n";
        } else if (trimmed.startsWith(QLatin1String("W "), Qt::CaseInsensitive)) {
            const QString value = valueOf(trimmed.mid(2));
            output = value.isEmpty() ? QStringLiteral("<UNDEFINED>\r\n") : value + "\r\n";
            if (value.startsWith(QLatin1Char('"')))
                output = value.mid(1, value.size() - 2) + "\r\n";
        } else {
            output = QStringLiteral("mserverplay runs no M, it plays a script. Try W TOTAL, W A(2) or ZW\r\n");
        }
        say(QStringLiteral("immediate command %1: %2").arg(command, QString(output).replace(QStringLiteral("\r\n"), QStringLiteral(" ")).trimmed()));
        QTcpSocket channel;
        channel.connectToHost(QHostAddress::LocalHost, port);
        if (!channel.waitForConnected(5000)) {
            say(QStringLiteral("could not reach the output channel on port %1: %2").arg(port).arg(channel.errorString()));
            return true;
        }
        channel.write(QByteArray(" ") + output.toLatin1());
        while (channel.bytesToWrite() > 0 && channel.waitForBytesWritten(5000)) {
        }
        channel.disconnectFromHost();
        if (channel.state() != QAbstractSocket::UnconnectedState)
            channel.waitForDisconnected(5000);
        return true;
    }

    Peer &m_peer;
    QString *m_why = nullptr;
    int m_acksOwed = 0;
    QList<Fields> m_waiting;   // the task's messages that came while an acknowledgement was awaited
    int m_stop = -1;           // the stop the application is at; -1 before the first
    QStringList m_shown;       // the rows the task's variables list holds
};

// The port of a ready task, as the Sentry hands it to a server: "?" asks for one and has
// the Sentry start a task when none is ready; the answer is 0 until it has booked in.
quint16 askSentryForTask(quint16 sentryPort)
{
    QTcpSocket sentry;
    sentry.connectToHost(QHostAddress::LocalHost, sentryPort);
    if (!sentry.waitForConnected(5000)) {
        say(QStringLiteral("mserverplay: no Sentry on port %1: %2").arg(sentryPort).arg(sentry.errorString()));
        say(QStringLiteral("  Start Vantrel first (make run): it starts the Sentry. Close its start-up Task Guide,\n"
                           "  then run mserverplay again."));
        return 0;
    }
    for (int attempt = 0; attempt < 120; ++attempt) {
        sentry.write("?");
        sentry.flush();
        QByteArray reply;
        while (reply.size() < 2 && sentry.waitForReadyRead(5000))
            reply += sentry.read(2 - reply.size());
        if (reply.size() < 2) {
            say(QStringLiteral("mserverplay: the Sentry did not answer"));
            return 0;
        }
        const quint16 port = quint16((quint8(reply[0]) << 8) | quint8(reply[1]));
        if (port != 0)
            return port;
        if (attempt == 0) {
            say(QStringLiteral("no task ready yet; the Sentry starts one"));
            say(QStringLiteral("  A Vantrel window whose start-up Task Guide is still open does not listen yet, so the\n"
                               "  Sentry starts another Vantrel for the session. Close the guide before you run mserverplay,\n"
                               "  and the session plays in that window."));
        }
        QThread::msleep(500);
    }
    say(QStringLiteral("mserverplay: no task became ready within a minute"));
    return 0;
}

} // namespace

const char Usage[] =
    "usage: mserverplay [-v] [sentry-port]\n"
    "  Plays a scripted debug session in a Vantrel window, as an M server would.\n"
    "  sentry-port  the port the Sentry listens on (default 4321)\n"
    "  -v           also print every message frame sent and received\n";

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    uint sentryPort = 4321;
    bool portGiven = false;
    for (const QString &argument : app.arguments().mid(1)) {
        bool ok = false;
        if (argument == QLatin1String("-v") || argument == QLatin1String("--verbose")) {
            verbose = true;
        } else if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (!portGiven && (sentryPort = argument.toUInt(&ok), ok) && sentryPort > 0 && sentryPort <= 65535) {
            portGiven = true;
        } else {
            std::fputs(Usage, stderr);
            return 2;
        }
    }
    const quint16 taskPort = askSentryForTask(quint16(sentryPort));
    if (taskPort == 0)
        return 1;
    say(QStringLiteral("the Sentry offers the task on port %1").arg(taskPort));

    using namespace mserver;
    MServer server({
        connectTo(taskPort),
        call(QStringLiteral("play the session"), [](Peer &peer, QString &why) { return Session(peer).play(why); }),
    });
    // The user takes their time between two commands.
    server.setStepTimeoutMs(24 * 3600 * 1000);
    server.start();
    while (!server.finished())
        QThread::msleep(50);
    if (!server.failure().isEmpty()) {
        say(QStringLiteral("mserverplay: the session broke off: ") + server.failure());
        return 1;
    }
    return 0;
}
