#pragma once

#include <QString>

#include <memory>

// One level of the stopped process's call stack, from an "STKtop"/"STK" report. Shared:
// the stack pane writes StartCol/EndCol into the level the margin painter later reads.
struct StackLevel
{
    int Number = 0;
    QString Rtn;          // "@…" for code run by an Xecute
    QString Env;
    QString Label;
    int Offset = 0;       // lines after Label
    int CharPos = 0;      // > 0 a character position in the line; <= 0 minus the command number
    int StartCol = 0;     // first column of the current command, set by the stack pane
    int EndCol = 0;       // last column of the current command, set by the stack pane

    // The key of the level's routine among the open documents (as INT); "" for a level
    // the server reported without a place.
    QString EnvRtn() const;
};

using StackLevelPtr = std::shared_ptr<StackLevel>;
