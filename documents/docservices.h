#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

struct Breakpoint;
class ICodeWindow;
class Routine;
class StackLevel;
using BreakpointPtr = std::shared_ptr<Breakpoint>;
using StackLevelPtr = std::shared_ptr<StackLevel>;

// What routine documents call in the debugger panes, the Save As dialog and the main
// window. Those are built on widgets above this library; each implements its slice and
// registers it in docServices(). Tests register fakes.

class IBreakpointsPane
{
public:
    virtual ~IBreakpointsPane() = default;
    // New copies of the pane's breakpoints of a routine name (all when empty), last row first.
    virtual std::vector<BreakpointPtr> BPs(const QString &rtn) = 0;
    // Writes the record into the row of its namespace, routine, line and command (Cmd 0:
    // any command, whose number the record then takes), or into a new row; the record
    // takes the row's identifier. Tells the server ("BP +"/"BP -") and calls back
    // Routine::BPSet with this record, which the document keeps; the pane keeps a copy.
    virtual void SetBP(const BreakpointPtr &bp) = 0;
    // With lookup, removes the row found as SetBP finds it (the record takes its
    // identifier). When Line and Rtn are both set, tells the server ("BP -") and calls
    // back Routine::BPDelete.
    virtual void DeleteBP(const BreakpointPtr &bp, bool lookup) = 0;
    // Selects the row of the breakpoint at that place, when there is one.
    virtual void ShowBP(const QString &env, const QString &rtn, const QString &label, int offset) = 0;
};

class IStackPane
{
public:
    virtual ~IStackPane() = default;
    virtual bool IsInStack(const QString &rtn, const QString &env) = 0;
    // The level standing on that 1-based line of that routine, or null.
    virtual StackLevelPtr LevelAtLoc(int line, const QString &rtn) = 0;
};

class IReportPane
{
public:
    virtual ~IReportPane() = default;
    virtual void ClearReport() = 0;
    virtual void AppendReport(const QString &text) = 0;
};

class ISaveAsDialog
{
public:
    virtual ~ISaveAsDialog() = default;
    // True when nothing was saved (the dialog's cancel flag).
    virtual bool DoIt(Routine &routine) = 0;
};

// The main window as the documents see it.
class IDocumentHost
{
public:
    virtual ~IDocumentHost() = default;
    virtual bool MBusy() const = 0;
    // A server prompt ("SIM", or the question of a "SIP"); True when the user gave the
    // answer the server asks for.
    virtual bool ServerPrompt(QStringList &fields) = 0;

    virtual int documentWindowCount() const = 0;
    virtual bool anyDocumentWindowVisible() const = 0;
    virtual bool documentTabsShown() const = 0;
    virtual void startRelayoutTimer() = 0;
    virtual bool mainWindowMinimised() const = 0;
    virtual void restoreMainWindow() = 0;
    // False while the foreground belongs to another program.
    virtual bool applicationActive() const = 0;
};

using CodeWindowFactory = std::function<std::unique_ptr<ICodeWindow>()>;

struct DocServices
{
    CodeWindowFactory codeWindowFactory;
    IDocumentHost *host = nullptr;
    IBreakpointsPane *breakpoints = nullptr;
    IStackPane *stack = nullptr;
    // The immediate pane is created on first use, so it is asked for each time.
    std::function<IReportPane *()> reportPane;
    ISaveAsDialog *saveAs = nullptr;
};

// The process-wide registrations.
DocServices &docServices();
