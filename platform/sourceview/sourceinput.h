#pragma once

#include <QPoint>
#include <QString>

class QDropEvent;
class QKeyEvent;
class QMimeData;
class QMouseEvent;
class SourceView;

// The keys and the mouse of a source view: the cancellable notifications
// (KeyDown, KeyPress, KeyUp, MouseDown, MouseMove, MouseUp, Click) in the order
// the code window relies on, typing with its undo steps, the control's own
// clipboard and undo keys, and text that is dropped or pasted in.
//
// Each key is one undo group: whatever the key and its handlers edit is undone
// together.
class SourceInput
{
public:
    explicit SourceInput(SourceView &view);

    void keyPress(QKeyEvent *event);
    void keyRelease(QKeyEvent *event);
    // Mouse events of the text area (devicePos shifted by the margin) and of the
    // margin (its own pixels are the control's).
    void mousePress(QMouseEvent *event, const QPoint &devicePos, bool inMargin);
    void mouseMove(QMouseEvent *event, const QPoint &devicePos, bool inMargin);
    void mouseRelease(QMouseEvent *event, const QPoint &devicePos, bool inMargin);
    void drop(QDropEvent *event);
    void insertMimeData(const QMimeData *source);
    // The next typing starts a step of its own.
    void breakTyping() { m_typingEnd = -1; }

private:
    void handleKey(QKeyEvent *event, const QString &description);
    // The control's own clipboard, undo and select-all keys; True when the key was one of them.
    bool handleShortcut(QKeyEvent *event);
    void typeText(const QString &text, const QString &description);
    void selectAll();
    void emitMouse(void (SourceView::*signal)(int &, int &, int &, int &), QMouseEvent *event,
                   const QPoint &devicePos);

    SourceView &m_view;
    int m_typingEnd = -1;        // where the last Typing step ended; typing there extends it
    int m_typingSteps = 0;       // the undo steps then: a step made since ends the run
    bool m_pressInside = false;  // a button went down on the control (for Click)
};
