#include "inputclock.h"

#ifdef VANTREL_HAVE_X11_FOREGROUND
#include "x11inputclock.h"
#endif

#include <QGuiApplication>

namespace {

std::function<std::optional<quint32>()> &installed()
{
    static std::function<std::optional<quint32>()> clock;
    return clock;
}

} // namespace

std::optional<quint32> inputClockNow()
{
    if (const auto &clock = installed())
        return clock();
#ifdef VANTREL_HAVE_X11_FOREGROUND
    if (qGuiApp && QGuiApplication::platformName() == QLatin1String("xcb"))
        return X11InputClock::now();
#endif
    return std::nullopt;
}

void setInputClock(std::function<std::optional<quint32>()> clock)
{
    installed() = std::move(clock);
}
