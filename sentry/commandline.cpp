#include "commandline.h"

namespace {

bool isDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

SentryCommandLine SentryCommandLine::parse(const QString &commandLine)
{
    SentryCommandLine result;
    const int blank = commandLine.indexOf(QLatin1Char(' '));
    const QString first = blank < 0 ? commandLine : commandLine.left(blank);
    if (isDigits(first)) {
        bool ok = false;
        const uint port = first.toUInt(&ok);
        if (ok && port >= 1 && port <= 65535)
            result.port = quint16(port);
    }
    if (blank >= 0) {
        const QString second = commandLine.mid(blank + 1).trimmed();
        if (isDigits(second)) {
            bool ok = false;
            const uint sessions = second.toUInt(&ok);
            if (ok && sessions > 0 && sessions < 10)
                result.sessions = int(sessions);
        }
    }
    return result;
}
