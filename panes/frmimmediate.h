#pragma once

#include "docservices.h"
#include "paneform.h"

#include <QString>
#include <QTextCursor>

#include <functional>
#include <memory>

class ImmediateChannel;
class ImmediateDraw;
class QStackedWidget;
class QTabBar;
class QTimer;
class SourceView;

// The immediate pane: the execute view IO, where command lines typed by the developer
// run in the suspended process and their output comes back, and the read-only report
// view, which collects the server's reports and the parse errors of routine documents.
// It has no grid, so no column settings.
//
// Running a command. Enter on a line of IO while the session is suspended (state 1)
// sends the line ("XEC2" as a transaction on links this side opened with protocol 3 or
// more, else "XEC") and opens the output channel on the link's port + 1
// (ImmediateChannel). While the channel is open the session stands at -5 and the
// output goes in above the line that followed the command line at Enter (wherever the
// caret has gone since); when the server closes it, the state found at the start comes
// back, and the variables are fetched again (setVariablesRefresh). A link that closes
// meanwhile ends it all: no state comes back and nothing is fetched, but output that
// still arrives is written.
//
// Output is written as it arrives, in pieces, the event loop running between them, so
// that the window stays responsive under a command that writes without end. IO keeps
// at most OutputLimit characters in at most OutputLineLimit lines: beyond either the
// oldest text is dropped from the top and the first line says how much has gone; what
// stays is the newest text, without a gap. An output line longer than LongestLine goes
// on in the next line. Output is not undoable: a command's first output forgets
// IO's undo history, which would otherwise hold every piece ever written and cut
// again. Break (StopOutput) ends a running command's output: the pane closes the
// channel, says so in IO and returns to the state of before; the session goes on.
//
// Slot 1 of an IO line is 1 on a command line (the developer typed on it or ran it),
// 2 on the first line that says how much output was dropped, and 0 on output; the
// drawing (ImmediateDraw) shows command lines in blue.
//
// Commands. The pane takes part in the command routing as the active child through
// ImmediateCommandRouter (immediatecommandrouter.h), which binds commandRule() and
// carryOut() to the command manager; both act on the view whose tab is selected.
//
// Outside a session the pane works without a main window: it then counts as not
// suspended.
class frmImmediate : public PaneForm, public IReportPane
{
    Q_OBJECT
public:
    // The session state in which commands run, and the one while their output comes.
    static constexpr int SuspendedState = 1;
    static constexpr int ExecutingState = -5;
    // The characters IO keeps at most (2 Mi); older text is dropped from the top.
    static constexpr int OutputLimit = 2 * 1024 * 1024;
    // The lines IO keeps at most (128 Ki). A line costs the view far more than a
    // character: output of bare line ends, bounded by characters alone, would take
    // many times the memory of ordinary text.
    static constexpr int OutputLineLimit = 128 * 1024;
    // An output line longer than this goes on in the next line.
    static constexpr int LongestLine = 16 * 1024;

    explicit frmImmediate(QWidget *parent = nullptr);
    ~frmImmediate() override;

    SourceView *IO() const { return m_io; }
    SourceView *Report() const { return m_report; }
    QTabBar *TabStrip1() const { return m_tabs; }

    // The execute view's background tells whether commands can be typed.
    void setIOBackground(const QColor &colour);
    QColor ioBackground() const;
    // The window colour while commands can be typed (the session suspended), the
    // button face otherwise; the main window calls it on every change of session state.
    void NoteSessionState();
    // Tools -> Font.
    void setIOFont(const QFont &font);

    // Shows the pane when it is hidden and puts the focus on the execute view.
    void ShowExecute();
    // Selects the tab of that key ("X" execute, "R" report).
    void SelectTab(const QString &key);
    QString selectedTab() const;

    // IReportPane
    void ClearReport() override;
    // Appends the text as it is; callers bring their own line ends.
    void AppendReport(const QString &text) override;
    // Brings the report forward at its start, with the focus when the program's setting
    // says a report should take it.
    void ShowReport();

    // Line wrap of IO or Report, keeping the view's selection and caret.
    void SetLineWrap(SourceView *view, bool wrap);
    bool LineWrap(const SourceView *view) const;
    // The popup item "Clear All": IO becomes empty.
    void ClearAll();

    // What the main window runs after a command's output came back: the variables
    // pane fetching its level again.
    void setVariablesRefresh(std::function<void()> refresh) { m_variablesRefresh = std::move(refresh); }
    // Tests listen instead of the speaker.
    void setBeeper(std::function<void()> beeper) { m_beeper = std::move(beeper); }

    // --- command routing --------------------------------------------------------------
    struct CommandRule
    {
        bool applies = false;       // the pane decides the command's enabled state
        bool enabled = false;
        int state = -1;             // the state value to show (1 pressed); -1 leaves it
        bool stopRouting = false;   // no later router is asked
    };
    CommandRule commandRule(const QString &category, const QString &id, bool clipboardHasText) const;
    // The commands the pane carries out on one of its views.
    static bool carriesOut(const QString &id);
    // Carries out an enabled command on the view shown. False when that view has no
    // part in it: the next router gets it.
    bool carryOut(const QString &id);
    // IO when its tab is selected, else Report.
    SourceView *commandTarget() const;

    // The channel of the running command (tests watch it).
    ImmediateChannel *channel() const { return m_channel; }
    // Break while output comes in: the channel is closed, IO says the output was
    // stopped, and the state of before the command comes back.
    void StopOutput();

protected:
    void saveOwnSettings(Memento &memento) const override;
    void restoreOwnSettings(const Memento &memento) override;

private:
    int sessionState() const;
    void beep();
    void onTabChanged();
    void onFocusChanged(QWidget *old, QWidget *now);

    // Keys, recall, mouse and menus (frmimmediatekeys.cpp).
    void onIOKeyDown(int &KeyCode, int Shift);
    void onIOKeyPress(int &KeyAscii);
    void onIOKeyUp(int &KeyCode, int Shift);
    void onReportKeyDown(int &KeyCode, int Shift);
    void onReportKeyUp(int &KeyCode, int Shift);
    void onIOMouseDown(int Button, int Shift, int X, int Y);
    void onIOClick();
    void onIOBeforeCommand(int &command);
    bool switchCodeWindow(int &KeyCode, int Shift);
    void recallCommand(int &KeyCode);
    void markCommandLine(int line);
    void pasteIntoIO();
    void ShowExecuteMenu(int x, int y);
    void ShowReportMenu(int x, int y);
    void print(SourceView *view);

    // Running commands (frmimmediateexecute.cpp).
    void executeLine(int line);
    void runCommand(const QString &text, int outputLine);
    void writeOutputLine(const QString &text);
    void insertOutput(QString text);
    int outputLine() const;
    void SetBusy();
    void onChannelOpened();
    void onOutputArrived(const QString &text);
    void breakLongLines(QString &text);
    void dropPendingOutput();
    void dropShownOutput();
    void flushOutput();
    void writePiece();
    QString takePendingPiece();
    void scheduleFlush();
    int outputPosition() const;
    void dropOldestText();
    int keptStart() const;
    bool dropText(int from, int to);
    void showDroppedCount();
    void onChannelClosed();
    void finishOutput();
    void completeOutput();
    void onLinkClosed();

    QTabBar *m_tabs;                // tab "X" shows IO, tab "R" shows Report
    QStackedWidget *m_views;
    SourceView *m_io;
    SourceView *m_report;
    std::unique_ptr<ImmediateDraw> m_ioDraw;
    std::unique_ptr<ImmediateDraw> m_reportDraw;
    ImmediateChannel *m_channel;

    bool m_wrapIO = false;          // saved as "WrapIO"; the popup item shows it
    bool m_wrapReport = false;      // saved as "WrapReport"

    int m_savedState = SuspendedState;   // the state to go back to when the output is in
    QTextCursor m_outputAt;         // in the line the output goes above; follows edits
    QString m_pendingOutput;        // arrived, line ends as LF, not yet in IO
    qsizetype m_pendingLines = 0;   // the line ends in m_pendingOutput
    QTimer *m_flushTimer;           // writes the pending output once the loop has run
    qint64 m_lastFlushNs = 0;       // what writing the last piece cost
    bool m_leadExpected = false;    // the server's lead character (not output) is still to come
    bool m_heldCR = false;          // a piece ended in CR: an LF may follow in the next
    bool m_openLine = false;        // the last output line waits for its line end; IO shows it
                                    // with one of ours for now
    qsizetype m_lineLength = 0;     // characters of the output line that runs on
    bool m_outputEnded = false;     // the channel has closed; what is held is still being written
    bool m_wroteOutput = false;     // the running command has put output into IO
    qint64 m_droppedChars = 0;      // dropped from IO since it was last emptied; the marker says it
    bool m_droppedForLines = false; // the last cut was for the line bound: the marker names it
    QString m_markerShown;          // the marker line as IO shows it
    bool m_linkClosed = false;      // the session ended while the command ran
    std::function<void()> m_variablesRefresh;
    std::function<void()> m_beeper;

    int m_mouseX = 0;               // the last press in IO, for the click after it
    int m_mouseY = 0;
    int m_mouseButton = 0;
    int m_mouseShift = 0;
    int m_lastKeyDown = 0;          // tells Enter, Tab and Backspace from Ctrl+M, Ctrl+I, Ctrl+H
    int m_recallLine = -1;          // where the last recall stopped; -1: no series runs
    QString m_recallText;           // the line recalled last
    bool m_pasting = false;         // our own paste is under way
};
