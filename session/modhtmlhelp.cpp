#include "modhtmlhelp.h"

#include "ihelphost.h"

#include <QCoreApplication>

namespace modHTMLHelp {

QString HelpFilePath(int n)
{
    if (n != 1)
        return QString();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Vantrel.chm");
}

void ShowHelpContents(int n, const QString &windowName)
{
    helpHost().htmlHelp(nullptr, HelpFilePath(n) + QLatin1Char('>') + windowName, IHelpHost::DisplayToc);
}

void ShowHelpTopic(int n, const QString &windowName, const QString &topic)
{
    helpHost().htmlHelp(nullptr, HelpFilePath(n) + QStringLiteral("::/") + topic + QLatin1Char('>') + windowName,
                        IHelpHost::DisplayTopic);
}

} // namespace modHTMLHelp
