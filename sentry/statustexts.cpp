#include "statustexts.h"

#include <QStringList>

namespace StatusTexts {

QString caption()
{
    return QStringLiteral("Vantrel Sentry");
}

QString aboutText()
{
    return QStringLiteral(
        "The Sentry receives connections from Vantrel sessions initiated on Caché or M servers. "
        "It dispatches them to Vantrel tasks on this workstation, where you interact with Vantrel. "
        "You can minimize the Sentry, leaving an icon in the System Tray.");
}

QString versionText(int major, int minor, int revision)
{
    QString text = QStringLiteral("Version %1.%2").arg(major).arg(minor);
    if (revision / 100 > 0)
        text += QStringLiteral(".%1").arg(revision / 100);
    return text;
}

QString tipText(quint16 port, const QString &address)
{
    QString text = QStringLiteral("Vantrel Sentry listening on port %1").arg(port);
    if (!address.isEmpty())
        text += QStringLiteral(" at ") + address;
    return text.left(TipLimit);
}

QString wsInfoText(const QString &socketLayerVersion, int receiveBuffer, int sendBuffer)
{
    return QStringList{
        QStringLiteral("WinSock version: n/a"),
        QStringLiteral("Library: Qt ") + QString::fromLatin1(qVersion()),
        QStringLiteral("Description: ") + QSysInfo::prettyProductName(),
        QStringLiteral("Socket/X version: ") + socketLayerVersion,
        QStringLiteral("Buffers (r/s): %1/%2").arg(receiveBuffer).arg(sendBuffer),
    }.join(QStringLiteral("\r\n"));
}

QString onlyOneInstance()
{
    return QStringLiteral("Only one instance is permitted");
}

QString unableToStart(const QString &reason)
{
    return QStringLiteral("Vantrel Sentry is unable to start:\r\n") + reason;
}

QString startFailureReason(qint64 number, const QString &description, quint16 listeningPort)
{
    if (number == 10048)
        return QStringLiteral("Port %1 may be in use by another task on this PC").arg(listeningPort);
    return QStringLiteral("(%1) %2").arg(number).arg(description);
}

QString sentryInUseText(int liveCount)
{
    // Each paragraph is one line: the box wraps it to its own width, and a break of our own
    // inside it would leave a word or two alone on a line. An empty line parts paragraphs.
    return QStringList{
        QStringLiteral("Vantrel Sentry appears to be in use by %1 task(s). "
                       "Shutting it down it may adversely affect their operation.")
            .arg(liveCount),
        QString(),
        QStringLiteral("If there are no Vantrel tasks showing on your taskbar, this situation "
                       "is probably the result of Vantrel task(s) terminating abnormally. "
                       "It is generally safe to shut down the Sentry. You should also then check "
                       "your Windows task-list for a VANNGINE task. If one is there, select End Task "
                       "and then respond to the subsequent dialog by selecting Close."),
        QString(),
        QStringLiteral("Are you sure you want to shut down the Sentry?"),
    }.join(QLatin1Char('\r'));
}

QList<CloseQuestion> closeQuestions(CloseReason reason, int liveCount)
{
    QList<CloseQuestion> questions;
    if (reason == CloseReason::SessionEnd)
        return questions;
    if (liveCount > 0)
        questions.append({QStringLiteral("Sentry in Use"), sentryInUseText(liveCount), CloseQuestion::Warning, true});
    if (reason == CloseReason::TitleBar) {
        questions.append({QStringLiteral("Terminate Vantrel Sentry"),
                          QStringLiteral("Are you sure you want to shut down the Sentry task?"),
                          CloseQuestion::Question, false});
    }
    return questions;
}

} // namespace StatusTexts
