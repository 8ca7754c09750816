#pragma once

#include "isourcedraw.h"

#include <vector>

class QPaintEvent;
class QPainter;
class QWidget;
class SourceView;

// Paints a source view: the margin and the text, each in a pass that runs the
// drawing callback's whole sequence (PreDraw, PreDrawPage, PreDrawLine per
// display row, PostDrawPage, PostDraw) with a painter in the control's device
// pixels. The text pass draws each row in the colours the callback chose, the
// selection over them and the caret (a block in overtype), and leaves the
// callback's PostDraw the last word over the text, for annotations.
class SourceRenderer
{
public:
    explicit SourceRenderer(SourceView &view);

    void paintMargin(QPaintEvent *event, QWidget *margin);
    void paintText(QPaintEvent *event);

private:
    // One display row: a line, or one row of a wrapped line.
    struct Row
    {
        int line;
        int top;
        int height;
        int firstColumn;
        int endColumn;
    };
    std::vector<Row> visibleRows(int fromY, int toY) const;
    SourceDrawRecord pageRecord(QPainter &painter) const;
    void runDrawPass(QPainter &painter, const std::vector<Row> &rows,
                     std::vector<SourceDrawRecord> *records);

    SourceView &m_view;
};
