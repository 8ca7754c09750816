#pragma once

#include "itipwindow.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <climits>
#include <functional>
#include <memory>

class ContextTipClient;

// What the tip window asks of the desktop. Every member has a working default; tests
// replace the ones they drive (the pointer, whether another program has the input).
struct ContextTipDesktop
{
    // The pointer in global pixels. Default: QCursor::pos().
    std::function<QPoint()> pointer;
    // False while another program has the user's input. Default: the program's
    // foreground layer.
    std::function<bool()> foregroundIsOurs;
    // The window a tip is tied to at a global point: the source view containing the
    // widget there, else that widget's top-level window; null over other programs.
    // Default: defaultWindowAt.
    std::function<QWidget *(const QPoint &)> windowAt;
    // The whole virtual desktop in global pixels. Default: the primary screen's
    // virtual geometry.
    std::function<QRect()> virtualDesktop;
    // The usable height of the screen in pixels. Default: the primary screen's.
    std::function<int()> availableHeight;
    // The usable part of the screen at a global point: a tip that would pass its bottom
    // goes above the pointer. Default: the available geometry of the screen there, else
    // the virtual desktop.
    std::function<QRect(const QPoint &)> screenArea;
    // The system cursor's height: the tip sits half of it below the pointer. Qt does not
    // say what the pointer's shape measures, and 32 is the common size.
    int cursorHeight = 32;

    // The default for windowAt: QApplication::widgetAt, then up to a SourceView or the
    // top-level window, so moving from the margin into the text stays on one window.
    static QWidget *defaultWindowAt(const QPoint &global);
};

// How long the tip waits. Tests shorten them; the state machine stays the same.
struct ContextTipTimings
{
    int firstShowMs = 1000;   // the pointer rests before a first tip appears
    int nextShowMs = 200;     // a tip replaces one that was up or waiting
    int hidePollMs = 1000;    // how often a shown tip checks it is still wanted
};

// Draws the tip's text. The window needs the panel sized to the text as soon as the
// caption is set, so it can place itself before anything is painted.
class TipPanel
{
public:
    // The last line of a tip whose text did not all fit on the screen.
    static const QString CutMark;

    virtual ~TipPanel() = default;
    // The widget the window hosts (the window becomes its parent and deletes it); its
    // size after setCaption is the tip's size.
    virtual QWidget *widget() = 0;
    // Characters a line may break after, and the largest size in twips (15 per pixel).
    virtual void configure(const QString &lineBreakChars, int maxWidthTwips, int maxHeightTwips) = 0;
    virtual QString caption() const = 0;
    // Redraws and resizes before it returns; may throw VantrelError.
    virtual void setCaption(const QString &caption) = 0;
    // Makes the caption no taller than maxHeight pixels by dropping whole lines from its
    // end. When lines are dropped, or when the caller already left text out
    // (textLeftOut), the last line shown is CutMark, so the user sees the value goes on.
    virtual void cutToHeight(int maxHeight, bool textLeftOut) = 0;
    virtual QFont font() const = 0;
    virtual void setFont(const QFont &font) = 0;
};

// The hover tip: a frameless pop-up that never takes the focus, holding a LumoPanel.
// It keeps one text under an identifier, shows it next to the pointer once the pointer
// has rested, and takes it away when the text goes, the pointer leaves the window the
// tip was shown over, or another program comes to the front.
//
//   idle (hidden, no caption)
//     -- SetText(text, id) --> waiting: show timer armed (first tip 1000 ms; 200 ms
//                                       when a tip was up or waiting), NotifyMove
//                                       restarts it
//     -- show tick, pointer still, our program in front --> shown: next to the pointer,
//                                       hide timer polls once a second
//     -- SetText(""), a new id, pointer left / program left --> idle
//   SetText under the same id while shown puts the new text in place, resized.
//   A show tick that finds the pointer moved, or another program in front, leaves the tip
//   waiting: the next move restarts the wait, so a tip already answered shows as soon as
//   the pointer rests on its word again (the code window asks nothing more while the
//   identifier is held).
//   An idle tip is hidden, not merely made small: an unmapped window is met by no window
//   list, screenshot or other program.
//   A move, resize, hiding or deactivation of the window the tip was shown over (or of
//   one around it) takes a shown tip away at once: the pointer is over other text now.
//
// A tip never lies under the pointer, where the hide tick would see it as another
// window and take it away: it goes half a cursor below the pointer when it fits there,
// else just above it when it fits there, else into the larger of the two rooms, cut to
// that room's height with CutMark as its last line. The text the tip holds (Text)
// stays whole; only what the panel draws is cut.
//
// The main window owns the one tip window; each code window talks to it through a
// client() of its own, so a window that is not holding the tip cannot take another
// window's tip away. Everything runs on the GUI thread.
class frmContextTip : public QWidget, public ITipWindow
{
    Q_OBJECT
public:
    // A null panel gets the LumoPanel with the tip's colours and frame.
    explicit frmContextTip(QWidget *parent = nullptr, ContextTipDesktop desktop = {},
                           ContextTipTimings timings = {}, std::unique_ptr<TipPanel> panel = {});
    ~frmContextTip() override;

    // ITipWindow
    QString TipID() const override { return m_TipID; }
    QString Text() const override;
    void SetText(const QString &text, const QString &id) override;
    void NotifyMove() override;
    void ShowAt(int x, int y, const QString &text) override;
    QFont TipFont() const override;
    void setTipFont(const QFont &font) override;
    // Taken once: a second owner is ignored while one is set, and null clears nothing.
    QWidget *owner() const override { return m_owner; }
    void setOwner(QWidget *owner) override;

    // A handle for one code window. It reports no tip while another client holds the
    // window, and letting go of its owner (or being destroyed) takes away only its own tip.
    std::unique_ptr<ITipWindow> client();

    // The timers' ticks; public so tests can step the state machine without waiting.
    void tmrShowTip_Timer();
    void tmrHideTip_Timer();

    // For tests and diagnostics.
    bool isShown() const { return m_Shown; }
    int showInterval() const { return m_showInterval; }      // 0 = idle
    bool isCut() const { return m_panelCut; }                // the panel shows a cut text
    bool isShowPending() const { return m_tmrShowTip.isActive(); }
    bool isHidePolling() const { return m_tmrHideTip.isActive(); }
    TipPanel *panel() const { return m_panel.get(); }

protected:
    // A shown tip goes when the window it was shown over, or any window around it,
    // moves, changes size, is hidden or is deactivated: the text under the pointer is
    // no longer the text the tip speaks of.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class ContextTipClient;

    void Form_Load();
    void setTextFor(const void *client, const QString &text, const QString &id);
    void showAtFor(const void *client, QWidget *owner, int x, int y, const QString &text);
    void hideWindow();
    void place(const QPoint &topLeft);
    QPoint fitNextTo(const QPoint &pointer);
    void setCaptionSafely(const QString &text);
    void restoreWholeCaption();
    void watchWindowsAround(QWidget *under);
    void unwatch();
    void takeAway();
    void armShowTimer(int ms);
    void release(const void *client);

    ContextTipDesktop m_desktop;
    ContextTipTimings m_timings;
    std::unique_ptr<TipPanel> m_panel;

    QTimer m_tmrShowTip;               // the wait before a tip appears
    QTimer m_tmrHideTip;               // polls a shown tip's reasons to stay
    int m_showInterval = 0;            // armed interval of the show timer; 0 = idle

    QString m_TipID;                   // the identifier of the tip now held
    QString m_text;                    // the tip's text, whole; the panel may show less
    bool m_leftOut = false;            // the panel was given only the start of m_text
    bool m_panelCut = false;           // the panel holds a copy of m_text cut to a place
    QPoint m_anchor;                   // the pointer where the shown tip was placed
    bool m_Shown = false;              // the tip is on screen at full size
    QPoint m_Last{INT_MIN, INT_MIN};   // pointer at the last move that restarted the wait
    QPointer<QWidget> m_HwndUnder;     // the window the tip was shown over
    int m_ScreenRight = 0;             // right edge of the desktop, exclusive, pixels
    QPointer<QWidget> m_owner;         // the form the tip belongs to
    const void *m_client = nullptr;    // the client whose text the tip holds; null: none
    QList<QPointer<QWidget>> m_watched;   // the shown tip's window and its ancestors
};
