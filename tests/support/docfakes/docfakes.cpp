#include "docfakes.h"

#include "lineedits.h"

#include "linedata.h"
#include "sourceview.h"

FakeCodeWindow::FakeCodeWindow(bool richSource)
    : defaultRichSource(richSource)
{
    m_doc.SetExtraData(3);
    m_lex.Attach(&m_doc);
    m_doc.SetLex(&m_lex);
    // Direct: the document must be in step with the lexer before the notification returns.
    connect(&m_doc, &SourceDocument::TextInserted, this, &FakeCodeWindow::onTextInserted,
            Qt::DirectConnection);
    connect(&m_doc, &SourceDocument::TextDeleted, this, &FakeCodeWindow::onTextDeleted,
            Qt::DirectConnection);
    connect(&m_lex, &SourceLex::LabelRevised, this,
            [this](int line, const QString &oldLabel, const QString &newLabel) {
                if (m_routine)
                    m_routine->OnLabelRevised(line + 1, oldLabel, newLabel);
            }, Qt::DirectConnection);
    connect(&m_lex, &SourceLex::EnableTimer, this, [this](bool on) { timerOn = on; },
            Qt::DirectConnection);
}

FakeCodeWindow::~FakeCodeWindow()
{
    m_view.reset();
    m_doc.SetLex(nullptr);
    m_lex.Detach();
}

void FakeCodeWindow::setVanNgine(VanNgine *engine)
{
    m_lex.setVanNgine(engine);
    m_lex.setEnabled(defaultRichSource);
}

void FakeCodeWindow::RefreshCaption()
{
    ++captionRefreshes;
    if (!m_routine)
        return;
    m_doc.SetPathName(m_routine->Env().isEmpty()
                          ? m_routine->DisplayName()
                          : m_routine->DisplayName() + QStringLiteral(" from ") + m_routine->Env());
}

bool FakeCodeWindow::LineHasCommand(int line)
{
    if (line < 1 || line > m_doc.NumLines())
        return false;
    return LineEdits::hasCommand(m_doc.GetLine(line - 1));
}

void FakeCodeWindow::setCaret(int column, int line)
{
    line = std::clamp(line, 0, std::max(0, m_doc.NumLines() - 1));
    column = std::clamp(column, 0, m_doc.GetLineLength(line));
    m_caretLine = line;
    m_caretColumn = column;
    selStartColumn = selEndColumn = column;
    selStartLine = selEndLine = line;
}

void FakeCodeWindow::ensureCaretVisible()
{
    if (m_caretLine < scrollLine)
        scrollLine = m_caretLine;
    else if (m_caretLine >= scrollLine + pageLines)
        scrollLine = m_caretLine - pageLines + 1;
}

void FakeCodeWindow::setSelection(int c1, int l1, int c2, int l2)
{
    auto clampColumn = [this](int column, int line) {
        return std::clamp(column, 0, m_doc.GetLineLength(std::clamp(line, 0, m_doc.NumLines() - 1)));
    };
    selStartColumn = clampColumn(c1, l1);
    selStartLine = l1;
    selEndColumn = clampColumn(c2, l2);
    selEndLine = l2;
    m_caretColumn = selEndColumn;
    m_caretLine = l2;
}

SourceView *FakeCodeWindow::createView(int width, int height)
{
    m_view = std::make_unique<SourceView>();
    m_view->SetDocument(&m_doc);
    m_view->resize(width, height);
    m_view->show();
    return m_view.get();
}

int FakeCodeWindow::drainParseQueue(int limit)
{
    int ticks = 0;
    while (timerOn && parseTimerInterval > 0 && ticks < limit) {
        m_lex.TimerTick();
        ++ticks;
    }
    return ticks;
}

// The code window's handling of edits that insert or delete lines.
void FakeCodeWindow::onTextInserted(int c1, int l1, int c2, int l2)
{
    LineEdits::textInserted(m_routine, m_lex, c1, l1, c2, l2);
}

void FakeCodeWindow::onTextDeleted(int c1, int l1, int c2, int l2)
{
    LineEdits::textDeleted(m_routine, m_lex, c1, l1, c2, l2);
}

QStringList FakeDocLink::Transact(int, const QStringList &request)
{
    log << QStringLiteral("T:") + request.join(QLatin1Char('|'));
    if (replies.empty())
        return {QStringLiteral("MSG"), QStringLiteral("no reply scripted")};
    QStringList reply = replies.front();
    replies.pop_front();
    return reply;
}

void FakeDocLink::Send(const QStringList &fields)
{
    log << QStringLiteral("S:") + fields.join(QLatin1Char('|'));
}

BreakpointPtr enabledBreakpoint(const QString &line, const QString &rtn, int cmd, const QString &env)
{
    auto bp = std::make_shared<Breakpoint>();
    bp->Line = line;
    bp->Rtn = rtn;
    bp->Env = env;
    bp->Cmd = cmd;
    bp->Enabled = true;
    return bp;
}

QString FakeBreakpointsPane::describe(const Breakpoint &bp, bool enabled)
{
    return QStringList{QStringLiteral("BP ") + (enabled ? QLatin1Char('+') : QLatin1Char('-')),
                       bp.Line, bp.Rtn, QString::number(bp.Cmd)}.join(QLatin1Char('|'));
}

QStringList FakeBreakpointsPane::wireFields(const Breakpoint &bp, bool enabled)
{
    return {QStringLiteral("BP"), enabled ? QStringLiteral("+") : QStringLiteral("-"), bp.Line, bp.Rtn,
            QString::number(bp.Cmd), QString::number(bp.ID), QString::number(bp.Delay), bp.Condition};
}

Routine *FakeBreakpointsPane::routineOf(const Breakpoint &bp) const
{
    return m_routines ? dynamic_cast<Routine *>(m_routines->Item(bp.EnvRtn()).get()) : nullptr;
}

std::vector<BreakpointPtr> FakeBreakpointsPane::BPs(const QString &rtn)
{
    std::vector<BreakpointPtr> copies;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (rtn.isEmpty() || (*it)->Rtn == rtn)
            copies.push_back(std::make_shared<Breakpoint>(**it));
    return copies;
}

int FakeBreakpointsPane::findRow(Breakpoint &bp) const
{
    for (size_t i = 0; i < rows.size(); ++i) {
        const Breakpoint &r = *rows[i];
        if (r.Env == bp.Env && r.Rtn == bp.Rtn && r.Line == bp.Line && (bp.Cmd == 0 || r.Cmd == bp.Cmd)) {
            bp.Cmd = r.Cmd;
            return int(i);
        }
    }
    return -1;
}

void FakeBreakpointsPane::SetBP(const BreakpointPtr &bp)
{
    // The row keeps a copy and its own identifier, which the record takes over.
    const int row = findRow(*bp);
    if (row < 0) {
        bp->ID = nextId++;
        rows.push_back(std::make_shared<Breakpoint>(*bp));
    } else {
        if (rows[row]->ID == 0)
            rows[row]->ID = nextId++;
        bp->ID = rows[row]->ID;
        rows[row] = std::make_shared<Breakpoint>(*bp);
    }
    if (Routine *routine = routineOf(*bp)) {
        const int line = routine->LineOfLabel(bp->Line);
        if (line > 0)
            routine->BPSet(bp, line);
    }
    messages << describe(*bp, bp->Enabled);
    if (send)
        send(wireFields(*bp, bp->Enabled));
}

void FakeBreakpointsPane::DeleteBP(const BreakpointPtr &bp, bool lookup)
{
    if (lookup) {
        const int row = findRow(*bp);
        if (row >= 0) {
            if (rows[row]->ID != 0)
                bp->ID = rows[row]->ID;
            rows.erase(rows.begin() + row);
        }
    }
    if (bp->Line.isEmpty() || bp->Rtn.isEmpty())
        return;
    messages << describe(*bp, false);
    if (send)
        send(wireFields(*bp, false));
    if (Routine *routine = routineOf(*bp))
        routine->BPDelete(bp);
}
