#include "sourcedocument.h"

#include "editorsettings.h"
#include "linedata.h"
#include "sourcecolouring.h"
#include "sourcefolding.h"
#include "undohistory.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

namespace {

using Slots = LineData::Slots;

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

// Qt keeps such a text character for character, its '\n' becoming the block separator
// that documentText reads back as '\n'; other characters Qt turns into block separators
// would not read back as they went in.
bool readsBackAsInserted(const QString &text)
{
    for (const char16_t c : {u'\r', u'\u2029', u'\uFDD0', u'\uFDD1'}) {
        if (text.contains(QChar(c)))
            return false;
    }
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
    bool oneChar;   // the single-character operation
};

SourceDocument::SourceDocument(QObject *parent)
    : QObject(parent), m_doc(new QTextDocument(this)),
      m_history(std::make_unique<UndoHistory>(m_doc)),
      m_folding(std::make_unique<SourceFolding>(m_doc, m_data)),
      m_colours(std::make_unique<SourceColouring>(*this))
{
    m_doc->setDocumentMargin(0);
    m_doc->setDocumentLayout(new UnshownLayout(m_doc));
    // The margin is a frame format change, which Qt records as an undo step.
    m_doc->clearUndoRedoStacks();
    m_doc->setModified(false);
    m_lines << QString();
    m_data.push_back(Slots{});
    connect(m_doc, &QTextDocument::contentsChange, this, &SourceDocument::onContentsChange);
    connect(m_doc, &QTextDocument::undoCommandAdded, this, [this] { m_history->commandAdded(); });
    connect(m_doc, &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (!m_holdModified)
            emit ModifiedChange(modified);
    });
    // Qt announces a new layout, then reports the whole text as inserted: a view
    // that takes the document changes no text.
    connect(m_doc, &QTextDocument::documentLayoutChanged, this, [this] { m_layoutChanging = true; });
}

SourceDocument::~SourceDocument() = default;

QString SourceDocument::normalizeLineEnds(const QString &text)
{
    if (!text.contains(QLatin1Char('\r')))
        return text;
    // One pass: a routine's whole text comes through here when it opens.
    QString out(text.size(), Qt::Uninitialized);
    const QStringView in(text);
    const char16_t *from = in.utf16();
    const char16_t *const end = from + in.size();
    char16_t *const begin = reinterpret_cast<char16_t *>(out.data());
    char16_t *to = begin;
    for (; from != end; ++from) {
        if (*from != u'\r') {
            *to++ = *from;
            continue;
        }
        *to++ = u'\n';
        if (from + 1 != end && from[1] == u'\n')
            ++from;
    }
    out.truncate(to - begin);
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
    if (endLine || endCol) {
        const int breaks = int(clean.count(QLatin1Char('\n')));
        const int lastBreak = int(clean.lastIndexOf(QLatin1Char('\n')));
        if (endLine)
            *endLine = line + breaks;
        if (endCol)
            *endCol = breaks == 0 ? column + int(clean.size()) : int(clean.size()) - lastBreak - 1;
    }
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
    edit(positionOf(column, line), 1, QString(ch), !lowLevel, tr("Replace"), true);
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
    m_colours->reset(1);
    m_history->clear();
    m_deferred.clear();
    m_folding->reset();
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
                          const QString &description, bool oneChar)
{
    if (removeLength == 0 && text.isEmpty())
        return true;
    if (m_inChange) {
        m_deferred.push_back({position, removeLength, text, undoable, description, oneChar});
        return true;
    }
    ++m_apiDepth;
    const bool wasReplacingChar = m_replacingChar;
    m_replacingChar = oneChar;
    if (!undoable) {
        lowLevelEdit(position, removeLength, text);
    } else {
        QTextCursor cursor(m_doc);
        cursor.setPosition(position);
        cursor.setPosition(position + removeLength, QTextCursor::KeepAnchor);
        const bool join = m_groupDepth > 0 && m_groupHasStep && m_doc->isUndoAvailable();
        if (join) {
            cursor.joinPreviousEditBlock();
            m_history->setJoining(true);
        } else {
            cursor.beginEditBlock();
            if (m_history->pendingDescription().isEmpty())
                m_history->setPendingDescription(m_groupDepth > 0 ? m_groupDescription : description);
        }
        const int seq = m_changeSeq;
        insertKnownText(cursor, position, removeLength, text);
        cursor.endEditBlock();
        m_history->setJoining(false);
        if (m_groupDepth > 0)
            m_groupHasStep = true;
        // Qt raises no change signal for an edit made while it is still raising one.
        if (seq == m_changeSeq)
            processChange(position, removeLength, int(text.size()));
    }
    m_replacingChar = wasReplacingChar;
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
        edit(e.position, e.removeLength, e.text, e.undoable, e.description, e.oneChar);
    }
    m_flushing = false;
}

void SourceDocument::ForgetUndoHistory()
{
    m_doc->setUndoRedoEnabled(false);
    m_doc->setUndoRedoEnabled(true);
    m_history->forgetSteps();
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
        m_history->setJoining(true);
        insertKnownText(cursor, position, removeLength, text);
        cursor.endEditBlock();
        m_history->setJoining(false);
    } else {
        m_doc->setUndoRedoEnabled(false);
        insertKnownText(cursor, position, removeLength, text);
        m_doc->setUndoRedoEnabled(true);
        m_history->forgetSteps();
    }
    if (seq == m_changeSeq)
        processChange(position, removeLength, int(text.size()));
    m_doc->setModified(wasModified);
    m_holdModified = false;
}

void SourceDocument::insertKnownText(QTextCursor &cursor, int position, int removeLength,
                                     const QString &text)
{
    const KnownInsert outer = m_knownInsert;
    if (readsBackAsInserted(text))
        m_knownInsert = KnownInsert{position, removeLength, &text};
    else
        m_knownInsert = KnownInsert();
    cursor.insertText(text);
    m_knownInsert = outer;
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
        m_history->setJoining(true);
    } else {
        m_stepCursor.beginEditBlock();
        m_history->setPendingDescription(m_groupDepth > 0 ? m_groupDescription : description);
    }
}

void SourceDocument::endEditStep()
{
    m_stepCursor.endEditBlock();
    m_stepCursor = QTextCursor();
    m_history->setJoining(false);
    m_history->setPendingDescription(QString());
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
    m_history->notePosition();
    if (m_layoutChanging) {
        m_layoutChanging = false;
        // The whole text, closing separator included, which no edit can insert.
        // The new layout has none of the old one's line formats.
        if (position == 0 && removed == 0 && added >= m_doc->characterCount()) {
            m_colours->invalidateAll();
            return;
        }
    }
    if (m_suppress)
        return;
    if (m_history->replayPending() && replayHistory())
        return;
    processChange(position, removed, added);
}

bool SourceDocument::replayHistory()
{
    std::vector<UndoHistory::Replay> edits;
    if (!m_history->takeReplay(m_lines, edits))
        return false;
    for (const UndoHistory::Replay &e : edits)
        applyChange(e.column, e.line, e.removed, e.inserted);
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
    // The text an edit of ours just inserted need not be read out of Qt again: a
    // routine's whole text would be copied once more while it opens.
    const KnownInsert &known = m_knownInsert;
    const bool insertedAsKnown = known.text && known.position == position
                                 && known.removed == removed && known.text->size() == added;
    const QString newText = insertedAsKnown ? *known.text : documentText(position, added);
    if (oldText == newText)
        return;   // formats only

    m_history->record(position, oldText, newText);
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

    // The single-character operation (the lexer's TAB for a label's space) is one change:
    // reported as a deletion and an insertion, the line would be read in between without
    // either character, a label glued to the next word.
    if (m_replacingChar && oldText.size() == 1 && newText.size() == 1
        && oldText != QLatin1String("\n") && newText != QLatin1String("\n")) {
        m_lines[l1][c1] = newText.at(0);
        m_colours->invalidate(l1);
        m_folding->markDirty();
        emit TextInserted(c1, l1, c1 + 1, l1);
        m_inChange = false;
        return;
    }

    if (!oldText.isEmpty()) {
        const QString merged = m_lines.at(l1).left(c1) + m_lines.at(l2).mid(c2);
        // c1 = 0: the old line l2 survives at l1; otherwise line l1 does.
        if (c1 == 0 && l2 > l1)
            m_data[size_t(l1)] = m_data[size_t(l2)];
        m_data.erase(m_data.begin() + l1 + 1, m_data.begin() + l2 + 1);
        m_lines[l1] = merged;
        m_lines.erase(m_lines.begin() + l1 + 1, m_lines.begin() + l2 + 1);
        m_colours->linesRemoved(l1 + 1, l2 - l1);
        m_colours->invalidate(l1);
        m_folding->markDirty();
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
            m_colours->linesInserted(l1 + 1, k);
        }
        m_colours->invalidate(l1);
        m_folding->markDirty();
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
    m_colours->reset(int(lines.size()));
    m_folding->markDirty();
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
    if (slot == LineData::kControlSlot)
        m_folding->settleBlockBits();
    return m_data[size_t(line)][size_t(slot)];
}

void SourceDocument::SetLineData(int line, int slot, std::int32_t value)
{
    if (line < 0 || line >= NumLines() || slot < 0 || slot >= m_extraData)
        return;
    std::int32_t &cell = m_data[size_t(line)][size_t(slot)];
    if (slot == LineData::kFlagSlot
        && ((cell ^ value) & (LineData::kBlockStart | LineData::kDepthMask)))
        m_folding->markDirty();
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
    if (flagsChanged && !m_colours->scanning()) {
        m_colours->invalidate(line);
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
    if (m_colours->scanning())
        UpdateViews(2, line, line);
    return true;
}

// --- colouring ------------------------------------------------------------------------

void SourceDocument::SetLex(ISourceLex *lex)
{
    m_lex = lex;
    m_colours->invalidateAll();
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
        m_colours->invalidateAll();
        emit repaintRequested(0, NumLines() - 1);
        return;
    }
    if (from > to)
        std::swap(from, to);
    from = std::max(from, 0);
    to = std::min(to, NumLines() - 1);
    m_colours->invalidate(from, to);
    if (from <= to)
        emit repaintRequested(from, to);
}

void SourceDocument::UpdateLines(int first, int last, int &endLine)
{
    const int scanned = m_colours->scanLines(first, last, endLine);
    if (scanned >= 0)
        emit repaintRequested(scanned, endLine);
}

void SourceDocument::colourLines(int first, int last)
{
    m_colours->colourLines(first, last);
}

bool SourceDocument::coloursValid(int line) const
{
    return m_colours->valid(line);
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
    m_history->beginHistoryStep(redo);
    if (redo)
        m_doc->redo();
    else
        m_doc->undo();
    m_history->endHistoryStep();
    --m_apiDepth;
    flushDeferred();
}

int SourceDocument::UndoStepCount() const
{
    return m_history->stepCount();
}

QString SourceDocument::UndoStepDescription(int k, int *flags) const
{
    Q_UNUSED(flags);
    return m_history->stepDescription(k);
}

void SourceDocument::setPendingUndoDescription(const QString &description)
{
    m_history->setPendingDescription(description);
}

// --- collapsible blocks ------------------------------------------------------------------

bool SourceDocument::collapsingEnabled() const
{
    return m_folding->enabled();
}

void SourceDocument::setCollapsingEnabled(bool enabled)
{
    if (!m_folding->setEnabled(enabled))
        return;
    applyVisibility();
    emit repaintRequested(0, NumLines() - 1);
}

void SourceDocument::applyVisibility()
{
    if (m_folding->applyVisibility())
        emit visibilityChanged();
}

bool SourceDocument::isLineHidden(int line) const
{
    return m_folding->isLineHidden(line);
}

int SourceDocument::blockHeaderOf(int line) const
{
    return m_folding->headerOf(line);
}

bool SourceDocument::CollapseBlock(int line)
{
    const int header = m_folding->collapse(line);
    if (header < 0)
        return false;
    applyVisibility();
    emit repaintRequested(header, header);
    return true;
}

bool SourceDocument::ExpandBlock(int line)
{
    const int header = m_folding->expand(line);
    if (header < 0)
        return false;
    applyVisibility();
    emit repaintRequested(header, header);
    return true;
}

void SourceDocument::CollapseAll()
{
    if (!m_folding->collapseAll())
        return;
    applyVisibility();
    emit repaintRequested(0, NumLines() - 1);
}

void SourceDocument::ExpandAll()
{
    m_folding->expandAll();
    applyVisibility();
    emit repaintRequested(0, NumLines() - 1);
}
