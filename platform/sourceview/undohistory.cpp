#include "undohistory.h"

#include <QCoreApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

namespace {

// Characters of one edit the journal keeps at most.
constexpr qsizetype kMaxJournalText = 1 << 20;

// Replaces removed, which must stand at (column, line), by inserted.
bool replaceInLines(QStringList &lines, int column, int line, const QString &removed,
                    const QString &inserted)
{
    const QStringList gone = removed.split(QLatin1Char('\n'));
    const int last = line + int(gone.size()) - 1;
    if (last >= lines.size())
        return false;
    const int endColumn = gone.size() == 1 ? column + int(removed.size()) : int(gone.last().size());
    if (gone.size() == 1) {
        if (lines.at(line).mid(column, removed.size()) != removed
            || column + removed.size() > lines.at(line).size())
            return false;
    } else {
        if (lines.at(line).mid(column) != gone.first() || lines.at(last).left(endColumn) != gone.last()
            || lines.at(last).size() < endColumn)
            return false;
        for (int i = 1; i + 1 < gone.size(); ++i) {
            if (lines.at(line + i) != gone.at(i))
                return false;
        }
    }
    const QString merged = lines.at(line).left(column) + inserted + lines.at(last).mid(endColumn);
    QStringList result = lines.mid(0, line);
    result << merged.split(QLatin1Char('\n'));
    result << lines.mid(last + 1);
    lines.swap(result);
    return true;
}

} // namespace

UndoHistory::UndoHistory(QTextDocument *text) : m_text(text) {}

bool UndoHistory::cellOf(const QStringList &lines, int position, int &column, int &line)
{
    for (line = 0; line < lines.size(); ++line) {
        const int length = int(lines.at(line).size());
        if (position <= length) {
            column = position;
            return position >= 0;
        }
        position -= length + 1;
    }
    return false;
}

// --- steps ---------------------------------------------------------------------------

int UndoHistory::stepCount() const
{
    if (!m_text->isUndoAvailable())
        return 0;
    // Steps whose end lies above Qt's undo position are undone (redoable).
    const int available = m_text->availableUndoSteps();
    return int(std::upper_bound(m_stepEnds.begin(), m_stepEnds.end(), available)
               - m_stepEnds.begin());
}

QString UndoHistory::stepDescription(int k) const
{
    const int count = stepCount();
    if (k < 0 || k >= count)
        return QString();
    return m_stepDescriptions.value(count - 1 - k);
}

void UndoHistory::commandAdded()
{
    // A new command drops the steps that were undone before it: their ends lie
    // above the undo position Qt had before this command.
    while (!m_stepEnds.empty() && m_stepEnds.back() > m_lastAvailable) {
        m_stepEnds.pop_back();
        m_stepDescriptions.removeLast();
    }
    const int available = m_text->availableUndoSteps();
    m_lastAvailable = available;
    if (m_joining && !m_stepEnds.empty()) {
        m_stepEnds.back() = available;
        return;
    }
    m_stepEnds.push_back(available);
    m_stepDescriptions << (m_pendingDescription.isEmpty()
                               ? QCoreApplication::translate("SourceDocument", "Typing")
                               : m_pendingDescription);
    m_pendingDescription.clear();
}

void UndoHistory::notePosition()
{
    m_lastAvailable = m_text->availableUndoSteps();
}

void UndoHistory::forgetSteps()
{
    m_stepEnds.clear();
    m_stepDescriptions.clear();
}

void UndoHistory::clear()
{
    forgetSteps();
    m_pendingDescription.clear();
    m_lastAvailable = 0;
    clearJournal();
}

// --- journal -------------------------------------------------------------------------

void UndoHistory::clearJournal()
{
    m_journal.clear();
    m_journalPosition = m_text->availableUndoSteps();
}

void UndoHistory::record(int position, const QString &removed, const QString &inserted)
{
    const int now = m_text->availableUndoSteps();
    if (m_inHistory)
        return;   // a step takeReplay left to Qt's own report
    // An edit outside the history (Qt's history was dropped) or an undo made
    // straight on the QTextDocument: the journal no longer matches the history.
    if (!m_text->isUndoRedoEnabled() || now < m_journalPosition) {
        clearJournal();
        return;
    }
    // A new edit drops the undone steps.
    while (!m_journal.empty() && m_journal.back().undoPosition > m_journalPosition)
        m_journal.pop_back();
    m_journalPosition = now;
    // A whole text replaced (a report pane appending) is not kept twice over;
    // its step is undone as Qt reports it, and the steps before it still replay.
    if (removed.size() + inserted.size() > kMaxJournalText)
        return;
    if (!m_journal.empty() && !m_stepEnds.empty() && removed.isEmpty()) {
        // Typing on where the same step's typing stopped is one insertion, as
        // the step reads to the user.
        JournalEdit &last = m_journal.back();
        const int stepStart = m_stepEnds.size() >= 2 ? m_stepEnds[m_stepEnds.size() - 2] : 0;
        if (last.undoPosition > stepStart && last.removed.isEmpty()
            && position == last.position + last.inserted.size()) {
            last.inserted += inserted;
            last.undoPosition = now;
            return;
        }
    }
    m_journal.push_back({now, position, removed, inserted});
}

void UndoHistory::beginHistoryStep(bool redo)
{
    m_inHistory = true;
    m_historyStep = redo ? 1 : -1;
}

void UndoHistory::endHistoryStep()
{
    m_historyStep = 0;
    m_inHistory = false;
    m_journalPosition = m_text->availableUndoSteps();
    m_lastAvailable = m_journalPosition;
}

bool UndoHistory::takeReplay(const QStringList &lines, std::vector<Replay> &edits)
{
    const bool redo = m_historyStep > 0;
    m_historyStep = 0;
    edits.clear();
    const int now = m_text->availableUndoSteps();
    std::vector<JournalEdit> steps;
    if (redo) {
        for (const JournalEdit &e : m_journal) {
            if (e.undoPosition > m_journalPosition && e.undoPosition <= now)
                steps.push_back(e);
        }
    } else {
        for (auto it = m_journal.rbegin(); it != m_journal.rend(); ++it) {
            if (it->undoPosition > now && it->undoPosition <= m_journalPosition)
                steps.push_back({it->undoPosition, it->position, it->inserted, it->removed});
        }
    }
    // Only when the edits lead exactly to Qt's text: otherwise the change is
    // taken as Qt reports it.
    QStringList result = lines;
    bool exact = !steps.empty();
    for (const JournalEdit &e : steps) {
        int column = 0;
        int line = 0;
        exact = exact && cellOf(result, e.position, column, line)
                && replaceInLines(result, column, line, e.removed, e.inserted);
        if (exact)
            edits.push_back({column, line, e.removed, e.inserted});
    }
    if (exact && result.size() == m_text->blockCount()) {
        QTextBlock block = m_text->firstBlock();
        for (int i = 0; exact && block.isValid(); ++i, block = block.next())
            exact = block.text() == result.at(i);
    } else {
        exact = false;
    }
    if (!exact) {
        // A step without edits of its own leaves the journal as it was; one
        // whose edits do not lead to Qt's text shows the journal went wrong.
        if (!steps.empty())
            clearJournal();
        edits.clear();
        return false;
    }
    m_journalPosition = now;
    return true;
}
