#include "sourcedocument.h"

#include "editorsettings.h"
#include "linedata.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

namespace {

// A lexer that never delivers its end token must not hang the editor.
constexpr int kMaxTokensPerLine = 4096;
// A lexer that keeps asking for the next line stops at the end of the document,
// but a chain longer than this is cut so one paint never scans a whole routine.
constexpr int kMaxChainedLines = 2000;

using Slots = std::array<std::int32_t, SourceDocument::kMaxSlots>;

// Characters of one edit the undo journal keeps at most.
constexpr qsizetype kMaxJournalText = 1 << 20;

// Qt raises contentsChange only for a document that has a layout, and its
// default layout lays out every line of a routine nobody looks at. A view puts
// its own layout in place of this one.
class UnshownLayout : public QAbstractTextDocumentLayout
{
public:
    explicit UnshownLayout(QTextDocument *doc) : QAbstractTextDocumentLayout(doc) {}
    void draw(QPainter *, const PaintContext &) override {}
    int hitTest(const QPointF &, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return QSizeF(); }
    QRectF frameBoundingRect(QTextFrame *) const override { return QRectF(); }
    QRectF blockBoundingRect(const QTextBlock &) const override { return QRectF(); }

protected:
    void documentChanged(int, int, int) override {}
};

// The line and column of a character position of lines.
bool cellOf(const QStringList &lines, int position, int &column, int &line)
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

// An edit asked for while notifications were being raised; carried out right
// after them, so that every listener sees the document one change at a time.
struct SourceDocument::PendingEdit
{
    int position;
    int removeLength;
    QString text;
    bool undoable;
    QString description;
};

SourceDocument::SourceDocument(QObject *parent)
    : QObject(parent), m_doc(new QTextDocument(this))
{
    m_doc->setDocumentMargin(0);
    m_doc->setDocumentLayout(new UnshownLayout(m_doc));
    // The margin is a frame format change, which Qt records as an undo step.
    m_doc->clearUndoRedoStacks();
    m_doc->setModified(false);
    m_lines << QString();
    m_data.push_back(Slots{});
    m_colourValid.push_back(0);
    connect(m_doc, &QTextDocument::contentsChange, this, &SourceDocument::onContentsChange);
    connect(m_doc, &QTextDocument::undoCommandAdded, this, &SourceDocument::onUndoCommandAdded);
    connect(m_doc, &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (!m_holdModified)
            emit ModifiedChange(modified);
    });
}

SourceDocument::~SourceDocument() = default;

QString SourceDocument::normalizeLineEnds(const QString &text)
{
    if (!text.contains(QLatin1Char('\r')))
        return text;
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

// --- text ----------------------------------------------------------------------

QString SourceDocument::GetLine(int line) const
{
    if (line < 0 || line >= NumLines())
        return QString();
    return m_lines.at(line);
}

int SourceDocument::GetLineLength(int line) const
{
    if (line < 0 || line >= NumLines())
        return 0;
    return int(m_lines.at(line).size());
}

QString SourceDocument::Text() const
{
    return m_lines.join(QLatin1String("\r\n"));
}

int SourceDocument::positionOf(int column, int line) const
{
    // A line past the end means the end of the text (a selection of whole
    // lines may end at the start of the line after the last one).
    if (line >= NumLines())
        return m_doc->characterCount() - 1;
    line = std::clamp(line, 0, NumLines() - 1);
    column = std::clamp(column, 0, GetLineLength(line));
    return m_doc->findBlockByNumber(line).position() + column;
}

std::pair<int, int> SourceDocument::rangeOf(int c1, int l1, int c2, int l2) const
{
    const int a = positionOf(c1, l1);
    const int b = positionOf(c2, l2);
    return a <= b ? std::pair{a, b} : std::pair{b, a};
}

bool SourceDocument::SetText(const QString &text)
{
    if (m_readOnly)
        return false;
    return edit(0, m_doc->characterCount() - 1, normalizeLineEnds(text), true,
                tr("Replace All"));
}

bool SourceDocument::Insert(int column, int line, const QString &text)
{
    if (m_readOnly)
        return false;
    return edit(positionOf(column, line), 0, normalizeLineEnds(text), true, tr("Insert"));
}

bool SourceDocument::InsertOverwrite(int c1, int &l1, int c2, int &l2, const QString &text)
{
    if (m_readOnly)
        return false;
    const auto [from, to] = rangeOf(c1, l1, c2, l2);
    return edit(from, to - from, normalizeLineEnds(text), true, tr("Replace"));
}

bool SourceDocument::Delete(int c1, int l1, int c2, int l2)
{
    if (m_readOnly)
        return false;
    const auto [from, to] = rangeOf(c1, l1, c2, l2);
    if (from == to)
        return true;
    return edit(from, to - from, QString(), true, tr("Delete"));
}

void SourceDocument::InsertImpl(int column, int line, const QString &text, bool flag,
                                int *endLine, int *endCol)
{
    Q_UNUSED(flag);
    const QString clean = normalizeLineEnds(text);
    line = std::clamp(line, 0, NumLines() - 1);
    column = std::clamp(column, 0, GetLineLength(line));
    const int pos = positionOf(column, line);
    const int breaks = int(clean.count(QLatin1Char('\n')));
    const int lastBreak = int(clean.lastIndexOf(QLatin1Char('\n')));
    if (endLine)
        *endLine = line + breaks;
    if (endCol)
        *endCol = breaks == 0 ? column + int(clean.size()) : int(clean.size()) - lastBreak - 1;
    edit(pos, 0, clean, false, QString());
}

void SourceDocument::DeleteImpl(int c1, int l1, int c2, int l2)
{
    const auto [from, to] = rangeOf(c1, l1, c2, l2);
    if (from != to)
        edit(from, to - from, QString(), false, QString());
}

void SourceDocument::ReplaceChar(int column, int line, QChar ch, bool lowLevel)
{
    if (line < 0 || line >= NumLines() || column < 0 || column >= GetLineLength(line))
        return;
    if (!lowLevel && m_readOnly)
        return;
    edit(positionOf(column, line), 1, QString(ch), !lowLevel, tr("Replace"));
}

void SourceDocument::Reset()
{
    m_suppress = true;
    m_doc->setUndoRedoEnabled(false);
    QTextCursor cursor(m_doc);
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    m_doc->setUndoRedoEnabled(true);
    m_suppress = false;
    QTextBlock first = m_doc->firstBlock();
    first.setVisible(true);
    if (first.layout())
        first.layout()->clearFormats();
    m_lines = QStringList{QString()};
    m_data.assign(1, Slots{});
    m_colourValid.assign(1, 0);
    m_stepEnds.clear();
    m_stepDescriptions.clear();
    m_pendingDescription.clear();
    m_lastAvailable = 0;
    clearJournal();
    m_deferred.clear();
    m_blocksDirty = true;
    m_anyHidden = m_anyCollapsed = m_visibilityDirty = false;
    const bool wasModified = m_doc->isModified();
    m_doc->setModified(false);
    if (wasModified && m_holdModified)
        emit ModifiedChange(false);
    m_doc->markContentsDirty(0, m_doc->characterCount());
    emit visibilityChanged();
    emit repaintRequested(0, 0);
}

// --- editing machinery ------------------------------------------------------------

bool SourceDocument::edit(int position, int removeLength, const QString &text, bool undoable,
                          const QString &description)
{
    if (removeLength == 0 && text.isEmpty())
        return true;
    if (m_inChange) {
        m_deferred.push_back({position, removeLength, text, undoable, description});
        return true;
    }
    ++m_apiDepth;
    if (!undoable) {
        lowLevelEdit(position, removeLength, text);
    } else {
        QTextCursor cursor(m_doc);
        cursor.setPosition(position);
        cursor.setPosition(position + removeLength, QTextCursor::KeepAnchor);
        const bool join = m_groupDepth > 0 && m_groupHasStep && m_doc->isUndoAvailable();
        if (join) {
            cursor.joinPreviousEditBlock();
            m_joiningStep = true;
        } else {
            cursor.beginEditBlock();
            if (m_pendingDescription.isEmpty())
                m_pendingDescription = m_groupDepth > 0 ? m_groupDescription : description;
        }
        const int seq = m_changeSeq;
        cursor.insertText(text);
        cursor.endEditBlock();
        m_joiningStep = false;
        if (m_groupDepth > 0)
            m_groupHasStep = true;
        // Qt raises no change signal for an edit made while it is still raising one.
        if (seq == m_changeSeq)
            processChange(position, removeLength, int(text.size()));
    }
    --m_apiDepth;
    flushDeferred();
    return true;
}

void SourceDocument::flushDeferred()
{
    // Edits asked for by listeners run once Qt has finished the change that
    // raised the notification, one after the other, each with its own notifications.
    if (m_apiDepth > 0 || m_inChange || m_flushing)
        return;
    m_flushing = true;
    while (!m_deferred.empty()) {
        const PendingEdit e = m_deferred.front();
        m_deferred.erase(m_deferred.begin());
        edit(e.position, e.removeLength, e.text, e.undoable, e.description);
    }
    m_flushing = false;
}

void SourceDocument::lowLevelEdit(int position, int removeLength, const QString &text)
{
    const bool wasModified = m_doc->isModified();
    m_holdModified = true;
    QTextCursor cursor(m_doc);
    cursor.setPosition(position);
    cursor.setPosition(position + removeLength, QTextCursor::KeepAnchor);
    const int seq = m_changeSeq;
    if (m_doc->isUndoAvailable()) {
        // Qt offers no edit outside its history; folding it into the last step
        // keeps the number of steps (and their descriptions) as they were.
        cursor.joinPreviousEditBlock();
        m_joiningStep = true;
        cursor.insertText(text);
        cursor.endEditBlock();
        m_joiningStep = false;
    } else {
        m_doc->setUndoRedoEnabled(false);
        cursor.insertText(text);
        m_doc->setUndoRedoEnabled(true);
        m_stepEnds.clear();
        m_stepDescriptions.clear();
    }
    if (seq == m_changeSeq)
        processChange(position, removeLength, int(text.size()));
    m_doc->setModified(wasModified);
    m_holdModified = false;
}

void SourceDocument::beginUndoGroup(const QString &description)
{
    if (m_groupDepth++ == 0) {
        m_groupHasStep = false;
        m_groupDescription = description;
    }
}

void SourceDocument::endUndoGroup()
{
    if (m_groupDepth > 0 && --m_groupDepth == 0)
        m_groupHasStep = false;
}

void SourceDocument::beginEditStep(const QString &description, bool joinPrevious)
{
    ++m_apiDepth;
    m_stepCursor = QTextCursor(m_doc);
    m_stepStartUndo = m_doc->availableUndoSteps();
    const bool join = (joinPrevious || (m_groupDepth > 0 && m_groupHasStep))
                      && m_doc->isUndoAvailable();
    if (join) {
        m_stepCursor.joinPreviousEditBlock();
        m_joiningStep = true;
    } else {
        m_stepCursor.beginEditBlock();
        m_pendingDescription = m_groupDepth > 0 ? m_groupDescription : description;
    }
}

void SourceDocument::endEditStep()
{
    m_stepCursor.endEditBlock();
    m_stepCursor = QTextCursor();
    m_joiningStep = false;
    m_pendingDescription.clear();
    if (m_groupDepth > 0 && m_doc->availableUndoSteps() != m_stepStartUndo)
        m_groupHasStep = true;
    --m_apiDepth;
    flushDeferred();
}

void SourceDocument::onContentsChange(int position, int removed, int added)
{
    ++m_changeSeq;
    // Qt raises this after it recorded the change's undo command, and also
    // for undo and redo made straight on the QTextDocument.
    m_lastAvailable = m_doc->availableUndoSteps();
    if (m_suppress)
        return;
    if (m_historyStep != 0 && replayHistory())
        return;
    processChange(position, removed, added);
}

void SourceDocument::clearJournal()
{
    m_journal.clear();
    m_journalPosition = m_doc->availableUndoSteps();
}

void SourceDocument::record(int position, const QString &removed, const QString &inserted)
{
    const int now = m_doc->availableUndoSteps();
    // An edit outside the history (Qt's history was dropped) or an undo made
    // straight on the QTextDocument: the journal no longer matches the history.
    if (m_inHistory)
        return;   // a step replayHistory left to Qt's own report
    if (!m_doc->isUndoRedoEnabled() || now < m_journalPosition) {
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

bool SourceDocument::replayHistory()
{
    const bool redo = m_historyStep > 0;
    m_historyStep = 0;
    const int now = m_doc->availableUndoSteps();
    std::vector<JournalEdit> edits;
    if (redo) {
        for (const JournalEdit &e : m_journal) {
            if (e.undoPosition > m_journalPosition && e.undoPosition <= now)
                edits.push_back(e);
        }
    } else {
        for (auto it = m_journal.rbegin(); it != m_journal.rend(); ++it) {
            if (it->undoPosition > now && it->undoPosition <= m_journalPosition)
                edits.push_back({it->undoPosition, it->position, it->inserted, it->removed});
        }
    }
    // Only when the edits lead exactly to Qt's text: otherwise the change is
    // taken as Qt reports it.
    QStringList lines = m_lines;
    int column = 0;
    int line = 0;
    bool exact = !edits.empty();
    for (const JournalEdit &e : edits) {
        exact = exact && cellOf(lines, e.position, column, line)
                && replaceInLines(lines, column, line, e.removed, e.inserted);
    }
    if (exact && lines.size() == m_doc->blockCount()) {
        QTextBlock block = m_doc->firstBlock();
        for (int i = 0; exact && block.isValid(); ++i, block = block.next())
            exact = block.text() == lines.at(i);
    } else {
        exact = false;
    }
    if (!exact) {
        // A step without edits of its own leaves the journal as it was; one
        // whose edits do not lead to Qt's text shows the journal went wrong.
        if (!edits.empty())
            clearJournal();
        return false;
    }
    m_journalPosition = now;
    for (const JournalEdit &e : edits) {
        cellOf(m_lines, e.position, column, line);
        applyChange(column, line, e.removed, e.inserted);
    }
    if (!m_deferred.empty() && m_apiDepth == 0)
        QMetaObject::invokeMethod(this, &SourceDocument::flushDeferred, Qt::QueuedConnection);
    return true;
}

QString SourceDocument::documentText(int position, int length) const
{
    QTextCursor cursor(m_doc);
    cursor.setPosition(position);
    cursor.setPosition(position + length, QTextCursor::KeepAnchor);
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void SourceDocument::processChange(int position, int removed, int added)
{
    const int docEnd = m_doc->characterCount() - 1;
    position = std::clamp(position, 0, docEnd);
    added = std::clamp(added, 0, docEnd - position);

    // Where the change starts is the same before and after it.
    const QTextBlock startBlock = m_doc->findBlock(position);
    const int l1 = startBlock.isValid() ? startBlock.blockNumber() : NumLines() - 1;
    const int c1 = std::clamp(position - (startBlock.isValid() ? startBlock.position() : 0), 0,
                              GetLineLength(l1));

    // End of the removed text in the old lines.
    int l2 = l1;
    int c2 = c1;
    QString oldText;
    {
        int rest = removed;
        while (rest > 0) {
            const int available = int(m_lines.at(l2).size()) - c2;
            if (rest <= available) {
                oldText += m_lines.at(l2).mid(c2, rest);
                c2 += rest;
                rest = 0;
            } else if (l2 + 1 < NumLines()) {
                oldText += m_lines.at(l2).mid(c2) + QLatin1Char('\n');
                rest -= available + 1;
                ++l2;
                c2 = 0;
            } else {
                // Qt counts the document's closing separator; there is nothing behind it.
                oldText += m_lines.at(l2).mid(c2);
                c2 = int(m_lines.at(l2).size());
                rest = 0;
            }
        }
    }
    const QString newText = documentText(position, added);
    if (oldText == newText)
        return;   // formats only

    record(position, oldText, newText);
    applyChange(c1, l1, oldText, newText);
    if (NumLines() != m_doc->blockCount())
        resyncLines();
    // A change Qt made by itself (its own key handling) has no caller of ours to
    // run the deferred edits when it returns.
    if (!m_deferred.empty() && m_apiDepth == 0) {
        QMetaObject::invokeMethod(this, &SourceDocument::flushDeferred, Qt::QueuedConnection);
    }
}

void SourceDocument::applyChange(int c1, int l1, const QString &oldText, const QString &newText)
{
    const int breaks = int(oldText.count(QLatin1Char('\n')));
    const int l2 = l1 + breaks;
    const int c2 = breaks == 0 ? c1 + int(oldText.size())
                               : int(oldText.size() - oldText.lastIndexOf(QLatin1Char('\n')) - 1);
    m_inChange = true;

    if (!oldText.isEmpty()) {
        const QString merged = m_lines.at(l1).left(c1) + m_lines.at(l2).mid(c2);
        // c1 = 0: the old line l2 survives at l1; otherwise line l1 does.
        if (c1 == 0 && l2 > l1)
            m_data[size_t(l1)] = m_data[size_t(l2)];
        m_data.erase(m_data.begin() + l1 + 1, m_data.begin() + l2 + 1);
        m_lines[l1] = merged;
        m_lines.erase(m_lines.begin() + l1 + 1, m_lines.begin() + l2 + 1);
        m_colourValid.erase(m_colourValid.begin() + l1 + 1, m_colourValid.begin() + l2 + 1);
        m_colourValid[l1] = 0;
        markBlocksDirty();
        emit TextDeleted(c1, l1, c2, l2);
    }
    if (!newText.isEmpty()) {
        const QStringList pieces = newText.split(QLatin1Char('\n'));
        const int k = int(pieces.size()) - 1;
        const QString before = m_lines.at(l1).left(c1);
        const QString after = m_lines.at(l1).mid(c1);
        const int ie2 = l1 + k;
        const int ic2 = k == 0 ? c1 + int(pieces.at(0).size()) : int(pieces.at(k).size());
        if (k == 0) {
            m_lines[l1] = before + pieces.at(0) + after;
        } else {
            // One splice, so a long paste into a long routine stays linear.
            QStringList lines;
            lines.reserve(m_lines.size() + k);
            lines.append(m_lines.mid(0, l1));
            lines << before + pieces.at(0);
            for (int i = 1; i < k; ++i)
                lines << pieces.at(i);
            lines << pieces.at(k) + after;
            lines.append(m_lines.mid(l1 + 1));
            m_lines.swap(lines);
            // c1 = 0: the old line l1 moves down with its text; otherwise it keeps its data.
            const int insertAt = c1 == 0 ? l1 : l1 + 1;
            m_data.insert(m_data.begin() + insertAt, size_t(k), Slots{});
            m_colourValid.insert(m_colourValid.begin() + l1 + 1, size_t(k), 0);
        }
        m_colourValid[l1] = 0;
        markBlocksDirty();
        emit TextInserted(c1, l1, ic2, ie2);
    }

    m_inChange = false;
}

void SourceDocument::resyncLines()
{
    // Someone edited the QTextDocument behind our back while we were raising
    // notifications: take the text as it is; line data keep their indexes.
    QStringList lines;
    for (QTextBlock b = m_doc->firstBlock(); b.isValid(); b = b.next())
        lines << b.text();
    m_lines = lines;
    m_data.resize(size_t(lines.size()), Slots{});
    m_colourValid.assign(size_t(lines.size()), 0);
    markBlocksDirty();
}

// --- line data ----------------------------------------------------------------------

void SourceDocument::SetExtraData(int count)
{
    m_extraData = std::clamp(count, 1, int(kMaxSlots));
}

std::int32_t SourceDocument::GetLineData(int line, int slot) const
{
    if (line < 0 || line >= NumLines() || slot < 0 || slot >= m_extraData)
        return 0;
    if (slot == LineData::kControlSlot && m_blocksDirty)
        const_cast<SourceDocument *>(this)->refreshBlockBits();
    return m_data[size_t(line)][size_t(slot)];
}

void SourceDocument::SetLineData(int line, int slot, std::int32_t value)
{
    if (line < 0 || line >= NumLines() || slot < 0 || slot >= m_extraData)
        return;
    std::int32_t &cell = m_data[size_t(line)][size_t(slot)];
    if (slot == LineData::kFlagSlot
        && ((cell ^ value) & (LineData::kBlockStart | LineData::kDepthMask)))
        markBlocksDirty();
    if (slot == LineData::kControlSlot) {
        // The block bits are the control's to compute; a caller sets the rest.
        value = (value & ~LineData::kBlockBits) | (cell & LineData::kBlockBits);
    }
    const bool flagsChanged = slot == LineData::kFlagSlot && cell != value;
    cell = value;
    // The lexer colours a line from its flag word (the caret line shows some
    // tokens plainly) and the margin paints it, and callers repaint only some
    // of the lines they mark: a line whose word changed from outside a scan is
    // coloured and painted again. Inside a scan the lexer itself says which
    // lines must follow.
    if (flagsChanged && !m_colouring) {
        m_colourValid[size_t(line)] = 0;
        emit repaintRequested(line, line);
    }
}

bool SourceDocument::changeLineFlags(int line, std::int32_t set, std::int32_t clear)
{
    if (line < 0 || line >= NumLines())
        return false;
    const std::int32_t old = GetLineData(line, LineData::kFlagSlot);
    const std::int32_t value = LineData::applyFlags(old, set, clear);
    if (value == old)
        return false;
    SetLineData(line, LineData::kFlagSlot, value);
    if (m_colouring)
        UpdateViews(2, line, line);
    return true;
}

// --- colouring ------------------------------------------------------------------------

void SourceDocument::SetLex(ISourceLex *lex)
{
    m_lex = lex;
    std::fill(m_colourValid.begin(), m_colourValid.end(), 0);
    emit repaintRequested(0, NumLines() - 1);
}

void SourceDocument::setSettings(EditorSettings *settings)
{
    if (m_settings == settings)
        return;
    if (m_settings)
        disconnect(m_settings, nullptr, this, nullptr);
    m_settings = settings;
    if (m_settings) {
        connect(m_settings, &EditorSettings::colourTableChanged, this,
                [this] { UpdateViews(8, 0, 0); });
    }
    UpdateViews(8, 0, 0);
}

void SourceDocument::UpdateViews(int kind, int from, int to, int, int)
{
    if (kind == 8) {
        std::fill(m_colourValid.begin(), m_colourValid.end(), 0);
        emit repaintRequested(0, NumLines() - 1);
        return;
    }
    if (from > to)
        std::swap(from, to);
    from = std::max(from, 0);
    to = std::min(to, NumLines() - 1);
    for (int line = from; line <= to; ++line)
        m_colourValid[size_t(line)] = 0;
    if (from <= to)
        emit repaintRequested(from, to);
}

void SourceDocument::UpdateLines(int first, int last, int &endLine)
{
    endLine = last;
    if (m_colouring || NumLines() == 0)
        return;
    m_colouring = true;
    first = std::clamp(first, 0, NumLines() - 1);
    int line = first;
    int chained = 0;
    while (line < NumLines()) {
        bool scanNext = false;
        scanLine(line, scanNext);
        endLine = line;
        if (line < last || (scanNext && ++chained < kMaxChainedLines))
            ++line;
        else
            break;
    }
    m_colouring = false;
    emit repaintRequested(first, endLine);
}

void SourceDocument::colourLines(int first, int last)
{
    if (m_colouring)
        return;
    m_colouring = true;
    int line = std::max(first, 0);
    while (line <= last && line < NumLines()) {
        if (m_colourValid[size_t(line)]) {
            ++line;
            continue;
        }
        bool scanNext = false;
        scanLine(line, scanNext);
        int chained = 0;
        while (scanNext && line + 1 < NumLines() && ++chained < kMaxChainedLines) {
            ++line;
            scanLine(line, scanNext);
        }
        ++line;
    }
    m_colouring = false;
}

bool SourceDocument::coloursValid(int line) const
{
    return line >= 0 && line < NumLines() && m_colourValid[size_t(line)];
}

void SourceDocument::scanLine(int line, bool &scanNext)
{
    scanNext = false;
    // Valid before the scan: a lexer that edits the line while scanning marks it
    // invalid again, and it is scanned once more.
    m_colourValid[size_t(line)] = 1;
    if (!m_lex) {
        applyFormats(line, {});
        return;
    }
    std::vector<SourceToken> tokens;
    m_lex->BeginLineScan(this, line, GetLine(line), 0);
    for (int i = 0; i < kMaxTokensPerLine; ++i) {
        SourceToken token;
        m_lex->ScanToken(token);
        if (token.TokenType == 0)
            break;
        tokens.push_back(token);
    }
    m_lex->EndLineScan(this, scanNext);
    if (line < NumLines())
        applyFormats(line, tokens);
}

void SourceDocument::applyFormats(int line, const std::vector<SourceToken> &tokens)
{
    QTextBlock block = m_doc->findBlockByNumber(line);
    if (!block.isValid() || !block.layout())
        return;
    const int length = block.length() - 1;
    QList<QTextLayout::FormatRange> ranges;
    int previousEnd = 0;
    for (const SourceToken &token : tokens) {
        // Tokens may overlap (a lexer ends with a plain token over the whole
        // line); each one colours only what earlier ones left.
        // The end is summed wide: a lexer may give the largest length for "to the
        // end of the line".
        const int start = std::max(token.Start, previousEnd);
        const int end = int(std::min(qint64(token.Start) + token.Length, qint64(length)));
        if (end <= start)
            continue;
        previousEnd = end;
        if (!m_settings || !m_settings->hasTokenStyle(token.TokenType))
            continue;
        QTextLayout::FormatRange range;
        range.start = start;
        range.length = end - start;
        range.format = m_settings->formatFor(token.TokenType);
        ranges << range;
    }
    if (block.layout()->formats() == ranges)
        return;
    block.layout()->setFormats(ranges);
    m_doc->markContentsDirty(block.position(), block.length());
}

int SourceDocument::LastVisibleLine() const
{
    if (m_lastVisibleLine)
        return std::min(m_lastVisibleLine(), NumLines() - 1);
    return NumLines() - 1;
}

void SourceDocument::setLastVisibleLineProvider(std::function<int()> provider)
{
    m_lastVisibleLine = std::move(provider);
}

// --- state ---------------------------------------------------------------------------

void SourceDocument::SetReadOnly(bool readOnly)
{
    if (readOnly == m_readOnly)
        return;
    m_readOnly = readOnly;
    emit readOnlyChanged(readOnly);
}

bool SourceDocument::Modified() const
{
    return m_doc->isModified();
}

void SourceDocument::SetModified(bool modified)
{
    m_doc->setModified(modified);
}

void SourceDocument::EnableOptions(int option, bool enable)
{
    if (enable)
        m_options |= option;
    else
        m_options &= ~option;
}

// --- bookmarks --------------------------------------------------------------------------

void SourceDocument::ToggleBookmark(int line)
{
    if (line < 0 || line >= NumLines())
        return;
    m_data[size_t(line)][0] ^= LineData::kBookmark;
    emit repaintRequested(line, line);
}

int SourceDocument::NextBookmark(int line) const
{
    const int n = NumLines();
    for (int i = 1; i <= n; ++i) {
        const int k = ((line + i) % n + n) % n;
        if (m_data[size_t(k)][0] & LineData::kBookmark)
            return k;
    }
    return -1;
}

int SourceDocument::PrevBookmark(int line) const
{
    const int n = NumLines();
    for (int i = 1; i <= n; ++i) {
        const int k = ((line - i) % n + n) % n;
        if (m_data[size_t(k)][0] & LineData::kBookmark)
            return k;
    }
    return -1;
}

void SourceDocument::ClearAllBookmarks()
{
    for (size_t i = 0; i < m_data.size(); ++i) {
        if (m_data[i][0] & LineData::kBookmark) {
            m_data[i][0] &= ~LineData::kBookmark;
            emit repaintRequested(int(i), int(i));
        }
    }
}

int SourceDocument::NumBookmarks() const
{
    return int(std::count_if(m_data.begin(), m_data.end(),
                             [](const Slots &s) { return s[0] & LineData::kBookmark; }));
}

// --- undo ------------------------------------------------------------------------------

bool SourceDocument::CanUndo() const
{
    return m_doc->isUndoAvailable();
}

bool SourceDocument::CanRedo() const
{
    return m_doc->isRedoAvailable();
}

void SourceDocument::Undo()
{
    stepHistory(false);
}

void SourceDocument::Redo()
{
    stepHistory(true);
}

void SourceDocument::stepHistory(bool redo)
{
    if (m_readOnly || !(redo ? m_doc->isRedoAvailable() : m_doc->isUndoAvailable()))
        return;
    ++m_apiDepth;
    m_inHistory = true;
    m_historyStep = redo ? 1 : -1;
    if (redo)
        m_doc->redo();
    else
        m_doc->undo();
    m_historyStep = 0;
    m_inHistory = false;
    m_journalPosition = m_doc->availableUndoSteps();
    --m_apiDepth;
    m_lastAvailable = m_doc->availableUndoSteps();
    flushDeferred();
}

int SourceDocument::UndoStepCount() const
{
    if (!m_doc->isUndoAvailable())
        return 0;
    // Steps whose end lies above Qt's undo position are undone (redoable).
    const int available = m_doc->availableUndoSteps();
    return int(std::upper_bound(m_stepEnds.begin(), m_stepEnds.end(), available)
               - m_stepEnds.begin());
}

QString SourceDocument::UndoStepDescription(int k, int *flags) const
{
    Q_UNUSED(flags);
    const int count = UndoStepCount();
    if (k < 0 || k >= count)
        return QString();
    return m_stepDescriptions.value(count - 1 - k);
}

void SourceDocument::setPendingUndoDescription(const QString &description)
{
    m_pendingDescription = description;
}

void SourceDocument::onUndoCommandAdded()
{
    // A new command drops the steps that were undone before it: their ends lie
    // above the undo position Qt had before this command.
    while (!m_stepEnds.empty() && m_stepEnds.back() > m_lastAvailable) {
        m_stepEnds.pop_back();
        m_stepDescriptions.removeLast();
    }
    const int available = m_doc->availableUndoSteps();
    m_lastAvailable = available;
    if (m_joiningStep && !m_stepEnds.empty()) {
        m_stepEnds.back() = available;
        return;
    }
    m_stepEnds.push_back(available);
    m_stepDescriptions << (m_pendingDescription.isEmpty() ? tr("Typing") : m_pendingDescription);
    m_pendingDescription.clear();
}

// --- collapsible blocks ------------------------------------------------------------------

void SourceDocument::setCollapsingEnabled(bool enabled)
{
    if (enabled == m_collapsing)
        return;
    m_collapsing = enabled;
    if (!enabled) {
        for (Slots &s : m_data)
            s[0] &= ~LineData::kBlockBits;
    }
    markBlocksDirty();
    m_visibilityDirty = true;
    applyVisibility();
    emit repaintRequested(0, NumLines() - 1);
}

void SourceDocument::markBlocksDirty()
{
    m_blocksDirty = true;
    // Only a collapsed block hides lines; without one there is nothing to redo.
    if (m_anyHidden || (m_collapsing && m_anyCollapsed))
        m_visibilityDirty = true;
}

void SourceDocument::refreshBlockBits()
{
    m_blocksDirty = false;
    if (!m_collapsing)
        return;
    // Open blocks as (header line, header depth); a line ends every block whose
    // depth is not below its own.
    std::vector<std::pair<int, int>> open;
    for (int line = 0; line < NumLines(); ++line) {
        Slots &s = m_data[size_t(line)];
        const std::int32_t flags = s[LineData::kFlagSlot];
        const int depth = LineData::depthOf(flags);
        while (!open.empty() && depth <= open.back().second)
            open.pop_back();
        std::int32_t bits = open.empty() ? 0 : LineData::kBlockBody;
        if (flags & LineData::kBlockStart) {
            bits |= LineData::kBlockHeader | (s[0] & LineData::kBlockCollapsed);
            open.emplace_back(line, depth);
        }
        s[0] = (s[0] & ~LineData::kBlockBits) | bits;
    }
}

void SourceDocument::applyVisibility()
{
    if (!m_visibilityDirty)
        return;
    m_visibilityDirty = false;
    if (m_blocksDirty)
        refreshBlockBits();
    bool changed = false;
    bool anyHidden = false;
    bool anyCollapsed = false;
    std::vector<std::pair<int, bool>> open;   // depth, collapsed
    QTextBlock block = m_doc->firstBlock();
    for (int line = 0; line < NumLines() && block.isValid(); ++line, block = block.next()) {
        const Slots &s = m_data[size_t(line)];
        bool hidden = false;
        if (m_collapsing) {
            const int depth = LineData::depthOf(s[LineData::kFlagSlot]);
            while (!open.empty() && depth <= open.back().first)
                open.pop_back();
            hidden = std::any_of(open.begin(), open.end(),
                                 [](const std::pair<int, bool> &o) { return o.second; });
            if (s[0] & LineData::kBlockHeader) {
                open.emplace_back(depth, (s[0] & LineData::kBlockCollapsed) != 0);
                anyCollapsed = anyCollapsed || open.back().second;
            }
        }
        anyHidden = anyHidden || hidden;
        if (block.isVisible() == hidden) {
            block.setVisible(!hidden);
            m_doc->markContentsDirty(block.position(), block.length());
            changed = true;
        }
    }
    m_anyHidden = anyHidden;
    m_anyCollapsed = anyCollapsed;
    if (changed)
        emit visibilityChanged();
}

bool SourceDocument::isLineHidden(int line) const
{
    const QTextBlock block = m_doc->findBlockByNumber(line);
    return block.isValid() && !block.isVisible();
}

int SourceDocument::blockEnd(int header) const
{
    const int depth = LineData::depthOf(m_data[size_t(header)][LineData::kFlagSlot]);
    int line = header + 1;
    while (line < NumLines()
           && LineData::depthOf(m_data[size_t(line)][LineData::kFlagSlot]) > depth)
        ++line;
    return line - 1;
}

int SourceDocument::blockHeaderOf(int line) const
{
    if (!m_collapsing || line < 0 || line >= NumLines())
        return -1;
    if (m_blocksDirty)
        const_cast<SourceDocument *>(this)->refreshBlockBits();
    for (int k = line; k >= 0; --k) {
        if ((m_data[size_t(k)][0] & LineData::kBlockHeader) && blockEnd(k) >= line)
            return k;
    }
    return -1;
}

bool SourceDocument::CollapseBlock(int line)
{
    const int header = blockHeaderOf(line);
    if (header < 0 || (m_data[size_t(header)][0] & LineData::kBlockCollapsed))
        return false;
    m_data[size_t(header)][0] |= LineData::kBlockCollapsed;
    m_visibilityDirty = true;
    applyVisibility();
    emit repaintRequested(header, header);
    return true;
}

bool SourceDocument::ExpandBlock(int line)
{
    if (!m_collapsing || line < 0 || line >= NumLines())
        return false;
    if (m_blocksDirty)
        refreshBlockBits();
    int header = -1;
    for (int k = line; k >= 0; --k) {
        const std::int32_t s0 = m_data[size_t(k)][0];
        if ((s0 & LineData::kBlockHeader) && (s0 & LineData::kBlockCollapsed)
            && blockEnd(k) >= line) {
            header = k;
            break;
        }
    }
    if (header < 0)
        return false;
    m_data[size_t(header)][0] &= ~LineData::kBlockCollapsed;
    m_visibilityDirty = true;
    applyVisibility();
    emit repaintRequested(header, header);
    return true;
}

void SourceDocument::CollapseAll()
{
    if (!m_collapsing)
        return;
    if (m_blocksDirty)
        refreshBlockBits();
    for (Slots &s : m_data) {
        if (s[0] & LineData::kBlockHeader)
            s[0] |= LineData::kBlockCollapsed;
    }
    m_visibilityDirty = true;
    applyVisibility();
    emit repaintRequested(0, NumLines() - 1);
}

void SourceDocument::ExpandAll()
{
    for (Slots &s : m_data)
        s[0] &= ~LineData::kBlockCollapsed;
    m_visibilityDirty = true;
    applyVisibility();
    emit repaintRequested(0, NumLines() - 1);
}
