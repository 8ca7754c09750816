#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// The Sentry's own texts, built apart from the window so they can be checked
// without one. Line breaks are kept as the program writes them (CR LF, or a lone
// CR in the "Sentry in Use" question); the window converts them for display.
namespace StatusTexts {

inline constexpr int TipLimit = 63;   // the tray tip holds 63 characters

QString caption();                                   // "Vantrel Sentry"
QString aboutText();                                 // lblAbout
QString versionText(int major, int minor, int revision);
QString tipText(quint16 port, const QString &address);
QString wsInfoText(const QString &socketLayerVersion, int receiveBuffer, int sendBuffer);

QString onlyOneInstance();
// "Vantrel Sentry is unable to start:" CR LF reason.
QString unableToStart(const QString &reason);
// The reason for a start-up error: the port text for "address in use", else "(number) description".
QString startFailureReason(qint64 number, const QString &description, quint16 listeningPort);

// Who asked for the window to close.
enum class CloseReason {
    TitleBar,     // title bar or window menu
    ExitItem,     // the tray menu's "Exit"
    SessionEnd,   // the desktop session ends, or the system stops the program
};

struct CloseQuestion
{
    enum Icon { Warning, Question };
    QString title;
    QString text;
    Icon icon;
    // Both questions offer Yes and No; No cancels the close.
    bool noIsDefault;
};

// Three paragraphs parted by an empty line; the box wraps each one itself.
QString sentryInUseText(int liveCount);
// The questions asked, in order, before the window closes; any No cancels.
QList<CloseQuestion> closeQuestions(CloseReason reason, int liveCount);

} // namespace StatusTexts
