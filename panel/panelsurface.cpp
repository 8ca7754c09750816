#include "panelsurface.h"

#include <cmath>

namespace {

constexpr int Twips = 15;
// A tab in a caption (a routine line starts its commands with one) is this many blanks wide.
constexpr int TabSpaces = 4;

// Full hinting gives whole-pixel advances and no kerning keeps pairs from changing
// them, so a string is exactly as wide as the sum of its characters, which the wrap,
// the justification and the self-sizing all add up.
QFont measurableFont(QFont font)
{
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setKerning(false);
    return font;
}

// Every measurement and every drawing goes through an image of the same resolution,
// so what was measured is what is drawn, whatever the screen's font resolution.
const QImage &referenceDevice()
{
    static const QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    return device;
}

} // namespace

PanelSurface::StyleMetrics::StyleMetrics(const QFont &font)
    : metrics(font, &referenceDevice())
    , raw(QRawFont::fromFont(QFont(font, &referenceDevice())))
{
    std::fill(std::begin(latin1), std::end(latin1), -1);
    std::fill(std::begin(latin1Glyphs), std::end(latin1Glyphs), -1);
}

PanelSurface::PanelSurface()
{
    setFont(QFont());
}

PanelSurface::~PanelSurface() = default;

void PanelSurface::resize(const QSize &size, qreal devicePixelRatio)
{
    const bool wasPainting = painting();
    if (wasPainting)
        end();
    m_size = size.expandedTo(QSize(0, 0));
    const QSize device = (QSizeF(m_size) * devicePixelRatio).toSize();
    m_image = QImage(device.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    m_image.setDevicePixelRatio(devicePixelRatio);
    m_image.setDotsPerMeterX(referenceDevice().dotsPerMeterX());
    m_image.setDotsPerMeterY(referenceDevice().dotsPerMeterY());
    if (wasPainting)
        begin();
}

void PanelSurface::begin()
{
    if (m_painter || m_image.isNull())
        return;
    m_painter = std::make_unique<QPainter>(&m_image);
    m_painter->setFont(m_font);
}

void PanelSurface::end()
{
    m_painter.reset();
}

void PanelSurface::clear(const QColor &back, const QPixmap &picture)
{
    if (m_painter) {
        m_painter->setCompositionMode(QPainter::CompositionMode_Source);
        m_painter->fillRect(QRect(QPoint(0, 0), m_image.deviceIndependentSize().toSize()), back);
        m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (!picture.isNull())
            m_painter->drawPixmap(0, 0, picture);
    }
    x = 0;
    y = 0;
}

// Each character is drawn where the measuring put it, so no shaping of a run (a tab
// stop, a ligature, a control character drawn as a box) can make the drawn text wider
// than the panel sized itself for. The font's own glyphs go out as one glyph run per
// stretch of drawable characters, each glyph at its measured place; only a character
// the font lacks (drawn by a fallback font) and a pair of halves are drawn on their own.
void PanelSurface::print(const QString &text)
{
    if (text.isEmpty())
        return;
    if (!m_painter) {
        x += textWidth(text);
        return;
    }
    m_painter->setPen(foreColor);
    StyleMetrics &style = metrics();
    const int baseline = int(std::lround(y / Twips)) + style.metrics.ascent();
    m_runGlyphs.clear();
    m_runPositions.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const qint32 width = charWidth(c);
        const int px = int(std::lround(x / Twips));
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            // One character in two halves: drawn whole inside the room the two measured.
            flushRun(style);
            const qint32 both = width + charWidth(text.at(i + 1));
            m_painter->save();
            m_painter->setClipRect(QRect(px, baseline - style.metrics.ascent(),
                                         int(std::lround(both / double(Twips))), style.metrics.height()));
            m_painter->drawText(QPoint(px, baseline), text.mid(i, 2));
            m_painter->restore();
            x += both;
            ++i;
            continue;
        }
        if (!drawable(c)) {
            // Not drawn, but its measured room is kept: the run ends here, so its underline
            // and strike-out stop before the gap instead of running through it.
            flushRun(style);
        } else if (const quint32 glyph = glyphOf(style, c)) {
            m_runGlyphs.push_back(glyph);
            m_runPositions.push_back(QPointF(px, baseline));
        } else {
            m_painter->drawText(QPoint(px, baseline), QString(c));
        }
        x += width;
    }
    flushRun(style);
}

void PanelSurface::flushRun(StyleMetrics &style)
{
    if (m_runGlyphs.isEmpty())
        return;
    // Underline and strike-out start where the run is placed: at its first glyph.
    const QPointF origin = m_runPositions.front();
    for (QPointF &p : m_runPositions)
        p -= origin;
    QGlyphRun run;
    run.setRawFont(style.raw);
    run.setGlyphIndexes(m_runGlyphs);
    run.setPositions(m_runPositions);
    run.setUnderline(m_font.underline());
    run.setStrikeOut(m_font.strikeOut());
    m_painter->drawGlyphRun(origin, run);
    m_runGlyphs.clear();
    m_runPositions.clear();
}

quint32 PanelSurface::glyphOf(StyleMetrics &style, QChar c)
{
    const ushort code = c.unicode();
    qint32 *slot = nullptr;
    if (code < 256) {
        slot = &style.latin1Glyphs[code];
        if (*slot >= 0)
            return quint32(*slot);
    } else {
        const auto it = style.otherGlyphs.constFind(code);
        if (it != style.otherGlyphs.constEnd())
            return *it;
    }
    quint32 glyph = 0;
    int count = 1;
    if (!style.raw.isValid() || !style.raw.supportsCharacter(c) ||
        !style.raw.glyphIndexesForChars(&c, 1, &glyph, &count) || count != 1)
        glyph = 0;
    if (slot)
        *slot = qint32(glyph);
    else
        style.otherGlyphs.insert(code, glyph);
    return glyph;
}

bool PanelSurface::drawable(QChar c)
{
    return c.unicode() >= 0x20 && c.unicode() != 0x7F && !c.isSurrogate();
}

void PanelSurface::newLine()
{
    x = 0;
    y += lineHeight();
}

void PanelSurface::box(int x1, int y1, int x2, int y2, const QColor &colour)
{
    if (!m_painter)
        return;
    const QRect rect(QPoint(qMin(x1, x2), qMin(y1, y2)), QPoint(qMax(x1, x2), qMax(y1, y2)));
    m_painter->fillRect(rect, colour);
}

void PanelSurface::setFont(const QFont &font)
{
    const QFont next = measurableFont(font);
    // Character advances depend on family and size; a new one starts the caches over.
    if (next.family() != m_font.family() || next.pointSizeF() != m_font.pointSizeF() ||
        next.pixelSize() != m_font.pixelSize() || next.strikeOut() != m_font.strikeOut() ||
        next.styleName() != m_font.styleName() || !m_styles[0]) {
        for (auto &style : m_styles)
            style.reset();
    }
    m_font = next;
    fontChanged();
}

void PanelSurface::applyStyle(char which, bool on)
{
    switch (which) {
    case 'b':
        m_font.setBold(on);
        break;
    case 'i':
        m_font.setItalic(on);
        break;
    case 'u':
        m_font.setUnderline(on);
        break;
    default:
        return;
    }
    fontChanged();
}

void PanelSurface::fontChanged()
{
    m_styleKey = (m_font.bold() ? 1 : 0) | (m_font.italic() ? 2 : 0) | (m_font.underline() ? 4 : 0);
    if (m_painter)
        m_painter->setFont(m_font);
}

PanelSurface::StyleMetrics &PanelSurface::metrics()
{
    auto &style = m_styles[m_styleKey];
    if (!style)
        style = std::make_unique<StyleMetrics>(m_font);
    return *style;
}

qint32 PanelSurface::charWidth(QChar c)
{
    StyleMetrics &style = metrics();
    const ushort code = c.unicode();
    if (code < 256) {
        qint32 &cached = style.latin1[code];
        if (cached < 0) {
            // A tab is a fixed gap, not a stop: the wrap adds widths without positions.
            if (c == QLatin1Char('\t'))
                cached = TabSpaces * style.metrics.horizontalAdvance(QLatin1Char(' ')) * Twips;
            else
                cached = drawable(c) ? style.metrics.horizontalAdvance(c) * Twips : 0;
        }
        return cached;
    }
    if (c.isSurrogate()) {
        // The pair's room: the replacement character's width for the first half.
        return c.isHighSurrogate() ? style.metrics.horizontalAdvance(QChar(0xFFFD)) * Twips : 0;
    }
    auto it = style.others.constFind(code);
    if (it != style.others.constEnd())
        return *it;
    const qint32 width = style.metrics.horizontalAdvance(c) * Twips;
    style.others.insert(code, width);
    return width;
}

qint32 PanelSurface::lineHeight()
{
    return metrics().metrics.height() * Twips;
}

bool PanelSurface::bold() const
{
    return m_font.bold();
}

bool PanelSurface::italic() const
{
    return m_font.italic();
}

bool PanelSurface::underline() const
{
    return m_font.underline();
}
