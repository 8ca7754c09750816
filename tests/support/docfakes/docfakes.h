#pragma once

// Fakes of what routine documents call outside this library: the code window (on a real
// SourceDocument and SourceLex, wired to the document's notifications as the real window
// wires them), the session link, the panes, the Save As dialog and the main window.

#include "breakpoint.h"
#include "docservices.h"
#include "icodewindow.h"
#include "idoclink.h"
#include "routine.h"
#include "routines.h"
#include "sourcedocument.h"
#include "sourcelex.h"
#include "stacklevel.h"

#include <QObject>
#include <QStringList>

#include <map>

#include <functional>
#include <map>
#include <memory>

#include <deque>
#include <ostream>
#include <vector>

// Readable texts in test failure messages.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

class SourceView;

class FakeCodeWindow : public QObject, public ICodeWindow
{
    Q_OBJECT

public:
    explicit FakeCodeWindow(bool richSource = true);
    ~FakeCodeWindow() override;

    void setRoutine(Routine *routine) override { m_routine = routine; }
    Routine *routine() const override { return m_routine; }
    void setVanNgine(VanNgine *engine) override;
    SourceLex *Lex() override { return &m_lex; }
    SourceDocument *document() override { return &m_doc; }
    void InitializeDoc() override { m_lex.InitializeDoc(); }
    void RefreshCaption() override;

    bool ReadOnly() const override { return m_doc.ReadOnly(); }
    void setReadOnly(bool value) override { m_doc.SetReadOnly(value); }
    bool Frozen() const override { return frozen; }
    void setFrozen(bool value) override { frozen = value; }
    bool LineWrap() const override { return lineWrap; }
    void setLineWrap(bool value) override { lineWrap = value; }
    bool RichSource() const override { return m_lex.Enabled(); }
    void setRichSource(bool value) override { m_lex.setEnabled(value); }
    bool RichSourceSupported() const override { return m_lex.CanEnable(); }
    bool CodeCollapsing() const override { return codeCollapsing; }
    void setCodeCollapsing(bool value) override { codeCollapsing = value; }
    void setCodeFont(const QFont &) override {}
    bool LineHasCommand(int line) override;
    void CentreCaretLine() override { ++centred; }
    void SetTip(const QString &id, const QString &text) override { tipId = id; tipText = text; }
    void ClearTip() override { tipId.clear(); tipText.clear(); }

    void hideEditor() override {}
    void showEditor() override {}
    int caretLine() const override { return m_caretLine; }
    int caretColumn() const override { return m_caretColumn; }
    void setCaret(int column, int line) override;
    void ensureCaretVisible() override;
    void setSelection(int c1, int l1, int c2, int l2) override;
    void scrollPosition(int &firstColumn, int &firstLine) const override
    {
        firstColumn = scrollColumn;
        firstLine = scrollLine;
    }

    bool isWindowVisible() const override { return visible; }
    void showWindow(bool maximised) override { visible = true; this->maximised = maximised; }
    void hideWindow() override
    {
        if (onHide)
            onHide();
        visible = false;
    }
    bool isMaximised() const override { return maximised; }
    void moveToOrigin() override { ++movedToOrigin; }
    void bringToFront() override { ++broughtToFront; }
    void focusEditor() override {}
    void setParseTimerInterval(int ms) override { parseTimerInterval = ms; }
    void unload() override { unloaded = true; }

    // Runs the parse timer until the lexer switches it off (at most `limit` ticks).
    int drainParseQueue(int limit = 1000000);
    // A real source view on the document, shown (offscreen) at the given size.
    SourceView *createView(int width, int height);
    SourceView *view() const { return m_view.get(); }

    // The window's view of the caret and selection.
    int selStartColumn = 0, selStartLine = 0, selEndColumn = 0, selEndLine = 0;
    int scrollColumn = 0, scrollLine = 0, pageLines = 20;
    bool frozen = false, lineWrap = false, codeCollapsing = false;
    bool visible = false, maximised = false, unloaded = false, timerOn = false;
    int movedToOrigin = 0, broughtToFront = 0, centred = 0, captionRefreshes = 0;
    int parseTimerInterval = 0;
    QString tipId, tipText;
    bool defaultRichSource;
    std::function<void()> onHide;

private:
    void onTextInserted(int c1, int l1, int c2, int l2);
    void onTextDeleted(int c1, int l1, int c2, int l2);

    SourceDocument m_doc;
    SourceLex m_lex;
    std::unique_ptr<SourceView> m_view;   // goes before the document it shows
    Routine *m_routine = nullptr;
    int m_caretLine = 0, m_caretColumn = 0;
};

// A session link that records what goes out and answers transactions from a script.
class FakeDocLink : public IDocLink
{
public:
    QString Brand() const override { return brand; }
    QString Env() const override { return env; }
    QString NameTable() const override { return nameTable; }
    QString HostIP() const override { return hostIP; }
    int ProtocolVersion() const override { return protocol; }
    bool HasFeature(int mask) const override { return (features & mask) != 0; }
    QStringList Transact(int timeout, const QStringList &request) override;
    void Send(const QStringList &fields) override;
    quint64 SessionId() const override { return session; }
    bool IsCurrentSession(quint64 id) const override { return id == session; }

    QString brand = QStringLiteral("CACHE");
    QString nameTable = QStringLiteral("NT");
    QString hostIP = QStringLiteral("127.0.0.1");
    QString env = QStringLiteral("USER");
    int protocol = 4;
    int features = 0xFFFF;
    quint64 session = 1;
    std::deque<QStringList> replies;    // answers to transactions, in order
    QStringList log;                    // "T:" request or "S:" message, fields joined by "|"
};

// An enabled breakpoint on command `cmd` of the line that `line` ("label+offset") names
// in routine `rtn` of namespace `env`.
BreakpointPtr enabledBreakpoint(const QString &line, const QString &rtn, int cmd = 1,
                                const QString &env = QStringLiteral("USER"));

// The breakpoints pane: rows of breakpoints and the "BP" messages it would send. As the
// real pane, it keeps copies with identifiers of its own, finds a row by namespace,
// routine, line and command (0 for any), and removes a row in DeleteBP only on lookup.
class FakeBreakpointsPane : public IBreakpointsPane
{
public:
    explicit FakeBreakpointsPane(Routines *routines) : m_routines(routines) {}

    std::vector<BreakpointPtr> BPs(const QString &rtn) override;
    void SetBP(const BreakpointPtr &bp) override;
    void DeleteBP(const BreakpointPtr &bp, bool lookup) override;
    void ShowBP(const QString &env, const QString &rtn, const QString &label, int offset) override
    {
        shown.append(QStringLiteral("%1^%2^%3+%4").arg(env, rtn, label).arg(offset));
    }

    static QString describe(const Breakpoint &bp, bool enabled);
    // ["BP", "+"|"-", Line, Rtn, Cmd, ID, Delay, Condition]
    static QStringList wireFields(const Breakpoint &bp, bool enabled);

    std::vector<BreakpointPtr> rows;
    int nextId = 1;         // identifiers of new rows, never reused
    QStringList messages;   // "BP +|A+4|ABC|1" …
    QStringList shown;      // ShowBP calls: "env^rtn^label+offset"
    // Where the pane's "BP" messages go, when a test has a link for them.
    std::function<void(const QStringList &)> send;

private:
    Routine *routineOf(const Breakpoint &bp) const;
    int findRow(Breakpoint &bp) const;
    Routines *m_routines;
};

class FakeHost : public IDocumentHost
{
public:
    bool MBusy() const override { return busy; }
    bool ServerPrompt(QStringList &fields) override
    {
        prompts.push_back(fields);
        return promptAnswer;
    }
    int documentWindowCount() const override { return windowCount; }
    bool anyDocumentWindowVisible() const override { return anyVisible; }
    bool documentTabsShown() const override { return tabsShown; }
    void startRelayoutTimer() override { ++relayouts; }
    bool mainWindowMinimised() const override { return minimised; }
    void restoreMainWindow() override { minimised = false; ++restores; }
    bool applicationActive() const override { return active; }

    bool busy = false, promptAnswer = true, anyVisible = false, tabsShown = false;
    bool minimised = false, active = true;
    int windowCount = 0, relayouts = 0, restores = 0;
    std::vector<QStringList> prompts;
};

class FakeStackPane : public IStackPane
{
public:
    bool IsInStack(const QString &rtn, const QString &env) override
    {
        return inStack && rtn == this->rtn && env == this->env;
    }
    StackLevelPtr LevelAtLoc(int line, const QString &rtn) override
    {
        const auto found = levels.find(QStringLiteral("+%1^%2").arg(line).arg(rtn));
        return found == levels.end() ? nullptr : found->second;
    }
    bool inStack = false;
    QString rtn, env;
    // The location index: "+" line "^" routine.
    std::map<QString, StackLevelPtr> levels;
};

class FakeReportPane : public IReportPane
{
public:
    void ClearReport() override { ++clears; text.clear(); }
    void AppendReport(const QString &t) override { text += t; }
    int clears = 0;
    QString text;
};

class FakeSaveAs : public ISaveAsDialog
{
public:
    bool DoIt(Routine &) override
    {
        ++shown;
        return cancel;
    }
    bool cancel = true;
    int shown = 0;
};
