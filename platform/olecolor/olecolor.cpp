#include "olecolor.h"

#include <QGuiApplication>
#include <QPalette>

#include <limits>

namespace OleColor {

namespace {

constexpr int NoRole = -1;

// System colour index -> palette role; see the table in the header.
constexpr int SystemRoles[] = {
    QPalette::Button,          //  0 scroll bar
    QPalette::Window,          //  1 desktop
    QPalette::Highlight,       //  2 active caption
    QPalette::Window,          //  3 inactive caption
    QPalette::Window,          //  4 menu
    QPalette::Base,            //  5 window
    QPalette::Shadow,          //  6 window frame
    QPalette::WindowText,      //  7 menu text
    QPalette::Text,            //  8 window text
    QPalette::HighlightedText, //  9 caption text
    QPalette::Window,          // 10 active border
    QPalette::Window,          // 11 inactive border
    QPalette::Dark,            // 12 MDI background
    QPalette::Highlight,       // 13 highlight
    QPalette::HighlightedText, // 14 highlighted text
    QPalette::Button,          // 15 button face
    QPalette::Dark,            // 16 button shadow
    QPalette::PlaceholderText, // 17 grey text
    QPalette::ButtonText,      // 18 button text
    QPalette::WindowText,      // 19 inactive caption text
    QPalette::Light,           // 20 button highlight
    QPalette::Shadow,          // 21 3-D dark shadow
    QPalette::Midlight,        // 22 3-D light
    QPalette::ToolTipText,     // 23 tooltip text
    QPalette::ToolTipBase,     // 24 tooltip background
};
constexpr quint32 SystemCount = sizeof(SystemRoles) / sizeof(SystemRoles[0]);

int roleOf(quint32 ole)
{
    const quint32 index = ole & ~SystemFlag;
    return index < SystemCount ? SystemRoles[index] : NoRole;
}

} // namespace

bool isSystem(quint32 ole)
{
    return (ole & SystemFlag) != 0;
}

bool isValid(quint32 ole)
{
    return isSystem(ole) ? roleOf(ole) != NoRole : ole <= 0x00FFFFFFu;
}

QColor toQColor(quint32 ole)
{
    if (!isSystem(ole)) {
        if (ole > 0x00FFFFFFu)
            return QColor(Qt::black);
        return QColor(int(ole & 0xFF), int((ole >> 8) & 0xFF), int((ole >> 16) & 0xFF));
    }
    const int role = roleOf(ole);
    if (role == NoRole)
        return QColor(Qt::black);
    // Without a GUI application there is no palette to ask; a default palette is the
    // closest answer and keeps the helper usable in plain tools.
    const QPalette palette = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                                 ? QGuiApplication::palette()
                                 : QPalette();
    QColor colour = palette.color(QPalette::Active, QPalette::ColorRole(role));
    colour.setAlpha(255);
    return colour;
}

quint32 fromQColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16);
}

quint32 fromNumber(qint64 value)
{
    // A number that does not fit 32 bits names no colour; saturating keeps it out of
    // the table (and so black) instead of wrapping into some real colour.
    if (value > qint64(std::numeric_limits<quint32>::max()) ||
        value < qint64(std::numeric_limits<qint32>::min()))
        return 0xFFFFFFFFu;
    return quint32(value);
}

} // namespace OleColor
