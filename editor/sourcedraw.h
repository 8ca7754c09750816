#pragma once

#include "isourcedraw.h"

#include <QBrush>
#include <QPen>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QString>

#include <array>
#include <vector>

class Routine;
class SourceView;

// Paints the margin of a code window's source view and the marks over its text, from
// the line data of each row (flag word in slot 1, bookmark in slot 0), the routine's
// breakpoints and the stack pane's levels.
//
// The view runs the drawing sequence twice per paint, once clipped to the margin and
// once to the text, so everything is drawn in device coordinates and the per-paint
// state starts afresh in PreDraw. Margin pictures, guides and bars are drawn while the
// rows are visited; the annotations (per-command breakpoint marks, the outline of a
// stack level's command, end-of-routine rules) are collected and drawn in PostDraw,
// after the text, ANDed with what is there so the text shows through them.
//
// The pictures are 12 x 12 and stand at x = 3; the margin's last cell is left to the
// line-selection strip, so a margin of (MarginWidth - 1) x CharWidth >= 16 pixels holds
// them (the red re-parse mark needs 9).
//
// Construction installs the drawer as the view's drawing callback; destruction takes
// it out again when the view still has it.
class SourceDraw : public ISourceDraw
{
public:
    // Something drawn over the text at the end of a paint. Coordinates follow the
    // rectangle convention of the marks: right and bottom are just outside. A zero
    // width or height makes it a rule from (left, top) up to, not including, (right, bottom).
    struct CodeAnnotation
    {
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
        QBrush Brush;
        QPen Pen;
        QString Key;   // "BP:" line "," column, "ST:" line [":" row column], "EOM:" line
    };

    explicit SourceDraw(SourceView *view);
    ~SourceDraw() override;
    SourceDraw(const SourceDraw &) = delete;
    SourceDraw &operator=(const SourceDraw &) = delete;

    // The document whose breakpoints and stack levels are drawn; null draws only what
    // the line data alone tells.
    void setRoutine(Routine *routine) { m_routine = routine; }
    Routine *routine() const { return m_routine; }

    void PreDraw(SourceDrawRecord &record) override;
    void PreDrawPage(SourceDrawRecord &record) override;
    void PreDrawLine(SourceDrawRecord &record) override;
    void PostDrawPage(SourceDrawRecord &record) override;
    void PostDraw(SourceDrawRecord &record) override;

private:
    enum Picture {
        Break,
        BreakDisabled,
        MultiBreak,
        MultiBreakDisabled,
        MultiBreakMixed,
        ExecPtr,
        ExecPtrL,
        StackPtr,
        Bookmark,
        PictureCount
    };

    // What one row needs from the document, read once per row.
    struct Row
    {
        int line;
        int top;
        int height;
        int middle;        // top + height / 2
        bool firstRow;     // the row starts its line
        bool lastRow;      // the row ends its line
        qint32 flags;      // slot 1 of the line
        bool bookmark;     // slot 0 of the line has its bookmark bit
        bool collapsed;    // the line heads a collapsed block: lines under it are hidden
    };

    int breakpointPicture(const SourceDrawRecord &record, const Row &row);
    void addStackOutline(const SourceDrawRecord &record, const Row &row);
    void drawBlockMarks(QPainter &painter, const Row &row, qint32 previousFlags) const;
    void addEndRule(const SourceDrawRecord &record, const Row &row);
    // The pictures on a line's first row, the bar on its further rows, the red mark.
    void drawPictures(QPainter &painter, const Row &row, int breakpoint) const;
    void addAnnotation(CodeAnnotation annotation);
    // Right edge x of the character at that column of a line, on the row that holds it.
    int rightOfColumn(int column, int line, int &y) const;
    static void drawAnnotation(QPainter &painter, const CodeAnnotation &annotation);

    QPointer<SourceView> m_view;
    Routine *m_routine = nullptr;
    std::array<QPixmap, PictureCount> m_pictures;
    std::vector<CodeAnnotation> m_annotations;   // in the order added; drawn last first
    QSet<QString> m_annotationKeys;              // the first annotation of a key wins
    // Per paint pass, set in PreDraw.
    // Which parts of the control this pass can reach: nothing is worked out for a part
    // the painter is clipped away from.
    bool m_reachesMargin = true;
    bool m_reachesText = true;
    int m_marginEdge = 0;      // (MarginWidth - 1) x CharWidth: where the selection strip starts
    int m_lastLine = -1;       // the document's last line always gets its end-of-routine rule
    bool m_linewise = false;   // the execution point steps by lines
    int m_markedLine = -1;     // the line whose breakpoint marks were added on an earlier row
};
