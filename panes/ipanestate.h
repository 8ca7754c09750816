#pragma once

#include "memento.h"

class IPaneOwner;

// Remembers, for two kinds of session, whether a pane was open, and opens or closes the
// pane when the main window switches between them: index 1 for a session connected with
// the shell, index 0 for every other state. Both flags start False, so the first shell
// session closes every open pane that has no saved layout for it.
//
// The same class is the interface the main window drives all panes through: a pane form
// derives from it and forwards Notify to its own companion instance (Prepare and
// StateData of the form itself do nothing). The companion's StateData and Prepare are
// called by the pane when its settings are saved and restored ("PaneState").
//
// Example, as the main window drives it for every assignment of its session state:
//   for (IPaneState *pane : panes)
//       if (state != -2)
//           pane->Notify(state == 2 ? 1 : 0);
class IPaneState
{
public:
    IPaneState() = default;
    virtual ~IPaneState() = default;
    IPaneState(const IPaneState &) = delete;
    IPaneState &operator=(const IPaneState &) = delete;

    // eState is the new index, 0 or 1. Nothing happens without an owner or when the
    // index does not change; the owner is shown or hidden when the flag remembered for
    // eState differs from its visibility now.
    virtual void Notify(int eState);
    // The two flags as attributes "0.Visible" and "1.Visible", the current index's flag
    // first taken from the owner.
    virtual MementoPtr StateData();
    // Attaches the owner; flags present and readable in data replace the current ones.
    virtual void Prepare(IPaneOwner *owner, const Memento *data);

    bool visibleFlag(int index) const { return m_visible[index]; }
    int stateIndex() const { return m_stateIndex; }
    IPaneOwner *owner() const { return m_owner; }

private:
    void SaveVisible();

    bool m_visible[2] = {false, false};   // open or not, per index, as last left
    int m_stateIndex = 0;                 // the index in force; its flag is saved on leaving
    IPaneOwner *m_owner = nullptr;        // the pane shown and hidden; not owned
};
