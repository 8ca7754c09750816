#pragma once

#include "splitterdrag.h"
#include "splitterlayout.h"

#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>

class QRubberBand;
class SplitterBar;

// A two-pane splitter: a bar the user drags and two cell rectangles either side of
// it. It does not manage its panes' geometry: after every layout it raises OnResize,
// and the host moves its own controls into PrimaryLeft/Top/Width/Height and
// SecondaryLeft/Top/Width/Height. Those rectangles are in the splitter's client
// coordinates, so the host makes its controls children of the splitter
// (addHostWidget) and places them with no offset; the bar stays on top of them.
//
// The rectangle properties and SetSplitterPosition are in twips (the dialogs' unit,
// see twips.h); everything else, and the drag, works in pixels relative to the
// splitter. During a drag (left button on the bar) a rubber band shows where the bar
// will go (SplitterStyle 0 and 1), or the bar and cells follow the pointer
// (SplitterStyle 2). A drag whose mouse grab is lost ends at the last pointer
// position the splitter saw.
//
// Getters carry the design's names; setters are setXxx. Single thread.
class Splitter : public QWidget
{
    Q_OBJECT
public:
    static constexpr int CaptureWatchMs = 10;

    explicit Splitter(QWidget *parent = nullptr);
    ~Splitter() override;

    // Passed to the bar.
    long DrawStyle() const { return m_drawStyle; }
    void setDrawStyle(long drawStyle);
    // 1: vertical bar, cells side by side; 0: horizontal bar, cells stacked; other
    // values lay nothing out (the rectangles are still reported). A new value
    // centres the bar.
    long Orientation() const { return m_orientation; }
    void setOrientation(long orientation);
    // 0 focus outline, 1 inverted outline (both a rubber band here), 2 live drag.
    long SplitterStyle() const { return m_splitterStyle; }
    void setSplitterStyle(long splitterStyle);
    // Passed to the bar.
    long CursorStyle() const { return m_cursorStyle; }
    void setCursorStyle(long cursorStyle);

    // The cells after the last layout, in twips. Read-only.
    double PrimaryLeft() const;
    double PrimaryTop() const;
    double PrimaryWidth() const;
    double PrimaryHeight() const;
    double SecondaryLeft() const;
    double SecondaryTop() const;
    double SecondaryWidth() const;
    double SecondaryHeight() const;

    // The same rectangles in pixels.
    QRect primaryRect() const { return m_geometry.primary; }
    QRect secondaryRect() const { return m_geometry.secondary; }
    QRect barRect() const { return m_geometry.bar; }

    // Puts the bar's top (Orientation 0) or left (Orientation 1) at position twips,
    // then lays out (clamping it into the splitter) and raises OnResize.
    void SetSplitterPosition(double position);
    // The same in pixels.
    void setBarPosition(int pixels);
    int barPosition() const;

    // Re-runs the layout and raises OnResize.
    void relayout();

    // Makes widget a child of the splitter (below the bar) so the host can place it
    // into the rectangles as they stand.
    void addHostWidget(QWidget *widget);

    SplitterBar *bar() const { return m_bar; }
    QWidget *cell(int index) const { return index == 0 ? m_cells[0] : index == 1 ? m_cells[1] : nullptr; }
    bool isDragging() const { return m_drag.isDragging(); }
    // The outline shown during a drag; null when none is shown.
    QRect outlineRect() const;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

signals:
    void OnResize();
    void OnSplitterDblClick();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void childEvent(QChildEvent *event) override;

private:
    void barMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPointF &pos);
    void barMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, const QPointF &pos);
    void barMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPointF &pos);
    void checkCapture();
    void endDrag(int barPosition);
    void showOutline(const QRect &outline);
    QPoint toSplitter(const QPointF &barPos) const;

    long m_drawStyle = 0;          // handed to the bar
    long m_orientation = 1;        // 0 horizontal bar, 1 vertical bar, other: no layout
    long m_splitterStyle = 0;      // 2: the panes follow the pointer during a drag
    long m_cursorStyle = 0;        // handed to the bar
    int m_barPosition = 0;         // the bar's top or left in pixels, before clamping
    SplitterGeometry m_geometry;   // the last layout, what the rectangle getters report
    SplitterDrag m_drag;           // the drag rules
    SplitterBar *m_bar = nullptr;
    QWidget *m_cells[2] = {};      // invisible placeholders the rectangles describe
    QRubberBand *m_outline = nullptr; // drag feedback for styles 0 and 1
    QTimer m_tmrCapture;           // ends a drag whose mouse grab went elsewhere
};
