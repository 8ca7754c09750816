#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Twips {

double perPixel(const QWidget *widget)
{
    const int dpi = widget ? widget->logicalDpiX()
                           : (QGuiApplication::primaryScreen() ? int(QGuiApplication::primaryScreen()->logicalDotsPerInchX()) : 96);
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

int toPixels(double twips, const QWidget *widget)
{
    return int(std::lround(twips / perPixel(widget)));
}

double fromPixels(int pixels, const QWidget *widget)
{
    return pixels * perPixel(widget);
}

} // namespace Twips
