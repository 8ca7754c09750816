#include "module1.h"

#include "fieldconversion.h"
#include "iforeground.h"
#include "msgbox.h"

#include <QSysInfo>
#include <QWidget>

#include <pwd.h>
#include <unistd.h>

namespace Module1 {

bool ForceForeground(QWidget *window)
{
    return window && foreground().activate(window);
}

bool ForegroundIsOurs(quint64 &window)
{
    window = foreground().foregroundWindow();
    return foreground().isOurs(window);
}

qint64 ForegroundProcessId(quint64 &window)
{
    window = foreground().foregroundWindow();
    return foreground().processOf(window);
}

QString ComputerName()
{
    const QString host = QSysInfo::machineHostName();
    return host.section(QLatin1Char('.'), 0, 0);
}

QString UserName()
{
    if (const passwd *entry = getpwuid(geteuid())) {
        if (entry->pw_name && *entry->pw_name)
            return QString::fromLocal8Bit(entry->pw_name);
    }
    return qEnvironmentVariable("USER");
}

bool ServerPrompt(QStringList &fields)
{
    if (fields.size() <= 1)
        return true;
    const qint32 n = FieldConversion::toLong(fields.value(1));
    const int style = n % 512;      // the remainder takes the sign of n, as Mod does
    const int expected = n / 512;   // truncating toward zero
    return MsgBox(fields.value(2), style, QString()) == expected;
}

} // namespace Module1
