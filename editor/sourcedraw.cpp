#include "sourcedraw.h"

#include "docservices.h"
#include "imainwindow.h"
#include "linedata.h"
#include "routine.h"
#include "sourcedocument.h"
#include "sourceview.h"
#include "stacklevel.h"
#include "vantrelerror.h"

#include <QPainter>

#include <algorithm>

// The pictures are compiled into this static library; nothing else refers to them, so
// without this call the linker would leave them out of the program.
static void initMarginPictures()
{
    Q_INIT_RESOURCE(editor);
}

namespace {

const QColor kRed(255, 0, 0);
const QColor kDarkRed(128, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 255, 0);
const QColor kOlive(192, 192, 0);
const QColor kLightGrey(192, 192, 192);
const QColor kBlack(0, 0, 0);

// The marks keep the rectangle and rule conventions they were laid out in: a rule stops
// one pixel short of its end point and a rectangle's right and bottom lie just outside it.
// QPainter includes both, so the conversion happens here and nowhere else.
void drawRule(QPainter &painter, int x1, int y1, int x2, int y2)
{
    if (x1 == x2 && y1 == y2)
        return;
    const int dx = x2 > x1 ? 1 : (x2 < x1 ? -1 : 0);
    const int dy = y2 > y1 ? 1 : (y2 < y1 ? -1 : 0);
    painter.drawLine(x1, y1, x2 - dx, y2 - dy);
}

void drawFrame(QPainter &painter, int left, int top, int right, int bottom)
{
    // With a one-pixel pen QPainter strokes width + 1 by height + 1 pixels.
    painter.drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
}

QPen thinPen(const QColor &colour)
{
    QPen pen(colour);
    pen.setWidth(1);
    return pen;
}

} // namespace

SourceDraw::SourceDraw(SourceView *view)
    : m_view(view)
{
    initMarginPictures();
    static const char *const names[PictureCount] = {
        "Break",   "BreakDisabled", "MultiBreak", "MultiBreakDisabled", "MultiBreakMixed",
        "ExecPtr", "ExecPtrL",      "StackPtr",   "Bookmark",
    };
    for (int i = 0; i < PictureCount; ++i)
        m_pictures[i] = QPixmap(QStringLiteral(":/margin/%1.png").arg(QLatin1String(names[i])));
    if (m_view)
        m_view->setDrawCallback(this);
}

SourceDraw::~SourceDraw()
{
    if (m_view && m_view->drawCallback() == this)
        m_view->setDrawCallback(nullptr);
}

void SourceDraw::PreDraw(SourceDrawRecord &record)
{
    m_annotations.clear();
    m_annotationKeys.clear();
    m_markedLine = -1;
    m_reachesMargin = m_reachesText = true;
    if (record.painter && record.painter->hasClipping()) {
        const QRectF clip = record.painter->clipBoundingRect();
        m_reachesMargin = clip.left() < record.textLeft;
        m_reachesText = clip.right() > record.textLeft;
    }
    if (!m_view)
        return;
    m_marginEdge = (m_view->MarginWidth() - 1) * m_view->CharWidth();
    m_lastLine = m_view->Document()->NumLines() - 1;
    IMainWindow *main = mainWindow();
    m_linewise = main && main->Linewise();
}

void SourceDraw::PreDrawPage(SourceDrawRecord &)
{
}

void SourceDraw::PreDrawLine(SourceDrawRecord &record)
{
    if (!m_view || !record.painter)
        return;
    SourceDocument *document = m_view->Document();
    if (record.line < 0 || record.line >= document->NumLines())
        return;
    Row row;
    row.line = record.line;
    row.top = record.top;
    row.height = record.height > 0 ? record.height : m_view->CharHeight();
    row.middle = row.top + row.height / 2;
    row.firstRow = record.firstColumn == 0;
    row.lastRow = record.endColumn >= document->GetLineLength(row.line);
    row.flags = document->GetLineData(row.line, LineData::kFlagSlot);
    const qint32 control = document->GetLineData(row.line, LineData::kControlSlot);
    row.bookmark = control & LineData::kBookmark;
    row.collapsed = (control & LineData::kBlockHeader) && (control & LineData::kBlockCollapsed);
    const qint32 previousFlags =
        row.line > 0 ? document->GetLineData(row.line - 1, LineData::kFlagSlot) : 0;

    QPainter &painter = *record.painter;
    painter.save();
    int breakpoint = -1;
    try {
        breakpoint = breakpointPicture(record, row);
        addStackOutline(record, row);
    } catch (const VantrelError &) {
        // The routine could not say where its commands are: the row goes without the
        // marks of its commands rather than the paint failing.
    }
    if (m_reachesMargin)
        drawBlockMarks(painter, row, previousFlags);
    addEndRule(record, row);
    if (m_reachesMargin)
        drawPictures(painter, row, breakpoint);
    painter.restore();
}

void SourceDraw::PostDrawPage(SourceDrawRecord &)
{
}

void SourceDraw::PostDraw(SourceDrawRecord &record)
{
    if (record.painter && !m_annotations.empty()) {
        QPainter &painter = *record.painter;
        painter.save();
        // ANDed with the text: a mark darkens the background and leaves the letters legible.
        painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        for (auto it = m_annotations.rbegin(); it != m_annotations.rend(); ++it)
            drawAnnotation(painter, *it);
        painter.restore();
    }
    m_annotations.clear();
    m_annotationKeys.clear();
}

// The picture for the line's breakpoints, or -1; the marks of its commands are collected.
int SourceDraw::breakpointPicture(const SourceDrawRecord &record, const Row &row)
{
    if (!m_routine || !(row.flags & LineData::kBreakpoint))
        return -1;
    const std::vector<BreakpointPtr> breakpoints = m_routine->BPsOnLine(row.line + 1);
    // A row adds the marks of every command from its own on, so the later rows of the
    // same line would ask the routine again for nothing new.
    const bool addMarks = m_reachesText && m_markedLine != row.line && m_routine->engine();
    m_markedLine = row.line;
    int enabled = 0;
    int disabled = 0;
    for (const BreakpointPtr &bp : breakpoints) {
        ++(bp->Enabled ? enabled : disabled);
        if (!addMarks || bp->Cmd <= 0)
            continue;
        const int position = m_routine->PosOfCommand(row.line + 1, bp->Cmd);   // 1-based
        if (position < 1 || position - 1 < record.firstColumn)
            continue;
        // Under the command's first character, in the lower half of its cell.
        int y = 0;
        const int x = rightOfColumn(position - 1, row.line, y);
        CodeAnnotation mark;
        mark.left = x - 6;
        mark.right = x - 2;
        mark.top = y + row.height / 2;
        mark.bottom = mark.top + 4;
        mark.Pen = thinPen(kDarkRed);
        mark.Brush = QBrush(bp->Enabled ? kDarkRed : kWhite);
        mark.Key = QStringLiteral("BP:%1,%2").arg(row.line).arg(position);
        addAnnotation(mark);
    }
    if (enabled + disabled == 0)
        return -1;
    if (enabled + disabled == 1)
        return enabled ? Break : BreakDisabled;
    if (!disabled)
        return MultiBreak;
    return enabled ? MultiBreakMixed : MultiBreakDisabled;
}

// StartCol and EndCol are the 1-based first and last positions of the level's command,
// as the routine's command range gives them to the stack pane.
void SourceDraw::addStackOutline(const SourceDrawRecord &record, const Row &row)
{
    if (!m_routine || !(row.flags & LineData::kStackLevel) || !docServices().stack)
        return;
    const StackLevelPtr level = docServices().stack->LevelAtLoc(row.line + 1, m_routine->Rtn());
    if (!level)
        return;
    const int first = std::max(level->StartCol - 1, 0);
    int last = std::max(level->EndCol - 1, first);
    if (first >= record.endColumn || last < record.firstColumn)
        return;   // the command lies on another row of the line
    CodeAnnotation outline;
    outline.top = row.top;
    outline.bottom = row.top + row.height;
    int y = 0;
    if (first >= record.firstColumn) {
        m_view->DocToDevice(first, row.line, outline.left, y);
        outline.Key = QStringLiteral("ST:%1").arg(row.line);
    } else {
        outline.left = m_marginEdge;
        outline.Key = QStringLiteral("ST:%1:%2").arg(row.line).arg(record.firstColumn);
    }
    if (last >= record.endColumn && !row.lastRow) {
        outline.right = record.textRight + 1;
    } else {
        last = std::min(last, record.endColumn - 1);
        outline.right = rightOfColumn(last, row.line, y);
    }
    outline.Pen = thinPen(row.flags & LineData::kExecPoint ? kOlive : kGreen);
    outline.Brush = Qt::NoBrush;
    addAnnotation(outline);
}

void SourceDraw::drawBlockMarks(QPainter &painter, const Row &row, qint32 previousFlags) const
{
    painter.setPen(thinPen(kBlack));
    if (row.firstRow && row.collapsed) {
        // A boxed plus instead of the dashes: the lines under this one are hidden and a
        // user must see that at a glance.
        const int size = std::max(5, std::min(7, row.height - 2)) | 1;
        const int half = size / 2;
        const QRect box(m_marginEdge + 1, row.middle - half, size, size);
        painter.fillRect(box, kBlue);
        painter.setPen(thinPen(kWhite));
        const QPoint centre = box.center();
        drawRule(painter, box.left() + 1, centre.y(), box.right(), centre.y());
        drawRule(painter, centre.x(), box.top() + 1, centre.x(), box.bottom());
        painter.setPen(thinPen(kBlack));
    } else if (row.firstRow && (row.flags & LineData::kBlockStart)) {
        for (int x = m_marginEdge + 1; x <= m_marginEdge + 5; x += 2)
            drawRule(painter, x, row.middle, x + 1, row.middle);
    }
    const int depth = LineData::depthOf(row.flags);
    // A further row of a wrapped line continues its own line's levels at full height.
    const int previousDepth = row.firstRow ? LineData::depthOf(previousFlags) : depth;
    const int bottom = row.top + row.height;
    for (int level = 1; level <= std::max(depth, previousDepth); ++level) {
        const int x = 2 * level;
        if (level <= std::min(depth, previousDepth))
            drawRule(painter, x, row.top, x, bottom);
        else if (level > previousDepth)
            drawRule(painter, x, row.middle, x, bottom);   // opened on this line
        else
            drawRule(painter, x, row.top, x, row.middle);  // closed by this line
    }
}

// Under the last row of the line, so a wrapped line is not cut through.
void SourceDraw::addEndRule(const SourceDrawRecord &record, const Row &row)
{
    if (!row.lastRow || !((row.flags & LineData::kEom) || row.line == m_lastLine))
        return;
    CodeAnnotation rule;
    rule.top = rule.bottom = row.top + row.height - 1;
    rule.left = m_marginEdge;
    rule.right = record.textRight;
    rule.Pen = thinPen(kLightGrey);
    rule.Brush = QBrush(kWhite);
    rule.Key = QStringLiteral("EOM:%1").arg(row.line);
    addAnnotation(rule);
}

void SourceDraw::drawPictures(QPainter &painter, const Row &row, int breakpoint) const
{
    if (row.firstRow) {
        if (row.top >= 0) {
            const QPoint at(3, row.top + 1);
            if (breakpoint >= 0)
                painter.drawPixmap(at, m_pictures[breakpoint]);
            if (row.flags & LineData::kExecPoint)
                painter.drawPixmap(at, m_pictures[m_linewise ? ExecPtrL : ExecPtr]);
            else if (row.flags & LineData::kStackLevel)
                painter.drawPixmap(at, m_pictures[StackPtr]);
            // Only where no other picture can stand: the other bits of the flag word
            // (caret line, parse state, block depth) say nothing about the spot.
            const qint32 pictureBits =
                LineData::kStackLevel | LineData::kExecPoint | LineData::kBreakpoint;
            if (row.bookmark && !(row.flags & pictureBits))
                painter.drawPixmap(at, m_pictures[Bookmark]);
        }
    } else {
        painter.fillRect(QRect(m_marginEdge - 6, row.top + 3, 3, row.height - 6), kBlue);
    }
    if ((row.flags & LineData::kReparsePrev) && m_marginEdge >= 9)
        painter.fillRect(QRect(m_marginEdge - 9, row.middle - 2, 9, 4), kRed);
}

void SourceDraw::addAnnotation(CodeAnnotation annotation)
{
    if (m_annotationKeys.contains(annotation.Key))
        return;
    m_annotationKeys.insert(annotation.Key);
    m_annotations.push_back(std::move(annotation));
}

int SourceDraw::rightOfColumn(int column, int line, int &y) const
{
    int x = 0;
    m_view->DocToDevice(column, line, x, y);
    int nextX = 0;
    int nextY = 0;
    m_view->DocToDevice(column + 1, line, nextX, nextY);
    // At the end of a wrapped row the next column stands on the next row.
    return nextY == y && nextX > x ? nextX : x + m_view->CharWidth();
}

void SourceDraw::drawAnnotation(QPainter &painter, const CodeAnnotation &annotation)
{
    painter.setPen(annotation.Pen);
    painter.setBrush(annotation.Brush);
    if (annotation.right == annotation.left || annotation.bottom == annotation.top)
        drawRule(painter, annotation.left, annotation.top, annotation.right, annotation.bottom);
    else
        drawFrame(painter, annotation.left, annotation.top, annotation.right, annotation.bottom);
}
