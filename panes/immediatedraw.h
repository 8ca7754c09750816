#pragma once

#include "isourcedraw.h"

#include <QBrush>
#include <QPointer>

class SourceView;

// The drawing callback of the immediate pane's two views: every row in the view's own
// colours, typed command lines (slot 1 of the line is 1) in blue, and a small red bar
// at the right of the margin beside each continuation row of a wrapped line, so that a
// long output line is not read as several. Bookmarked lines get a mark in the margin
// on their first row.
//
// The view runs the sequence once for its margin and once for its text, each pass
// clipped to its part; the bar lies in the margin, so the text pass clips it away.
//
// Construction installs the drawer as the view's drawing callback; destruction takes it
// out again when the view still has it.
class ImmediateDraw : public ISourceDraw
{
public:
    explicit ImmediateDraw(SourceView *view);
    ~ImmediateDraw() override;
    ImmediateDraw(const ImmediateDraw &) = delete;
    ImmediateDraw &operator=(const ImmediateDraw &) = delete;

    SourceView *View() const { return m_view; }

    void PreDraw(SourceDrawRecord &record) override;
    void PreDrawPage(SourceDrawRecord &record) override;
    void PreDrawLine(SourceDrawRecord &record) override;
    void PostDrawPage(SourceDrawRecord &record) override;
    void PostDraw(SourceDrawRecord &record) override;

    // The colours the rows are drawn in.
    static QColor commandColour() { return QColor(0, 0, 255); }
    static QColor barColour() { return QColor(255, 0, 0); }

private:
    QPointer<SourceView> m_view;
    QBrush m_barBrush;      // made once per pass, not once per row
};
