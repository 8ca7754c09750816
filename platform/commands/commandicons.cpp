#include "commandicons.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

namespace {

constexpr int IconSize = 16;
constexpr int NoStandardIcon = -1;

struct Image
{
    const char *name;
    int standard;         // a QStyle::StandardPixmap, or NoStandardIcon
    const char *glyph;    // drawn when there is no standard icon
    QRgb colour;
};

constexpr QRgb DebugColour = 0xff2060c0;
constexpr QRgb RunColour = 0xff208030;
constexpr QRgb StopColour = 0xffc03020;
constexpr QRgb EditColour = 0xff505050;
constexpr QRgb MarkColour = 0xff2080a0;
constexpr QRgb BlockColour = 0xff806020;
constexpr QRgb ViewColour = 0xff604090;

const Image images[] = {
    {"DbgConnect", NoStandardIcon, "C", DebugColour},
    {"DbgAttach", NoStandardIcon, "A", DebugColour},
    {"DbgDisconnect", QStyle::SP_MediaStop, "", StopColour},
    {"DbgGoFast", QStyle::SP_MediaSeekForward, "", RunColour},
    {"DbgGo", QStyle::SP_MediaPlay, "", RunColour},
    {"DbgBreak", QStyle::SP_MediaPause, "", StopColour},
    {"DbgStepIn", QStyle::SP_ArrowDown, "", RunColour},
    {"DbgStepOver", QStyle::SP_ArrowRight, "", RunColour},
    {"DbgStepOut", QStyle::SP_ArrowUp, "", RunColour},
    {"DbgRunTo", QStyle::SP_MediaSkipForward, "", RunColour},
    {"DbgToggle", NoStandardIcon, "\xE2\x97\x8F", StopColour},   // a filled circle
    {"DbgLinewise", NoStandardIcon, "L", DebugColour},
    {"DbgBonE", NoStandardIcon, "E!", StopColour},
    {"BmkToggle", NoStandardIcon, "B", MarkColour},
    {"BmkFirst", QStyle::SP_MediaSkipBackward, "", MarkColour},
    {"BmkPrevious", QStyle::SP_MediaSeekBackward, "", MarkColour},
    {"BmkNext", QStyle::SP_MediaSeekForward, "", MarkColour},
    {"BmkLast", QStyle::SP_MediaSkipForward, "", MarkColour},
    {"BmkClearAll", NoStandardIcon, "B\xC3\x97", MarkColour},   // B and a multiplication sign
    {"EdUndo", QStyle::SP_ArrowBack, "", EditColour},
    {"EdRedo", QStyle::SP_ArrowForward, "", EditColour},
    {"EdCut", NoStandardIcon, "X", EditColour},
    {"EdCopy", NoStandardIcon, "Cp", EditColour},
    {"EdPaste", NoStandardIcon, "P", EditColour},
    {"EdDelete", QStyle::SP_DialogDiscardButton, "", EditColour},
    {"EdFind", NoStandardIcon, "F", EditColour},
    {"EdFindNext", NoStandardIcon, "F>", EditColour},
    {"EdReplace", NoStandardIcon, "R", EditColour},
    {"VwStack", NoStandardIcon, "S", ViewColour},
    {"VwImmediate", NoStandardIcon, "I", ViewColour},
    {"VwVars", NoStandardIcon, "V", ViewColour},
    {"VwBPs", NoStandardIcon, "BP", ViewColour},
    {"FlNew", QStyle::SP_FileIcon, "", EditColour},
    {"FlOpen", QStyle::SP_DialogOpenButton, "", EditColour},
    {"FlSave", QStyle::SP_DialogSaveButton, "", EditColour},
    {"FlSaveAll", NoStandardIcon, "SA", EditColour},
    {"FlPrint", NoStandardIcon, "Pr", EditColour},
    {"BlkCollapse", NoStandardIcon, "-", BlockColour},
    {"BlkExpand", NoStandardIcon, "+", BlockColour},
    {"BlkCollapseAll", NoStandardIcon, "--", BlockColour},
    {"BlkExpandAll", NoStandardIcon, "++", BlockColour},
};

// Drawn when first painted, not when the command is made: a start-up that builds every
// tool bar would otherwise wait for the font machinery before it could listen.
class GlyphIconEngine : public QIconEngine
{
public:
    GlyphIconEngine(const QString &glyph, const QColor &colour) : m_glyph(glyph), m_colour(colour) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, QIcon::Off));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        const QColor colour = mode == QIcon::Disabled ? QColor(160, 160, 160) : m_colour;
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size.width() / double(IconSize), size.height() / double(IconSize));
        painter.setPen(colour);
        painter.drawRoundedRect(QRectF(0.5, 0.5, IconSize - 1, IconSize - 1), 3, 3);
        QFont font = painter.font();
        font.setPixelSize(m_glyph.size() > 1 ? 8 : 11);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(QRect(0, 0, IconSize, IconSize), Qt::AlignCenter, m_glyph);
        painter.end();
        return pixmap;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return size.boundedTo(QSize(IconSize, IconSize));
    }

    QIconEngine *clone() const override { return new GlyphIconEngine(m_glyph, m_colour); }

private:
    QString m_glyph;
    QColor m_colour;
};

QIcon glyphIcon(const QString &glyph, const QColor &colour)
{
    return QIcon(new GlyphIconEngine(glyph, colour));
}

} // namespace

QIcon CommandIcons::icon(const QString &image)
{
    if (image.isEmpty())
        return QIcon();
    for (const Image &known : images) {
        if (image != QLatin1String(known.name))
            continue;
        if (known.standard != NoStandardIcon) {
            const QIcon standard = QApplication::style()->standardIcon(QStyle::StandardPixmap(known.standard));
            if (!standard.isNull())
                return standard;
        }
        const QString glyph = QString::fromUtf8(known.glyph);
        return glyphIcon(glyph.isEmpty() ? image.left(1) : glyph, QColor::fromRgb(known.colour));
    }
    return glyphIcon(image.left(2), QColor::fromRgb(EditColour));
}
