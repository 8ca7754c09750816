#pragma once

#include <QPointF>
#include <QWidget>

// The splitter's draggable bar: always 6 pixels thick, painted with 3-D edge lines
// chosen by DrawStyle, showing the sizing pointer chosen by CursorStyle. It only
// reports its mouse events; the Splitter it belongs to runs the drag.
//
// Getters carry the design's names; setters are setXxx. Mouse positions in the
// signals are in the bar's own pixels.
class SplitterBar : public QWidget
{
    Q_OBJECT
public:
    explicit SplitterBar(QWidget *parent = nullptr);

    // 0: highlight edge, dark shadow and shadow on the far side; 1: highlight and
    // shadow only; anything else: nothing drawn.
    long DrawStyle() const { return m_drawStyle; }
    void setDrawStyle(long drawStyle);
    // 0 horizontal bar, 1 vertical bar (as Splitter).
    long Orientation() const { return m_orientation; }
    void setOrientation(long orientation);
    // 0 split cursors, 1 our own arrow cursors, 2 the plain sizing cursors.
    long CursorStyle() const { return m_cursorStyle; }
    void setCursorStyle(long cursorStyle);

    // Re-applies the 6-pixel thickness to the current orientation.
    void Refresh();

signals:
    void DblClick();
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPointF &pos);
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, const QPointF &pos);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPointF &pos);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void applyCursor();

    long m_drawStyle = 0;     // which edge lines paintEvent draws
    long m_orientation = 1;   // which side is kept 6 pixels thick
    long m_cursorStyle = 0;   // which pointer the bar shows
};
