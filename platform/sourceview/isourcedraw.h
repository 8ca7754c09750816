#pragma once

#include <QColor>

class QPainter;

// The drawing record the control passes to its drawing callback. Coordinates
// are device pixels of the control: x = 0 is the left edge of the margin, y = 0
// the top of the text area. Colours are plain QColors.
struct SourceDrawRecord
{
    QPainter *painter = nullptr;
    int line = -1;          // document line of the row (-1 outside PreDrawLine)
    int top = 0;            // top of the row
    int height = 0;         // height of the row (the control's CharHeight)
    int firstColumn = 0;    // first column of the row: 0 on a line's first row
    int endColumn = 0;      // column after the row's last character
    int textLeft = 0;       // left x of the text area (MarginWidth x CharWidth)
    int textRight = 0;      // right x of the text area
    // Set by PreDrawLine to paint the row's text in foreColour on backColour
    // instead of the token colours.
    bool colourFlag = false;
    QColor foreColour;
    QColor backColour;
};

// Per-paint drawing hooks: PreDraw, PreDrawPage, then PreDrawLine once for each
// display row (a wrapped line has several), PostDrawPage, PostDraw. The margin
// and the text area are painted in separate passes; each pass runs the whole
// sequence with a painter clipped to its part, so a callback simply draws in
// device coordinates and keeps no state between passes.
class ISourceDraw
{
public:
    virtual ~ISourceDraw() = default;

    virtual void PreDraw(SourceDrawRecord &record) = 0;
    virtual void PreDrawPage(SourceDrawRecord &record) = 0;
    virtual void PreDrawLine(SourceDrawRecord &record) = 0;
    virtual void PostDrawPage(SourceDrawRecord &record) = 0;
    virtual void PostDraw(SourceDrawRecord &record) = 0;
};
