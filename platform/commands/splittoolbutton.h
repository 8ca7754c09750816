#pragma once

#include <QToolButton>

// A tool button with a drop-down part whose arrow does not open a menu but emits
// arrowPressed(): the command decides what drops down (the undo list) and where.
class SplitToolButton : public QToolButton
{
    Q_OBJECT
public:
    explicit SplitToolButton(QWidget *parent = nullptr);

    // The arrow part, in the button's own coordinates.
    QRect arrowRect() const;

signals:
    void arrowPressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
