#pragma once

#include "imementoorigin.h"
#include "ipaneowner.h"
#include "ipanestate.h"

#include <QPointer>
#include <QWidget>

class PaneDock;
class QHeaderView;
class QKeyEvent;

// What the four debugger panes share: the visibility companion that opens and closes
// the pane as the session state changes, closing by hiding, the dock edge the pane
// goes back to, the key preview, and the saved settings "ColWid"/"ColSeq" (the pane's
// grid), "PaneState" and "Edge".
//
// Key preview: the pane sees every key press of its widgets, also of widgets added
// later, before they do. Ctrl+F4 hides the pane (a plain hide: Shown, Edge and the
// relayout are left alone) and goes no further; every other key is offered to the main
// window once, and dropped when the main window consumed it.
//
// A pane is normally the widget of a PaneDock (dock()); one without a dock shows and
// hides itself.
class PaneForm : public QWidget, public IPaneState, public IPaneOwner, public IMementoOrigin
{
    Q_OBJECT
public:
    explicit PaneForm(QWidget *parent = nullptr);
    ~PaneForm() override;

    PaneDock *dock() const;
    // Called by the PaneDock that takes this pane.
    void setDock(PaneDock *dock);

    // The pane's own companion, which the main window's Notify reaches.
    IPaneState &paneState() { return m_paneState; }
    const IPaneState &paneState() const { return m_paneState; }

    bool Shown() const { return m_shown; }
    int Edge() const { return m_edge; }

    // IPaneOwner
    bool paneVisible() const override;
    void HideMe() override;
    void ShowMe() override;

    void NoteDockEdge();
    // The dock moved, floated, docked, or was shown or hidden.
    void DockChanged();

    // IPaneState, as the main window calls every pane.
    void Notify(int eState) override;
    MementoPtr StateData() override { return nullptr; }
    void Prepare(IPaneOwner *, const Memento *) override {}

    // IMementoOrigin
    MementoPtr saveMemento() override;
    void restoreMemento(const Memento &memento) override;

protected:
    // The grid whose columns are saved under the plain names; none by default.
    virtual QHeaderView *columnHeader() const { return nullptr; }
    // The pane's own attributes, written after and read after the shared ones.
    virtual void saveOwnSettings(Memento &) const {}
    virtual void restoreOwnSettings(const Memento &) {}

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *paneWindow();
    const QWidget *paneWindow() const;
    void watchKeysOf(QObject *object);
    bool previewKey(QObject *receiver, QKeyEvent *event);

    IPaneState m_paneState;            // open or closed per kind of session
    QPointer<PaneDock> m_dock;         // where the pane is shown; null for a bare pane
    bool m_shown = true;               // not closed through HideMe since the last ShowMe
    int m_edge = 0;                    // the dock edge to go back to; 0 when none noted
    // A key press that the main window has seen climbs to the parents of the widget that
    // ignored it; those parents are our widgets too and must not offer it a second time.
    const QEvent *m_previewedKey = nullptr;
    QPointer<QObject> m_previewedAt;
};
