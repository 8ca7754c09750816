#include "bookingwire.h"

#include <QList>

namespace BookingWire {

namespace {

// Descriptions are free text; line breaks in them must not end the message.
QByteArray escape(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

QString unescape(const QByteArray &bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\\' && i + 1 < bytes.size()) {
            const char next = bytes[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += bytes[i];
        }
    }
    return QString::fromUtf8(out);
}

std::optional<quint16> parsePort(const QByteArray &text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535)
        return std::nullopt;
    return quint16(value);
}

} // namespace

QByteArray bookRequest()
{
    return "BOOK " + QByteArray::number(ProtocolVersion) + '\n';
}

QByteArray listeningRequest(bool listening)
{
    return listening ? QByteArray("LISTENING 1\n") : QByteArray("LISTENING 0\n");
}

Request parseRequest(const QByteArray &line)
{
    Request request;
    const QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() != 2)
        return request;
    if (words[0] == "BOOK" && words[1] == QByteArray::number(ProtocolVersion)) {
        request.kind = Request::Book;
    } else if (words[0] == "LISTENING" && (words[1] == "0" || words[1] == "1")) {
        request.kind = Request::Listening;
        request.listening = words[1] == "1";
    }
    return request;
}

QByteArray bookedReply(quint16 port, quint16 sentryPort, const QString &localAddress)
{
    return "BOOKED " + QByteArray::number(port) + ' ' + QByteArray::number(sentryPort) + ' '
        + escape(localAddress) + '\n';
}

QByteArray errorReply(qint32 number, const QString &source, const QString &description)
{
    QString safeSource = source;
    safeSource.replace(QLatin1Char(' '), QLatin1Char('_')).replace(QLatin1Char('\t'), QLatin1Char('_'));
    return "ERROR " + QByteArray::number(number) + ' ' + escape(safeSource) + '\t'
        + escape(description) + '\n';
}

Reply parseReply(const QByteArray &line)
{
    Reply reply;
    if (line.startsWith("BOOKED ")) {
        // The address is last and may be empty: split only the two ports off.
        const QByteArray rest = line.mid(7);
        const int firstBlank = rest.indexOf(' ');
        const int secondBlank = firstBlank < 0 ? -1 : rest.indexOf(' ', firstBlank + 1);
        if (secondBlank < 0)
            return reply;
        const auto port = parsePort(rest.left(firstBlank));
        const auto sentryPort = parsePort(rest.mid(firstBlank + 1, secondBlank - firstBlank - 1));
        if (!port || !sentryPort)
            return reply;
        reply.kind = Reply::Booked;
        reply.port = *port;
        reply.sentryPort = *sentryPort;
        reply.localAddress = unescape(rest.mid(secondBlank + 1));
    } else if (line.startsWith("ERROR ")) {
        const QByteArray rest = line.mid(6);
        const int tab = rest.indexOf('\t');
        const int blank = rest.indexOf(' ');
        if (tab < 0 || blank < 0 || blank > tab)
            return reply;
        bool ok = false;
        const qint32 number = rest.left(blank).toInt(&ok);
        if (!ok)
            return reply;
        reply.kind = Reply::Error;
        reply.number = number;
        reply.source = unescape(rest.mid(blank + 1, tab - blank - 1));
        reply.description = unescape(rest.mid(tab + 1));
    }
    return reply;
}

std::optional<QByteArray> takeLine(QByteArray &buffer)
{
    const int end = buffer.indexOf('\n');
    if (end < 0)
        return std::nullopt;
    QByteArray line = buffer.left(end);
    buffer.remove(0, end + 1);
    return line;
}

} // namespace BookingWire
