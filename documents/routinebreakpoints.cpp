// Breakpoints on the lines of a routine document: the index the margin markers are drawn
// from, toggling at the caret, and keeping each breakpoint at its place in the text when
// lines move or labels change. Every change that must reach the server goes through the
// breakpoints pane, which sends the "BP" messages and calls BPSet/BPDelete back.

#include "routine.h"

#include "docservices.h"
#include "icodewindow.h"
#include "idoclink.h"
#include "linedata.h"
#include "sourcedocument.h"
#include "userprompt.h"

namespace {

IBreakpointsPane *pane()
{
    return docServices().breakpoints;
}

} // namespace

std::vector<BreakpointPtr> Routine::BPsOnLine(int line) const
{
    if (line < 1 || line > int(m_bpIndex.size()))
        return {};
    return m_bpIndex[line - 1];
}

void Routine::BPSet(const BreakpointPtr &bp, int line)
{
    if (!bp)
        return;
    if (bp->Env.isEmpty())
        bp->Env = m_env;
    if (line == 0)
        line = LineOfLabel(bp->Line);
    if (line < 1 || line > document()->NumLines())
        return;
    if (line > int(m_bpIndex.size()))
        m_bpIndex.resize(line);
    // One record per command and line: setting a command again replaces its record.
    auto &onLine = m_bpIndex[line - 1];
    auto same = std::find_if(onLine.begin(), onLine.end(),
                             [&bp](const BreakpointPtr &b) { return b->Cmd == bp->Cmd; });
    if (same != onLine.end())
        *same = bp;
    else
        onLine.push_back(bp);
    if (onLine.size() == 1)
        SetLineFlags(line, LineData::kBreakpoint, 0);
    document()->UpdateViews(2, line - 1, line - 1, 0, 0);
}

void Routine::BPDelete(const BreakpointPtr &bp)
{
    // While lines move, the references still name the old numbering; the walk that
    // takes the records off removes them at the lines it visits instead.
    if (!bp || m_bulk)
        return;
    const int line = LineOfLabel(bp->Line);
    if (line < 1 || line > int(m_bpIndex.size()))
        return;
    auto &onLine = m_bpIndex[line - 1];
    onLine.erase(std::remove_if(onLine.begin(), onLine.end(),
                                [&bp](const BreakpointPtr &b) { return b->Cmd == bp->Cmd; }),
                 onLine.end());
    if (onLine.empty())
        SetLineFlags(line, 0, LineData::kBreakpoint);
    document()->UpdateViews(2, line - 1, line - 1, 0, 0);
}

BreakpointPtr Routine::BPAtCmdOnLine(int line, int cmd)
{
    if (line == 0)
        line = m_window->caretLine() + 1;
    if (cmd == 0)
        cmd = CommandOfPos(line, m_window->caretColumn() + 1);
    for (const BreakpointPtr &bp : BPsOnLine(line))
        if (bp->Cmd == cmd)
            return bp;
    return nullptr;
}

void Routine::ToggleBreakpoint(int lineNumber, int cmd)
{
    if (m_rtn.startsWith(QLatin1Char('@'))) {
        tellUser(QStringLiteral("Breakpoint cannot be set in an Xecute."), QString(),
                 IUserPrompt::Icon::Information);
        return;
    }
    const int line = lineNumber == 0 ? m_window->caretLine() + 1 : lineNumber;
    if (cmd == 0) {
        cmd = CommandOfPos(line, m_window->caretColumn() + 1);
        if (cmd == 0)
            cmd = 1;
    }
    // A server without breakpoints on later commands would stop at the line's first one
    // anyway; the record must say so.
    if (cmd > 1 && m_link && !m_link->HasFeature(16))
        cmd = 1;
    if (BreakpointPtr existing = BPAtCmdOnLine(line, cmd)) {
        if (pane())
            pane()->DeleteBP(existing, true);
        return;
    }
    if (!m_window->LineHasCommand(line)) {
        tellUser(QStringLiteral("Breakpoint cannot be set on a line containing no executable command."),
                 QString(), IUserPrompt::Icon::Information);
        return;
    }
    auto bp = std::make_shared<Breakpoint>();
    bp->Line = LabelPlusOffsetOfLine(line);
    bp->Rtn = m_rtn;
    bp->Env = m_env;
    bp->Cmd = cmd;
    bp->Enabled = true;
    if (pane())
        pane()->SetBP(bp);
}

void Routine::ToggleBreakpointState(int lineNumber, int cmd)
{
    const int line = lineNumber == 0 ? m_window->caretLine() + 1 : lineNumber;
    if (cmd == 0) {
        cmd = CommandOfPos(line, m_window->caretColumn() + 1);
        if (cmd == 0 && m_window->LineHasCommand(line))
            cmd = 1;
    }
    BreakpointPtr bp = BPAtCmdOnLine(line, cmd);
    if (!bp)
        return;
    bp->Enabled = !bp->Enabled;
    if (pane())
        pane()->SetBP(bp);
}

QString Routine::SplitLabelOffset(int line) const
{
    // Line 0 is not "the caret line" here: the label above line 1 is none.
    if (line < 1)
        return QString();
    const QString ref = LabelPlusOffsetOfLine(line);
    const int plus = ref.indexOf(QLatin1Char('+'));
    return plus < 0 ? ref : ref.left(plus);
}

QString Routine::labelPart(const QString &reference)
{
    const int plus = reference.indexOf(QLatin1Char('+'));
    return plus < 0 ? reference : reference.left(plus);
}

void Routine::takeOff(int line, const BreakpointPtr &bp)
{
    if (line >= 1 && line <= int(m_bpIndex.size())) {
        auto &onLine = m_bpIndex[line - 1];
        onLine.erase(std::remove(onLine.begin(), onLine.end(), bp), onLine.end());
    }
    if (pane())
        pane()->DeleteBP(bp, true);
}

void Routine::OnLinesDeleted(int from, int to)
{
    if (to < from)
        return;
    const int n = to - from + 1;
    m_bulk = true;
    for (int line = from; line <= std::min(to, int(m_bpIndex.size())); ++line)
        for (const BreakpointPtr &bp : BPsOnLine(line))
            takeOff(line, bp);

    const QString owner = SplitLabelOffset(to);
    m_moved.clear();
    for (int line = to + 1; line <= int(m_bpIndex.size()); ++line) {
        const auto onLine = BPsOnLine(line);
        if (onLine.empty())
            continue;
        if (SplitLabelOffset(line) != owner && line > to + 1)
            break;
        for (const BreakpointPtr &bp : onLine) {
            takeOff(line, bp);
            bp->Line = QLatin1Char('+') + QString::number(line - n);
            m_moved.push_back(bp);
        }
    }
    const int last = std::min(to, int(m_bpIndex.size()));
    if (from <= last)
        m_bpIndex.erase(m_bpIndex.begin() + (from - 1), m_bpIndex.begin() + last);
    m_bulk = false;
}

void Routine::OnLinesInserted(int from, int to)
{
    if (to < from)
        return;
    const int n = to - from + 1;
    m_bulk = true;
    const QString owner = SplitLabelOffset(from);
    m_moved.clear();
    for (int line = from; line <= int(m_bpIndex.size()); ++line) {
        const auto onLine = BPsOnLine(line);
        if (onLine.empty())
            continue;
        if (SplitLabelOffset(line) != owner)
            break;
        for (const BreakpointPtr &bp : onLine) {
            takeOff(line, bp);
            bp->Line = QLatin1Char('+') + QString::number(line + n);
            m_moved.push_back(bp);
        }
    }
    if (int(m_bpIndex.size()) >= from)
        m_bpIndex.insert(m_bpIndex.begin() + (from - 1), size_t(n), std::vector<BreakpointPtr>());
    m_bulk = false;
}

void Routine::AfterLinesDeleted(int, int)
{
    const std::vector<BreakpointPtr> moved = std::move(m_moved);
    m_moved.clear();
    for (const BreakpointPtr &bp : moved) {
        const int line = bp->Line.mid(1).toInt();
        if (line < 1)
            continue;
        bp->Line = LabelPlusOffsetOfLine(line);
        if (pane())
            pane()->SetBP(bp);
    }
}

void Routine::AfterLinesInserted(int from, int to)
{
    AfterLinesDeleted(from, to);
}

void Routine::rebaseBlock(int lineNumber, const QString &expected,
                          const std::function<QString(int)> &reference)
{
    for (int line = std::max(lineNumber, 1); line <= int(m_bpIndex.size()); ++line) {
        const auto onLine = BPsOnLine(line);
        if (onLine.empty())
            continue;
        if (labelPart(onLine.front()->Line) != expected)
            break;
        for (const BreakpointPtr &bp : onLine) {
            // The record leaves the index at the line being walked: its old reference
            // may no longer resolve to this line once the label changed.
            m_bulk = true;
            takeOff(line, bp);
            m_bulk = false;
            bp->Line = reference(line);
            if (pane())
                pane()->SetBP(bp);
        }
    }
}

void Routine::OnLabelRevised(int lineNumber, const QString &oldLabel, const QString &newLabel)
{
    if (!oldLabel.isEmpty() && !newLabel.isEmpty()) {
        rebaseBlock(lineNumber, oldLabel, [&](int line) {
            return line > lineNumber ? newLabel + QLatin1Char('+') + QString::number(line - lineNumber)
                                     : newLabel;
        });
    } else if (!oldLabel.isEmpty()) {
        const QString p = SplitLabelOffset(lineNumber - 1);
        const int q = p.isEmpty() ? 0 : LineOfLabel(p);
        rebaseBlock(lineNumber, oldLabel, [&](int line) {
            return line > q ? p + QLatin1Char('+') + QString::number(line - q) : p;
        });
    } else {
        const QString p = SplitLabelOffset(lineNumber - 1);
        rebaseBlock(lineNumber, p, [&](int line) {
            return line > lineNumber ? newLabel + QLatin1Char('+') + QString::number(line - lineNumber)
                                     : newLabel;
        });
    }
}
