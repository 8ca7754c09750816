#include "iforeground.h"

#include "portableforeground.h"
#ifdef VANTREL_HAVE_X11_FOREGROUND
#include "x11foreground.h"
#endif

#include <QGuiApplication>

namespace {

std::unique_ptr<IForeground> makePlatformDefault()
{
#ifdef VANTREL_HAVE_X11_FOREGROUND
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_unique<X11Foreground>();
#endif
    return std::make_unique<PortableForeground>();
}

IForeground &platformDefault()
{
    static std::unique_ptr<IForeground> chosen;
    if (!chosen) {
        // The platform is not known before the application object exists; answer
        // portably until then rather than fix the wrong choice for the whole run.
        if (!qGuiApp) {
            static PortableForeground early;
            return early;
        }
        chosen = makePlatformDefault();
    }
    return *chosen;
}

std::shared_ptr<IForeground> &installed()
{
    static std::shared_ptr<IForeground> foreground;
    return foreground;
}

} // namespace

IForeground &foreground()
{
    const std::shared_ptr<IForeground> &fg = installed();
    return fg ? *fg : platformDefault();
}

void setForeground(std::shared_ptr<IForeground> foreground)
{
    installed() = std::move(foreground);
}

quint64 foregroundWindowForOtherPrograms()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return 0;
    const quint64 window = foreground().foregroundWindow();
    return window == PortableForeground::ExternalWindow ? 0 : window;
}
