#pragma once

#include <QString>

#include <memory>

// One data watchpoint, as the breakpoint pane holds it and the server reports on it.
struct Watchpoint
{
    bool Enabled = false;          // only enabled watchpoints are active on the server
    QString Expression;            // empty: a blank entry
    QString Value;                 // as last reported by the server
    bool ValueIsError = false;     // Value is an error text, not a value
    QString OldValue;              // the value before the last change
    bool OldValueIsError = false;
    int ID = 0;                    // identifier shared with the server
};

using WatchpointPtr = std::shared_ptr<Watchpoint>;
