#pragma once

#include <QString>

#include <memory>

// One code breakpoint. The breakpoint pane owns the list; everyone else gets copies, except
// where a caller hands in its record to be completed (a document writes Env into it).
struct Breakpoint
{
    QString Line;             // line reference: label "+" offset
    QString Rtn;
    QString Env;              // namespace of the routine
    bool Enabled = false;     // only enabled breakpoints go to the server
    int Cmd = 0;              // command number within the line
    int Delay = 0;            // passes before it stops
    QString Condition;
    QString ConditionError;   // what the server said when it last tested Condition
    int ID = 0;               // identifier shared with the server

    // The key of the breakpoint's routine among the open documents. Breakpoints are
    // always looked up in the INT routine, hence type 1.
    QString EnvRtn() const;
};

using BreakpointPtr = std::shared_ptr<Breakpoint>;
