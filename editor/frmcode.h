#pragma once

#include "docservices.h"
#include "icodewindow.h"
#include "icommandrouter.h"
#include "sourcedocument.h"
#include "sourcelex.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class CodeStatusBar;
class ITipWindow;
class QMdiSubWindow;
class Routines;
class SourceDraw;
class SourceView;

// The code window of one routine document: the source view above its status bar. The
// document creates it through the factory below, owns it and drives it through
// ICodeWindow; the window owns the editor document, its lexer, the margin painter and the
// hover tip, and reaches the main window only through mainWindow() (nothing happens
// where there is none).
//
// Positions: the control counts columns and lines from 0, the routine document lines
// from 1; each member says which it takes.
//
// The window is deleted by its document, and the document may end while one of the
// window's own handlers runs (a close asked for from a key). Closing therefore never
// happens inside a handler: CloseButton and the close box run the close check from the
// event loop.
//
// While it is the active child the window is also the first router of the main window's
// commands (frmcodecommands.cpp): it enables, presses and carries out the bookmark, block,
// breakpoint, edit, find, go-to, print and save commands on its own document.
class frmCode : public QWidget, public ICodeWindow, public ICommandRouter
{
    Q_OBJECT

public:
    static constexpr quint32 VanNgineAlreadySet = 0x80040000u;

    explicit frmCode(QWidget *parent = nullptr);
    ~frmCode() override;

    // What the main window registers as docServices().codeWindowFactory.
    static CodeWindowFactory factory();
    // The collection the close check closes documents through and the hover tips look
    // open routines up in; Routines::instance() until set (tests set their own).
    static void setRoutineCollection(Routines *routines);
    static Routines &routineCollection();
    // The sound of F12 without a jump target and of a go-to reference that leads
    // nowhere; QApplication::beep until set.
    static void setBeeper(std::function<void()> beeper);
    static void Beep();
    // Makes the hover tip of windows created afterwards; a TipHolder until set.
    static void setTipFactory(std::function<std::unique_ptr<ITipWindow>()> factory);

    // --- ICodeWindow ----------------------------------------------------------------
    void setRoutine(Routine *routine) override;
    Routine *routine() const override { return m_routine; }
    // Once only: a second engine fails with VanNgineAlreadySet and the first stays.
    void setVanNgine(VanNgine *engine) override;
    SourceLex *Lex() override { return &m_lex; }
    SourceDocument *document() override { return &m_doc; }
    void InitializeDoc() override;
    void RefreshCaption() override;

    bool ReadOnly() const override { return m_doc.ReadOnly(); }
    // False while frozen throws Routine::ReadOnlyIdentity; nothing changes then.
    void setReadOnly(bool value) override;
    bool Frozen() const override { return m_frozen; }
    void setFrozen(bool value) override;
    bool LineWrap() const override;
    void setLineWrap(bool value) override;
    bool RichSource() const override { return m_lex.Enabled(); }
    void setRichSource(bool value) override;
    bool RichSourceSupported() const override { return m_lex.CanEnable(); }
    // Collapsing belongs to this window's document alone.
    bool CodeCollapsing() const override { return m_doc.collapsingEnabled(); }
    void setCodeCollapsing(bool value) override;
    void setCodeFont(const QFont &font) override;
    bool LineHasCommand(int line) override;   // 1-based
    void CentreCaretLine() override;
    void SetTip(const QString &tipId, const QString &tipText) override;
    void ClearTip() override;

    void hideEditor() override;
    void showEditor() override;
    int caretLine() const override;
    int caretColumn() const override;
    void setCaret(int column, int line) override;
    void ensureCaretVisible() override;
    void setSelection(int startColumn, int startLine, int endColumn, int endLine) override;
    void scrollPosition(int &firstColumn, int &firstLine) const override;

    bool isWindowVisible() const override;
    void showWindow(bool maximised) override;
    void hideWindow() override;
    bool isMaximised() const override;
    void moveToOrigin() override;
    void bringToFront() override;
    void focusEditor() override;
    void setParseTimerInterval(int milliseconds) override;
    void unload() override;

    // --- ICommandRouter -----------------------------------------------------------------
    // Asked first while the window is the active child. A command this window decides
    // is enabled (and, for "BmkToggle" and "DbgToggle", given its state value) from the
    // window's document; View commands are enabled and left to the next router.
    void UpdateUI(Command &cmd, bool &stopRouting) override;
    // Carries out the commands the window has an action for; any other leaves
    // stopRouting False. The enabling rule is applied again first, whatever the
    // command's flag says: a command disabled here does nothing (and a pressed button
    // pops up again), so a stale flag never lets a frozen copy be saved.
    // context: the go-to box (its text is the place to go to) or the undo button's
    // drop-down part (the undo list drops down below it).
    void Handle(Command &cmd, CommandUI *context, bool &stopRouting) override;

    // The breakpoint items of the code pop-up: they act on the line and command the
    // last prepared context menu described (contextMenuLine/contextMenuCommand), not on
    // the caret, which a right-click inside the selection leaves elsewhere.
    void PopupToggleBreakpoint();
    void PopupToggleBreakpointState();

    // --- the window's parts -----------------------------------------------------------
    SourceView *SourceView1() const { return m_view; }
    CodeStatusBar *sbrStatus() const { return m_status; }
    ITipWindow *tipWindow() const { return m_tip.get(); }
    VanNgine *vanNgine() const { return m_engine; }
    // The window in the document area: its sub-window there, or the window itself.
    QWidget *MeX() const;
    const LabelIndex &Labels() { return m_lex.Labels(); }
    // Text lines that fit in the editor, a partial one counted.
    int visibleLineCount() const { return m_visibleLines; }
    bool initialised() const { return m_initialised; }
    QString caption() const { return windowTitle(); }
    int iconNumber() const { return m_iconNumber; }

    // --- life cycle -------------------------------------------------------------------
    // The window became the active child, or stopped being it. The document area calls
    // them through the sub-window; a window of its own through its activation.
    void Form_Activate();
    void Form_Deactivate();

    // --- operations -------------------------------------------------------------------
    // Target receives "label^routine^namespace" and Display the reference as written,
    // both "" without one. Line and Column are 1-based; 0 takes the caret.
    void JumpTarget(QString &target, QString &display, int line = 0, int column = 0);
    // Prepares and pops up the main window's "mnuPopCode" (x, y on code) or "mnuPopCMgn"
    // (in the breakpoint margin); x, y are pixels of the control.
    void ShowContextMenu(int x, int y);
    // The line (1-based) and command number the breakpoint items of the last context
    // menu act on.
    int contextMenuLine() const { return m_menuLine; }
    int contextMenuCommand() const { return m_menuCommand; }
    // 0-based; writes the "Pos" panel.
    void ShowCaretPosition(int column, int line);
    void RunToCursor();
    // Runs the close check from the event loop; the answer is not looked at.
    void CloseButton();
    void PrintSource();
    // One tick of the parse timer: queued lines, visible ones first, for a slice of a few
    // milliseconds (exactly one line when the slice is 0).
    void tmrParse_Timer();
    void setParseSlice(qint64 nanoseconds) { m_parseSliceNs = nanoseconds; }
    // Parses the lines queued now: for commands that need the blocks of the whole routine.
    void finishParse();
    int parseTicks() const { return m_parseTicks; }
    bool parseTimerEnabled() const { return m_parseTimerOn; }
    bool parseTimerRunning() const { return m_tmrParse.isActive(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // A new window opens big enough for this much code where the area allows.
    static constexpr int ComfortableColumns = 80;
    static constexpr int ComfortableLines = 40;

    // Set-up.
    QSize comfortableFrameSize() const;
    // Moves a normal frame back inside the document area where it reaches past an edge.
    void keepInsideArea();
    void Form_Initialize();
    void Form_Load();
    void SetupEditCommands();
    void updateParseTimer();
    // The close check: True when the window may go. May end the document, and with it
    // this window, as its last step.
    bool OkayToUnload();

    // Editor, document, lexer and status bar notifications.
    void SourceView1_CaretMove(int &column, int &line);
    void SourceView1_Click();
    void SourceView1_MouseDown(int &button, int &shift, int &x, int &y);
    void SourceView1_MouseMove(int &button, int &shift, int &x, int &y);
    void SourceView1_MouseUp(int &button, int &shift, int &x, int &y);
    void SourceView1_KeyDown(int &keyCode, int shift);
    void SourceView1_KeyPress(int &keyAscii);
    void SourceView1_KeyUp(int &keyCode, int shift);
    void SourceView1_BeforeCommand(int &command);
    void SourceView1_ModifiedChange();
    void SourceView1_TextInserted(int c1, int l1, int c2, int l2);
    void SourceView1_TextDeleted(int c1, int l1, int c2, int l2);
    void mobjLex_EnableTimer(bool enable);
    void mobjLex_LabelRevised(int line, const QString &oldLabel, const QString &newLabel);
    void sbrStatus_PanelClick(const QString &key);

    // Pieces of the handlers.
    void enterCarryOver();
    void askTip(int x, int y);
    void prepareCodeMenu(int line, int column);
    void prepareMarginMenu(int line);
    bool blockCommandEnabled(bool expand) const;

    // Commands: what the window decides of one command, and carrying it out.
    struct CommandRule
    {
        bool applies = false;   // the window writes the enabled flag
        bool decided = false;   // ... and ends the routing there
        bool enabled = true;
        int state = -1;         // the state value to show; -1 leaves it
    };
    CommandRule commandRule(const Command &cmd) const;
    void carryOut(Command &cmd, CommandUI *context);
    void gotoFromBox(CommandUI *context);
    void showEditState();
    int serialOfLine(int line) const;   // 0-based
    void beep();

    // The pointer record of the last mouse-down, read by the click that follows.
    struct PointerRecord
    {
        int button = 0;
        int shift = 0;
        int hitColumn = 0;      // 1-based text column; 0 breakpoint margin, -1 line strip
        int hitLine = 0;        // 1-based; 0 before any press
        int selStartColumn = 0, selStartLine = 0, selEndColumn = 0, selEndLine = 0;
    };

    SourceDocument m_doc;                 // the text, its line data and undo
    SourceLex m_lex;                      // colours and labels of m_doc
    SourceView *m_view = nullptr;         // child; deleted before m_doc
    CodeStatusBar *m_status = nullptr;    // child
    std::unique_ptr<SourceDraw> m_draw;   // the margin painter of m_view
    std::unique_ptr<ITipWindow> m_tip;
    QPointer<QMdiSubWindow> m_subWindow;  // our place in the document area, if any
    Routine *m_routine = nullptr;         // the owning document; null once it let go
    VanNgine *m_engine = nullptr;         // the document's engine; set once, not owned
    QTimer m_tmrParse;                    // paces the lexer's background parse
    int m_parseInterval = 0;              // 0 until the window is first shown: no ticks
    bool m_parseTimerOn = false;          // the lexer wants ticks
    int m_parseTicks = 0;                 // since the lexer last switched the timer on
    // How long one tick goes on taking queued lines. One line per tick leaves a long
    // routine uncoloured and its blocks unknown for minutes; a few milliseconds at a time
    // finish thousands of lines a second, while a key or a repaint that arrives meanwhile
    // waits less than a frame.
    qint64 m_parseSliceNs = 4'000'000;
    bool m_frozen = false;
    bool m_readOnlyBeforeFreeze = false;  // restored when the window thaws
    bool m_initialised = false;           // InitializeDoc has run
    bool m_unloaded = false;
    int m_visibleLines = 0;               // lines that fit, a partial one counted
    int m_flaggedLine = 0;                // 0-based line carrying the caret-line flag
    int m_menuLine = 0;                   // 1-based line of the last context menu
    int m_menuCommand = 0;                // its command number
    int m_iconNumber = 0;
    PointerRecord m_pointer;
};
