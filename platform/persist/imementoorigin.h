#pragma once

#include "memento.h"

// An object whose settings outlive the program: the main window, the panes and the
// server dialogs. PersistStorage asks it for a memento when the program closes and
// hands the saved one back when the next run starts.
class IMementoOrigin
{
public:
    virtual ~IMementoOrigin() = default;

    // The settings as they are now, in a new memento; null saves nothing (and
    // forgets what was saved before).
    virtual MementoPtr saveMemento() = 0;
    // Takes over what the memento holds. An attribute that is absent or unreadable
    // leaves its setting as it is and does not stop the others: saved state may come
    // from an older or damaged file.
    virtual void restoreMemento(const Memento &memento) = 0;
};
