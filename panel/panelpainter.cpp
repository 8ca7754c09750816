#include "panelpainter.h"

#include "captionmarkup.h"
#include "olecolor.h"
#include "panelsurface.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int Twips = 15;
constexpr qint32 Max16 = 32767;

qint32 clampTwips(qint64 v)
{
    return qint32(std::clamp<qint64>(v, 0, Max16));
}

// Half, rounded down, also for negative numerators.
qint64 floorHalf(qint64 v)
{
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}

} // namespace

qint32 availableWidth(const PanelProps &props, int panelWidthTwips)
{
    const qint64 base = props.AutoResize ? props.MaxWidth : qMin(panelWidthTwips, int(Max16));
    return qint32(base - 2LL * props.BorderTextDistance * Twips);
}

QSize autoSizeTwips(const QVector<CaptionLine> &lines, const PanelProps &props)
{
    qint64 total = 0;
    qint64 widest = 0;
    for (const CaptionLine &line : lines) {
        total += line.Height;
        widest = qMax<qint64>(widest, line.Width);
    }
    const qint64 need = 4LL * Twips + total;
    const qint64 height = (props.MaxHeight != 0 && need > props.MaxHeight)
                              ? props.MaxHeight
                              : qMax<qint64>(props.MinHeight, need);
    // One line or many, the width stays within MaxWidth and never below MinWidth;
    // a single line that does not fit is not left at whatever width it had before.
    const qint64 wanted = qMin<qint64>(widest + 6LL * Twips, props.MaxWidth);
    const qint64 width = qMax<qint64>(props.MinWidth, wanted);
    return QSize(clampTwips(width), clampTwips(height));
}

PanelPainter::PanelPainter(PanelSurface &surface, const PanelProps &props,
                           const QVector<CaptionLine> &lines, const QSize &sizePixels)
    : m_surface(surface), m_props(props), m_lines(lines), m_pixels(sizePixels),
      m_W(sizePixels.width() * Twips), m_H(sizePixels.height() * Twips),
      m_D(props.BorderTextDistance * Twips)
{
}

void PanelPainter::printLines(qint32 totalHeight)
{
    if (m_props.WithShadow)
        printPass(true, totalHeight);
    m_surface.foreColor = OleColor::toQColor(m_props.ForeColor);
    printPass(false, totalHeight);
}

qint32 PanelPainter::verticalStart(qint32 totalHeight) const
{
    const qint64 free = qint64(m_H) - totalHeight;
    switch (m_props.Alignment) {
    case 4: case 5: case 6: case 7:
        return qint32(floorHalf(free));
    case 8: case 9: case 10: case 11:
        return qint32(qMax<qint64>(free, std::numeric_limits<qint32>::min()));
    default:
        // Top alignments, and any value outside the table: start at the top.
        return 0;
    }
}

void PanelPainter::printPass(bool shadow, qint32 totalHeight)
{
    m_PassStart = true;
    m_surface.x = 0;
    m_surface.y = qMax(0, verticalStart(totalHeight));
    if (shadow)
        m_surface.y += double(m_props.ShadowDistance) * Twips;
    for (int i = 1; i <= m_lines.size(); ++i) {
        // Lines below the panel cannot be seen; their wrap still counted for the sizes.
        if (m_surface.y >= m_H)
            break;
        m_CurrentLine = i;
        const CaptionLine &line = m_lines.at(i - 1);
        PrintMarkup(line.Text, line.Width, shadow);
        m_surface.newLine();
    }
}

bool PanelPainter::isBlock() const
{
    return m_props.Alignment == 3 || m_props.Alignment == 7 || m_props.Alignment == 11;
}

void PanelPainter::PrintMarkup(const QString &text, qint32 lineWidth, bool shadow)
{
    double gap = 0;
    switch (m_props.Alignment) {
    case 0: case 4: case 8:
        m_surface.x = m_D;
        break;
    case 1: case 5: case 9:
        m_surface.x = double(m_D + floorHalf(qint64(m_W) - 2LL * m_D - lineWidth));
        break;
    case 2: case 6: case 10:
        m_surface.x = double(qint64(m_W) - m_D - lineWidth);
        break;
    case 3: case 7: case 11: {
        m_surface.x = m_D;
        const int spaces = int(text.count(QLatin1Char(' ')));
        if (spaces > 0)
            gap = (double(m_W) - 2.0 * m_D - CaptionMarkup::MeasureMarkup(text, m_surface)) / spaces;
        break;
    }
    default:
        break;   // unplaced: the line starts where the print position stands
    }
    if (shadow) {
        m_surface.x += double(m_props.ShadowDistance) * Twips;
        m_surface.foreColor = OleColor::toQColor(m_props.ShadowColor);
    }

    const bool justified = isBlock() && !text.endsWith(QLatin1Char('\r')) &&
                           !text.endsWith(QLatin1Char('\n')) && m_CurrentLine != m_lines.size();
    QString piece;
    int i = 0;
    while (i < text.size()) {
        char which = 0;
        bool on = false;
        if (CaptionMarkup::styleTagAt(text, i, &which, &on)) {
            flush(piece, justified, gap, shadow);
            m_surface.applyStyle(which, on);
            i += 4;
        } else if (CaptionMarkup::colourTagAt(text, i)) {
            QString number;
            const int end = CaptionMarkup::colourTagEnd(text, i, &number);
            flush(piece, justified, gap, shadow);
            if (!shadow)
                m_surface.foreColor = OleColor::toQColor(CaptionMarkup::colourFromNumberText(number));
            i = end;
        } else {
            const QChar c = text.at(i++);
            if (c != QLatin1Char('\r'))
                piece += c;
        }
    }
    flush(piece, justified, gap, shadow);
}

void PanelPainter::flush(QString &piece, bool justified, double gap, bool shadow)
{
    if (justified)
        PrintPiece(piece, gap, shadow);
    else
        m_surface.print(piece);
    piece.clear();
}

void PanelPainter::PrintPiece(const QString &piece, double gap, bool shadow)
{
    if (m_PassStart || m_CurrentLine != m_PieceLine) {
        m_PieceX = m_D + (shadow ? m_props.ShadowDistance * Twips : 0);
        m_PassStart = false;
    }
    m_surface.x = m_PieceX;
    qint64 printedWidth = 0;   // the width of the piece's non-space characters so far
    int spaces = 0;
    for (QChar c : piece) {
        if (c == QLatin1Char(' ')) {
            ++spaces;
            m_surface.x = m_PieceX + double(printedWidth) + gap * spaces;
        } else {
            m_surface.print(QString(c));
            printedWidth += m_surface.charWidth(c);
        }
    }
    m_PieceX = qint32(qBound<double>(std::numeric_limits<qint32>::min(), std::round(m_surface.x),
                                     std::numeric_limits<qint32>::max()));
    m_PieceLine = m_CurrentLine;
}

void PanelPainter::DrawFrame()
{
    m_surface.x = 0;
    m_surface.y = 0;
    const int w = m_pixels.width();
    const int h = m_pixels.height();
    if (w <= 0 || h <= 0)
        return;
    auto colour = [](quint32 ole) { return OleColor::toQColor(ole); };
    auto outerTopLeft = [&](quint32 c) {
        m_surface.box(0, 0, 0, h - 1, colour(c));
        m_surface.box(0, 0, w - 1, 0, colour(c));
    };
    auto innerTopLeft = [&](quint32 c) {
        m_surface.box(1, 1, 1, h - 2, colour(c));
        m_surface.box(1, 1, w - 2, 1, colour(c));
    };
    auto outerBottomRight = [&](quint32 c) {
        m_surface.box(0, h - 1, w - 1, h - 1, colour(c));
        m_surface.box(w - 1, 0, w - 1, h - 1, colour(c));
    };
    auto innerBottomRight = [&](quint32 c) {
        m_surface.box(1, h - 2, w - 2, h - 2, colour(c));
        m_surface.box(w - 2, 1, w - 2, h - 2, colour(c));
    };
    constexpr quint32 Shadow = OleColor::ButtonShadow;
    constexpr quint32 Highlight = OleColor::ButtonHighlight;
    switch (m_props.FrameStyle) {
    case 1:
        outerTopLeft(Shadow);
        outerBottomRight(Highlight);
        break;
    case 2:
        outerTopLeft(Highlight);
        outerBottomRight(Shadow);
        break;
    case 3:
        outerTopLeft(Shadow);
        innerTopLeft(Highlight);
        outerBottomRight(Highlight);
        innerBottomRight(Shadow);
        break;
    case 4:
        outerTopLeft(Highlight);
        innerTopLeft(Shadow);
        outerBottomRight(Shadow);
        innerBottomRight(Highlight);
        break;
    case 5:
        outerTopLeft(Shadow);
        innerTopLeft(0x00000000u);
        outerBottomRight(0x00FFFFFFu);
        innerBottomRight(OleColor::Light3D);
        break;
    case 6: {
        const int b = qMax(0, m_props.BorderWidth - 1);
        const QColor c = colour(m_props.BorderColor);
        m_surface.box(0, 0, b, h - 1, c);               // left
        m_surface.box(0, 0, w - 1, b, c);               // top
        m_surface.box(0, h - 1, w - 1, h - 1 - b, c);   // bottom
        m_surface.box(w - 1, 0, w - 1 - b, h - 1, c);   // right
        break;
    }
    default:
        break;
    }
}
