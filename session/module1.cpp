#include "module1.h"

#include "iforeground.h"
#include "msgbox.h"

#include <QSysInfo>
#include <QWidget>

#include <cmath>
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

namespace {

// CLng: decimal text, rounded half to even; anything else is 0.
qint32 toLong(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value > 2147483647.0 || value < -2147483648.0)
        return 0;
    return qint32(std::nearbyint(value));
}

} // namespace

bool ServerPrompt(QStringList &fields)
{
    if (fields.size() <= 1)
        return true;
    const qint32 n = toLong(fields.value(1));
    const int style = n % 512;      // the remainder takes the sign of n, as Mod does
    const int expected = n / 512;   // truncating toward zero
    return MsgBox(fields.value(2), style, QString()) == expected;
}

} // namespace Module1
