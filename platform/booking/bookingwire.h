#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// The lines a task and the Sentry exchange over one booking connection.
//   task -> Sentry:  "BOOK 1", "LISTENING 1", "LISTENING 0"
//   Sentry -> task:  "BOOKED <port> <sentryPort> <localAddress>"
//                    "ERROR <number> <source>\t<description>"
// UTF-8, one message per line. The error number travels as the signed 32-bit
// value a task shows ("Error -2147220991 (...)").
namespace BookingWire {

inline constexpr int ProtocolVersion = 1;
// A line longer than this is not one of ours; the connection is dropped.
inline constexpr int MaxLineLength = 4096;

struct Request
{
    enum Kind { Book, Listening, Invalid };
    Kind kind = Invalid;
    bool listening = false;
};

struct Reply
{
    enum Kind { Booked, Error, Invalid };
    Kind kind = Invalid;
    quint16 port = 0;
    quint16 sentryPort = 0;
    QString localAddress;
    qint32 number = 0;
    QString source;
    QString description;
};

QByteArray bookRequest();
QByteArray listeningRequest(bool listening);
Request parseRequest(const QByteArray &line);

QByteArray bookedReply(quint16 port, quint16 sentryPort, const QString &localAddress);
QByteArray errorReply(qint32 number, const QString &source, const QString &description);
Reply parseReply(const QByteArray &line);

// Takes the first complete line (without its LF) off the front of buffer.
std::optional<QByteArray> takeLine(QByteArray &buffer);

} // namespace BookingWire
