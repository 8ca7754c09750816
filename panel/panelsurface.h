#pragma once

#include "itextmeasure.h"
#include "lumopanel_global.h"

#include <QColor>
#include <QFontMetrics>
#include <QFont>
#include <QGlyphRun>
#include <QRawFont>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSize>

#include <memory>

// The panel's drawing surface: a kept image at the panel's size, a print position in
// twips, a font and a fore colour. It measures with its font, set to full hinting and
// no kerning so that character advances add up exactly to a string's advance.
//
//     PanelSurface s;
//     s.resize(QSize(200, 40), 1.0);
//     s.begin();
//     s.clear(OleColor::toQColor(0x8000000F), QPixmap());
//     s.print(QStringLiteral("Hi"));
//     s.end();
//
// Painting happens only between begin() and end(); one painter is held for the
// whole redraw.
class LUMOPANEL_EXPORT PanelSurface : public ITextMeasure
{
public:
    PanelSurface();
    ~PanelSurface() override;

    // Reallocates the image for a panel of size logical pixels (content is undefined
    // until clear()).
    void resize(const QSize &size, qreal devicePixelRatio);
    QSize size() const { return m_size; }
    const QImage &image() const { return m_image; }

    void begin();
    void end();
    bool painting() const { return m_painter != nullptr; }

    // Fills with the back colour, draws the picture at 0,0 at its natural size and
    // moves the print position to 0,0.
    void clear(const QColor &back, const QPixmap &picture);
    // Draws text at the print position (transparently), then moves x by its width.
    void print(const QString &text);
    // x = 0, y += one line of the current font.
    void newLine();
    // A filled rectangle between two pixel corners, both inclusive, in any order.
    void box(int x1, int y1, int x2, int y2, const QColor &colour);

    double x = 0;            // print position, twips (fractional while justifying)
    double y = 0;
    QColor foreColor = Qt::black;

    // The surface font; tags change its style while wrapping and printing.
    void setFont(const QFont &font);
    const QFont &font() const { return m_font; }

    // ITextMeasure, in twips with the current font.
    qint32 charWidth(QChar c) override;
    qint32 lineHeight() override;
    void applyStyle(char which, bool on) override;
    bool bold() const override;
    bool italic() const override;
    bool underline() const override;

private:
    // Characters that leave a mark: not control characters, not a half of a pair.
    static bool drawable(QChar c);
    void fontChanged();

    QSize m_size;
    QImage m_image;
    std::unique_ptr<QPainter> m_painter;
    QFont m_font;
    struct StyleMetrics
    {
        QFontMetrics metrics;
        qint32 latin1[256];                      // advances in twips, -1 until measured
        QHash<ushort, qint32> others;
        QRawFont raw;                            // the font's own glyphs at the measured size
        qint32 latin1Glyphs[256];                // glyph indexes, -1 until looked up, 0 = none
        QHash<ushort, quint32> otherGlyphs;
        explicit StyleMetrics(const QFont &font);
    };
    StyleMetrics &metrics();
    // The glyph of the style's font for c; 0 when the font has none.
    quint32 glyphOf(StyleMetrics &style, QChar c);
    // Draws the glyphs gathered by print() and starts a new run.
    void flushRun(StyleMetrics &style);

    int m_styleKey = 0;                          // bold | italic<<1 | underline<<2
    std::unique_ptr<StyleMetrics> m_styles[8];   // per style, for the current family and size
    QList<quint32> m_runGlyphs;                  // the run print() is gathering
    QList<QPointF> m_runPositions;
};
