#pragma once

#include <QFont>

// The program-wide settings and flags every part of the main program reads: made by
// the start procedure and the main window, restored from and saved to the main
// window's memento.
struct ProgramSettings
{
    QFont dialogFont;                 // "MS Shell Dlg", 9
    QFont codeFont;                   // "Courier New" 10 ("Liberation Mono" under Wine)
    bool isWine = false;
    bool ShowGuideAtStartup = true;
    bool CommandCounter = true;
    bool BreakOnError = false;
    bool StepLinewise = false;        // the stored preference
    bool Linewise = false;            // the mode in force for the session
    bool ChildMaxed = true;
    // True even when nothing was restored: a first close would otherwise save False
    // for ever, and a failed save would no longer show its report.
    bool SwitchToReportOnSaveError = true;
};

ProgramSettings &programSettings();
