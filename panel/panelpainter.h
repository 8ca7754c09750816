#pragma once

#include "captionline.h"
#include "lumopanel_global.h"

#include <QFont>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QVector>

class PanelSurface;

// The panel's properties as the redraw reads them: a plain copy, so the drawing
// needs no widget.
struct LUMOPANEL_EXPORT PanelProps
{
    bool WithShadow = false;
    quint32 ShadowColor = 0x80000010u;
    int ShadowDistance = 2;           // pixels
    quint32 ForeColor = 0;
    bool AutoResize = false;
    int MaxWidth = 0;                 // twips
    int MaxHeight = 0;
    int BorderWidth = 1;              // pixels
    quint32 BorderColor = 0;
    int MinWidth = 0;                 // twips
    int MinHeight = 0;
    int BorderTextDistance = 3;       // pixels
    QString LineBreakChars = QStringLiteral("-");
    int FrameStyle = 1;
    QString Caption;
    int Alignment = 5;
    quint32 BackColor = 0x8000000Fu;
    QPixmap Picture;
    QFont Font;
};

// The size, in twips, that self-sizing gives a panel of currentSize (twips) for
// these lines: height first (capped at MaxHeight when that is not 0), then the width
// (several lines: at most MaxWidth, at least MinWidth; one line that fits with 4 px
// to spare: its width + 6 px, at least MinWidth; one line that does not fit: as many
// lines). Results saturate at 32767 twips.
LUMOPANEL_EXPORT QSize autoSizeTwips(const QVector<CaptionLine> &lines, const PanelProps &props);

// The room a line may take: the panel width (or MaxWidth when self-sizing) less
// the border text distance on both sides, in twips.
LUMOPANEL_EXPORT qint32 availableWidth(const PanelProps &props, int panelWidthTwips);

// Prints wrapped lines and the frame on a surface that is between begin() and end().
// Positions are twips; W and H are the panel size in twips.
class LUMOPANEL_EXPORT PanelPainter
{
public:
    // sizePixels: the panel's size (the surface's logical size).
    PanelPainter(PanelSurface &surface, const PanelProps &props, const QVector<CaptionLine> &lines,
                 const QSize &sizePixels);

    // Both passes: the shadow (when WithShadow), then the text from ForeColor.
    // Lines whose top lies below the panel are not printed.
    void printLines(qint32 totalHeight);
    void DrawFrame();

    // One line, placed by Alignment (for tests of a single pass).
    void PrintMarkup(const QString &text, qint32 lineWidth, bool shadow);

private:
    void printPass(bool shadow, qint32 totalHeight);
    qint32 verticalStart(qint32 totalHeight) const;
    void flush(QString &piece, bool justified, double gap, bool shadow);
    void PrintPiece(const QString &piece, double gap, bool shadow);
    bool isBlock() const;

    PanelSurface &m_surface;
    const PanelProps &m_props;
    const QVector<CaptionLine> &m_lines;
    const QSize m_pixels;        // panel size, pixels
    const qint32 m_W;            // panel size, twips
    const qint32 m_H;
    const qint32 m_D;            // border text distance, twips

    int m_CurrentLine = 0;       // 1-based index of the line being printed
    bool m_PassStart = false;    // the next justified piece starts a line
    qint32 m_PieceX = 0;         // where the next piece of a justified line starts
    int m_PieceLine = 0;         // the line of the last justified piece
};
