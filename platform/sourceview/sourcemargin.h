#pragma once

#include <QWidget>

class SourceView;

// The margin left of a source view's text. It paints nothing of its own: every
// row's margin belongs to the drawing callback. Its mouse events are the
// control's, in the control's pixels.
class SourceMargin : public QWidget
{
public:
    explicit SourceMargin(SourceView *view);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    SourceView *m_view;
};
