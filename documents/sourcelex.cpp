#include "sourcelex.h"

#include "docservices.h"
#include "linedata.h"
#include "sourcedocument.h"
#include "vanngine.h"
#include "vantrelerror.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <climits>

namespace {

constexpr int FlagSlot = LineData::kFlagSlot;
constexpr int SerialSlot = LineData::kSerialSlot;

// The flag-word bits as unsigned values, so that masks never sign-extend.
namespace LineFlag {
constexpr quint32 Caret = quint32(LineData::kCaretLine);
constexpr quint32 ContinuesBelow = quint32(LineData::kContinues);
constexpr quint32 ContinuesAbove = quint32(LineData::kContinuation);
constexpr quint32 BlockStart = quint32(LineData::kBlockStart);
constexpr quint32 Depth = quint32(LineData::kDepthMask);
constexpr quint32 ReparsePrevious = quint32(LineData::kReparsePrev);
constexpr quint32 RescanNext = quint32(LineData::kRescanNext);
constexpr quint32 LexerBits = quint32(LineData::kStateMask);   // bits 0..15 belong to others
} // namespace LineFlag

bool isFailure(const QString &reply)
{
    return reply.startsWith(QLatin1String("ERROR:"));
}

// Reads one decimal number, after any blanks, from p on (never past end) and leaves p
// behind it. Replies come for every line of every statement, so the reading works on
// the characters themselves rather than on lists of strings.
bool readInt(const char16_t *&p, const char16_t *end, int &out)
{
    while (p < end && *p == u' ')
        ++p;
    bool negative = false;
    if (p < end && *p == u'-') {
        negative = true;
        ++p;
    }
    const char16_t *const start = p;
    qint64 value = 0;
    for (; p < end && char16_t(*p - u'0') <= 9; ++p) {
        value = value * 10 + (*p - u'0');
        if (value > 0x7FFFFFFF)
            return false;
    }
    if (p == start)
        return false;
    out = int(negative ? -value : value);
    return true;
}

// Reads `wanted` decimal numbers separated by blanks from the start of [p, end).
bool readInts(const char16_t *p, const char16_t *end, int wanted, int *out)
{
    for (int k = 0; k < wanted; ++k) {
        if (!readInt(p, end, out[k]))
            return false;
    }
    return true;
}

bool toInts(QStringView text, int wanted, int *out)
{
    return readInts(text.utf16(), text.utf16() + text.size(), wanted, out);
}

} // namespace

void LabelIndex::add(const QString &label, int line)
{
    m_order.emplace_back(label, line);
    m_lines.insert(label, line);
}

void LabelIndex::remove(const QString &label)
{
    if (!m_lines.remove(label))
        return;
    for (auto it = m_order.begin(); it != m_order.end(); ++it) {
        if (it->first == label) {
            m_order.erase(it);
            break;
        }
    }
}

void LabelIndex::rename(const QString &from, const QString &to)
{
    const int line = m_lines.take(from);
    m_lines.insert(to, line);
    for (auto &entry : m_order)
        if (entry.first == from)
            entry.first = to;
}

SourceLex::SourceLex(QObject *parent)
    : QObject(parent)
{
    InitializeDoc();
}

SourceLex::~SourceLex() = default;

void SourceLex::Attach(SourceDocument *document)
{
    m_doc = document;
}

void SourceLex::Detach()
{
    m_doc = nullptr;
    m_engine = nullptr;
    m_enabled = false;
}

void SourceLex::setVanNgine(VanNgine *engine)
{
    if (!engine) {
        m_engine = nullptr;
        m_enabled = false;
        return;
    }
    if (m_engine)
        throw VantrelError(VantrelError::Base, QStringLiteral("VanNgine already set on this SourceLex"));
    m_engine = engine;
}

bool SourceLex::CanEnable() const
{
    return m_engine && m_engine->Connected();
}

void SourceLex::setEnabled(bool enabled)
{
    if (CanEnable())
        m_enabled = enabled;
}

void SourceLex::InitializeDoc()
{
    // The engine would otherwise keep every line of the previous text for the life of
    // the document, and serials issued again would meet that old text.
    if (m_engine && !m_serials.empty())
        m_engine->MDo3(QStringLiteral("TextKill^PARSE"), m_serials.front(), 0, int(m_serials.size()));

    m_serials.clear();
    m_staleLines = 0;
    m_codeLines.clear();
    m_queue.clear();
    m_queued.clear();
    dropLabelIndexes();

    if (m_doc) {
        m_doc->Reset();
        OnLinesInserted(0, 0);
    }

    m_lenLabel = 8;
    if (m_engine) {
        const QString reply = m_engine->MDo2(QStringLiteral("PropGet^PARSE"), QStringLiteral("lenLABEL"), m_lenLabel);
        if (!isFailure(reply)) {
            bool ok = false;
            const int value = reply.trimmed().toInt(&ok);
            if (ok && value > 0)
                m_lenLabel = value;
        }
    }
}

quint32 SourceLex::flags(int line) const
{
    return quint32(m_doc->GetLineData(line, FlagSlot));
}

void SourceLex::setFlags(int line, quint32 value)
{
    m_doc->SetLineData(line, FlagSlot, qint32(value));
}

int SourceLex::serialOf(int line) const
{
    return m_doc->GetLineData(line, SerialSlot);
}

void SourceLex::dropLabelIndexes()
{
    m_labels = LabelIndex();
    m_duplicates.clear();
    m_labelsBuilt = false;
}

const LabelIndex &SourceLex::Labels()
{
    if (m_labelsBuilt)
        return m_labels;
    m_labels = LabelIndex();
    m_duplicates.clear();
    m_labelsBuilt = true;
    for (int i = 0; i < int(m_codeLines.size()); ++i) {
        CodeLine &cl = m_codeLines[i];
        const QString name = cl.Label.isEmpty() ? cl.Duplicate : cl.Label;
        if (name.isEmpty())
            continue;
        if (!m_labels.contains(name)) {
            m_labels.add(name, i + 1);
            if (cl.Label.isEmpty()) {
                // The line whose label this one duplicated has gone (deleted, or renamed
                // while no index existed): this line carries the label now.
                cl.Label = name;
                cl.Duplicate.clear();
                flushTokens(i);
                if (m_doc)
                    m_doc->UpdateViews(2, i, i, 0, 0);
            }
            continue;
        }
        // A later line with the same label is no label at all: its label token shows as
        // an error class once the line is parsed again.
        m_duplicates.insert(name, m_labels.line(name));
        if (!cl.Label.isEmpty()) {
            cl.Duplicate = cl.Label;
            cl.Label.clear();
            flushTokens(i);
            if (m_doc)
                m_doc->UpdateViews(2, i, i, 0, 0);
        }
    }
    return m_labels;
}

void SourceLex::flushTokens(int line)
{
    if (line >= 0 && line < int(m_codeLines.size())) {
        m_codeLines[line].ParseTokens.clear();
        m_codeLines[line].Parsed = false;
    }
}

void SourceLex::flushAndQueue(int line)
{
    flushTokens(line);
    QueueLineForParse(line, false, false);
}

void SourceLex::FlushCache(int fromLine, int toLine)
{
    if (m_repaintInProgress)
        return;
    const int end = std::min(toLine, int(m_codeLines.size()) - 1);
    // While the editor has already moved lines that the lexer has not yet taken in, the
    // document's numbering differs from ours: the line is refreshed once they agree.
    const bool inStep = m_doc && m_doc->NumLines() == int(m_codeLines.size());
    for (int line = std::max(fromLine, 0); line <= end; ++line) {
        m_codeLines[line].ParseTokens.clear();
        m_codeLines[line].Parsed = false;
        if (inStep) {
            refreshLine(line);
        } else if (!m_codeLines[line].TextStale) {
            m_codeLines[line].TextStale = true;
            ++m_staleLines;
        }
    }
}

void SourceLex::refreshLine(int line)
{
    if (!m_doc || line < 0 || line >= m_doc->NumLines() || line >= int(m_codeLines.size()))
        return;
    const QString text = m_doc->GetLine(line);
    // The engine answers command and tip queries from its own copy of the line, whether
    // or not colouring is on; a known serial replaces its text.
    if (m_engine)
        m_engine->MDo3(QStringLiteral("TextSet^PARSE"), serialOf(line),
                       m_engine->ZeroPad(text), line > 0 ? serialOf(line - 1) : 0);
    // A label change is reported only against a built index, and any insertion or deletion
    // drops it: without one the change would go unnoticed and the breakpoints of the
    // block would keep a name that no longer resolves.
    if (!m_labelsBuilt && labelOf(text, nullptr) != m_codeLines[line].Label)
        Labels();
    CheckLineSync(line);
}

void SourceLex::refreshStaleLines()
{
    if (m_staleLines == 0 || !m_doc || m_doc->NumLines() != int(m_codeLines.size()))
        return;
    m_staleLines = 0;
    for (int line = 0; line < int(m_codeLines.size()); ++line) {
        if (m_codeLines[line].TextStale) {
            m_codeLines[line].TextStale = false;
            refreshLine(line);
        }
    }
}

std::vector<int> SourceLex::queuedLines() const
{
    std::vector<int> lines;
    for (const QueueEntry &e : m_queue)
        lines.push_back(e.line);
    return lines;
}

void SourceLex::QueueLineForParse(int line, bool forceToEnd, bool forceRepaint)
{
    const auto found = m_queued.constFind(line);
    if (found != m_queued.cend())
        m_queue.erase(found.value());
    // Asking the view for its last visible line walks its layout: only when it matters.
    const bool front = !forceToEnd && !m_queue.empty() && m_doc && line <= m_doc->LastVisibleLine();
    const auto at = front ? m_queue.begin() : m_queue.end();
    m_queued.insert(line, m_queue.insert(at, QueueEntry{line, forceRepaint}));
    emit EnableTimer(true);
}

void SourceLex::TimerTick()
{
    if (m_tickBusy)
        return;
    m_tickBusy = true;
    if (m_queue.empty() || !m_doc) {
        emit EnableTimer(false);
        m_tickBusy = false;
        return;
    }
    const int line = m_queue.front().line;
    int first = line, last = line;
    bool changed = false;
    const bool inDocument = line >= 0 && line < m_doc->NumLines();
    if (inDocument)
        ParseLine(line, first, last, changed);

    // The parse may have queued the line above in front of this one, so the entry is
    // found by its line, not by its place.
    const auto entry = m_queued.constFind(line);
    const bool forceRepaint = entry != m_queued.cend() && entry.value()->forceRepaint;
    if ((forceRepaint || changed) && inDocument) {
        m_repaintInProgress = true;
        int end = last;
        m_doc->UpdateLines(first, last, end);
        if (line <= m_doc->LastVisibleLine())
            m_doc->UpdateViews(2, first, end, 0, 0);
        m_repaintInProgress = false;
    }
    const auto done = m_queued.constFind(line);
    if (done != m_queued.cend()) {
        m_queue.erase(done.value());
        m_queued.erase(done);
    }
    m_tickBusy = false;
}

void SourceLex::OnLinesInserted(int fromLine, int toLine)
{
    if (!m_doc || toLine < fromLine)
        return;
    int prevSerial = 0;
    if (fromLine >= 1) {
        prevSerial = serialOf(fromLine - 1);
        const quint32 above = flags(fromLine - 1);
        if (above & LineFlag::ContinuesBelow) {
            setFlags(fromLine, flags(fromLine) | LineFlag::ContinuesAbove);
        } else if (above & LineFlag::ReparsePrevious) {
            setFlags(fromLine, flags(fromLine) | LineFlag::ContinuesAbove);
            QueueLineForParse(fromLine - 1, false, false);
        }
    }
    // The new lines go in as one run: a routine's whole text arrives in one insertion.
    const int at = std::min(fromLine, int(m_serials.size()));
    const int count = toLine - fromLine + 1;
    m_serials.insert(m_serials.begin() + at, size_t(count), 0);
    m_codeLines.insert(m_codeLines.begin() + at, size_t(count), CodeLine());
    for (int line = fromLine; line <= toLine; ++line) {
        const int serial = ++m_serialCounter;
        m_doc->SetLineData(line, SerialSlot, serial);
        if (m_engine)
            m_engine->MDo3(QStringLiteral("TextSet^PARSE"), serial,
                           m_engine->ZeroPad(m_doc->GetLine(line)), prevSerial);
        m_serials[size_t(at + line - fromLine)] = serial;
        prevSerial = serial;
    }
    dropLabelIndexes();
    // New lines carry their labels into the index whether or not colouring is on.
    for (int line = fromLine; line <= toLine; ++line)
        CheckLineSync(line);
    refreshStaleLines();
    emit LabelsChanged();
}

void SourceLex::OnLinesDeleted(int fromLine, int toLine)
{
    if (!m_doc || toLine < fromLine || fromLine >= int(m_serials.size()))
        return;
    const int last = std::min(toLine, int(m_serials.size()) - 1);
    const int prevSerial = fromLine >= 1 ? serialOf(fromLine - 1) : 0;
    if (m_engine)
        m_engine->MDo3(QStringLiteral("TextKill^PARSE"), m_serials[fromLine], prevSerial, last - fromLine + 1);
    m_codeLines.erase(m_codeLines.begin() + fromLine, m_codeLines.begin() + last + 1);
    m_serials.erase(m_serials.begin() + fromLine, m_serials.begin() + last + 1);

    // Stale marks of removed lines go with them.
    m_staleLines = 0;
    for (const CodeLine &cl : m_codeLines)
        m_staleLines += cl.TextStale ? 1 : 0;

    if (fromLine < m_doc->NumLines() && fromLine < int(m_serials.size())) {
        m_doc->SetLineData(fromLine, SerialSlot, m_serials[fromLine]);
        // Only the lexer's own bits are stale; breakpoint, stack and caret marks of the
        // line stay where they are.
        setFlags(fromLine, flags(fromLine) & ~LineFlag::LexerBits);
        flushTokens(fromLine);
        QueueLineForParse(fromLine, false, true);
    }
    if (fromLine >= 1 && (flags(fromLine - 1) & LineFlag::ContinuesBelow)) {
        flushTokens(fromLine - 1);
        setFlags(fromLine - 1, flags(fromLine - 1)
                 & ~(LineFlag::ContinuesBelow | LineFlag::ContinuesAbove | LineFlag::BlockStart));
        QueueLineForParse(fromLine - 1, false, true);
    }
    dropLabelIndexes();
    refreshStaleLines();
    emit LabelsChanged();
}

QString SourceLex::labelOf(const QString &text, int *spaceToReplace) const
{
    if (spaceToReplace)
        *spaceToReplace = -1;
    if (text.isEmpty())
        return QString();
    const QChar c = text.at(0);
    if (c == QLatin1Char(';') || c == QLatin1Char('{') || c == QLatin1Char('}')
        || c == QLatin1Char('#') || c == QLatin1Char('$'))
        return QString();

    // The label ends at the first ';', TAB or space, and its formal parameters are not
    // part of it. One pass that stops there: every line is asked several times while a
    // routine opens, and the code after the label may run long.
    const qsizetype size = text.size();
    const char16_t *chars = QStringView(text).utf16();
    qsizetype end = 0;
    qsizetype paren = -1;
    for (; end < size; ++end) {
        const char16_t ch = chars[end];
        if (ch == u';' || ch == u'\t')
            break;
        if (ch == u' ') {
            if (spaceToReplace)
                *spaceToReplace = int(end);
            break;
        }
        if (ch == u'(' && paren < 0)
            paren = end;
    }
    const qsizetype length = std::min<qsizetype>(paren >= 0 ? paren : end, m_lenLabel);
    return text.left(length);
}

QString SourceLex::withLabelTabs(const QString &text) const
{
    // The same rule as labelOf, over the whole text at once. A line starts after any
    // character the document takes as a line end.
    const auto isBreak = [](char16_t ch) {
        return ch == u'\n' || ch == u'\r' || ch == u'\u2029' || ch == u'\uFDD0' || ch == u'\uFDD1';
    };
    QString out = text;
    const qsizetype size = text.size();
    const char16_t *chars = QStringView(text).utf16();
    char16_t *writable = nullptr;
    qsizetype i = 0;
    while (i < size) {
        const char16_t first = chars[i];
        if (!isBreak(first) && first != u';' && first != u'{' && first != u'}' && first != u'#'
            && first != u'$') {
            for (; i < size; ++i) {
                const char16_t ch = chars[i];
                if (ch == u';' || ch == u'\t' || isBreak(ch))
                    break;
                if (ch == u' ') {
                    if (!writable)
                        writable = reinterpret_cast<char16_t *>(out.data());
                    writable[i] = u'\t';
                    break;
                }
            }
        }
        while (i < size && !isBreak(chars[i]))
            ++i;
        ++i;   // past the line end
    }
    return out;
}

void SourceLex::replaceSpaceWithTab(int line, int column)
{
    // Done outside any scan or notification the document is in the middle of; the line
    // is checked again then, because the user may have typed in between.
    QPointer<SourceLex> self(this);
    const int serial = serialOf(line);
    QMetaObject::invokeMethod(this, [self, line, column, serial] {
        if (!self || !self->m_doc || line >= self->m_doc->NumLines() || self->serialOf(line) != serial)
            return;
        const QString text = self->m_doc->GetLine(line);
        int space = -1;
        self->labelOf(text, &space);
        if (space != column)
            return;
        self->m_doc->ReplaceChar(column, line, QLatin1Char('\t'), true);
        self->FlushCache(line, line);
    }, Qt::QueuedConnection);
}

void SourceLex::CheckLineSync(int line)
{
    if (!m_doc || line < 0 || line >= int(m_codeLines.size()) || line >= m_doc->NumLines())
        return;
    int space = -1;
    QString newLabel = labelOf(m_doc->GetLine(line), &space);
    if (space >= 0)
        replaceSpaceWithTab(line, space);

    CodeLine &cl = m_codeLines[line];
    const QString oldLabel = cl.Label;
    if (newLabel == oldLabel) {
        cl.Duplicate.clear();   // the text holds no label, or holds this one
        return;
    }
    const QString textLabel = newLabel;

    bool revised = false;
    QString reported = newLabel;
    if (m_labelsBuilt) {
        if (!oldLabel.isEmpty() && m_labels.contains(oldLabel)) {
            revised = true;
            if (newLabel.isEmpty()) {
                m_labels.remove(oldLabel);
            } else if (!m_labels.contains(newLabel)) {
                if (m_labels.line(oldLabel) == line + 1)
                    m_labels.rename(oldLabel, newLabel);
                else
                    dropLabelIndexes();
            } else {
                m_duplicates.insert(newLabel, m_labels.line(newLabel));
                m_labels.remove(oldLabel);
                newLabel.clear();
                // The block's breakpoints must not follow onto the other line's label:
                // to them the label is gone.
                reported.clear();
            }
            emit LabelsChanged();
        } else if (oldLabel.isEmpty()) {
            if (m_labels.contains(newLabel) && m_labels.line(newLabel) != line + 1) {
                m_duplicates.insert(newLabel, m_labels.line(newLabel));
                newLabel.clear();
            } else {
                flushTokens(line);
                dropLabelIndexes();
                emit LabelsChanged();
                revised = true;
            }
        } else {
            dropLabelIndexes();
            emit LabelsChanged();
            revised = true;
        }
    }
    cl.Label = newLabel;
    cl.Duplicate = newLabel.isEmpty() ? textLabel : QString();

    bool freedDuplicate = false;
    if (!oldLabel.isEmpty() && m_duplicates.value(oldLabel, 0) == line + 1) {
        m_duplicates.remove(oldLabel);
        m_doc->UpdateViews(2, 0, m_doc->NumLines() - 1, 0, 0);
        freedDuplicate = true;
    }
    if (revised && reported != oldLabel)
        emit LabelRevised(line, oldLabel, reported);
    if (freedDuplicate)
        reviveFormerDuplicate(oldLabel, line);
}

void SourceLex::reviveFormerDuplicate(const QString &label, int exceptLine)
{
    // The first line that carried the label as a duplicate becomes the label's line, even
    // when it is not painted (colouring off) and so never parsed again.
    for (int i = 0; i < int(m_codeLines.size()); ++i) {
        if (i == exceptLine || !m_codeLines[i].Label.isEmpty())
            continue;
        if (labelOf(m_doc->GetLine(i), nullptr) == label) {
            flushTokens(i);
            CheckLineSync(i);
            return;
        }
    }
}

void SourceLex::BeginLineScan(SourceDocument *, int line, const QString &lineText, int)
{
    QString text = lineText;
    const int nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    const int cr = text.indexOf(QLatin1Char('\r'));
    if (cr >= 0)
        text.truncate(cr);
    m_plainLength = text.size();
    m_scanLine = line;
    m_scanFlags = m_doc && line < m_doc->NumLines() ? flags(line) : 0;
    m_scanCursor = 0;
    m_scanTokens.clear();
    if (line < 0 || line + 1 > int(m_codeLines.size()) || !m_enabled)
        return;
    int first = line, last = line;
    bool changed = false;
    ParseLine(line, first, last, changed);
    m_scanTokens = m_codeLines[line].ParseTokens;
    // An empty line parses to no tokens; only a line not parsed yet waits for the timer,
    // or every paint of an empty line would queue it again and the queue never drain.
    if (!m_codeLines[line].Parsed)
        QueueLineForParse(line, false, false);
}

void SourceLex::ScanToken(SourceToken &token)
{
    if (m_scanCursor < int(m_scanTokens.size())) {
        const ProxySourceToken &t = m_scanTokens[m_scanCursor++];
        token.TokenType = t.TokenType;
        // Syntax errors are not shown on the line being typed.
        if (token.TokenType == 10 && (m_scanFlags & LineFlag::Caret))
            token.TokenType = 1;
        token.Start = t.Start;
        token.Length = t.Length;
        token.Attributes = t.Attributes;
        return;
    }
    token.Attributes = 0;
    if (m_plainLength > 0) {
        token.TokenType = 1;
        token.Start = 0;
        token.Length = m_plainLength;
        m_plainLength = -m_plainLength;
        return;
    }
    token.TokenType = 0;
    token.Start = -m_plainLength;
    token.Length = 0;
}

int SourceLex::GetLineIndex()
{
    if (m_scanCursor < int(m_scanTokens.size()))
        return m_scanTokens[m_scanCursor].Start;
    return m_plainLength > 0 ? 0 : -m_plainLength;
}

void SourceLex::SetLineIndex(int column)
{
    // The view skips to a column: the next token delivered is the first that starts there
    // or later, else the line's last token again.
    const int count = int(m_scanTokens.size());
    int i = 0;
    while (i < count && m_scanTokens[i].Start < column)
        ++i;
    m_scanCursor = i == count && count > 0 ? count - 1 : i;
}

void SourceLex::EndLineScan(SourceDocument *, bool &scanNextLine)
{
    scanNextLine = false;
    if (!m_doc || m_scanLine < 0 || m_scanLine >= m_doc->NumLines())
        return;
    const quint32 word = flags(m_scanLine);
    if (word & LineFlag::RescanNext) {
        setFlags(m_scanLine, word & ~LineFlag::RescanNext);
        scanNextLine = true;
    }
    if (word & LineFlag::ContinuesBelow)
        scanNextLine = true;
}

void SourceLex::ParseLine(int line, int &first, int &last, bool &changed)
{
    first = last = line;
    changed = false;
    // Colouring stays on when the engine is taken away (window unloading); nothing to ask.
    if (!m_enabled || !m_engine || !m_doc || line < 0 || line >= int(m_codeLines.size()))
        return;
    CheckLineSync(line);
    CodeLine &cl = m_codeLines[line];
    if (cl.Parsed) {
        if (cl.LineLength != m_doc->GetLineLength(line)) {
            cl.ParseTokens.clear();
            cl.Parsed = false;
        }
        return;
    }
    if (m_parseBusy)
        return;
    m_parseBusy = true;
    struct Release { bool &flag; ~Release() { flag = false; } } release{m_parseBusy};

    if (flags(line) & LineFlag::ContinuesAbove) {
        ParseLineCore(line, first, last, changed);
        return;
    }
    const bool previousAsked = line > 0 && (flags(line - 1) & LineFlag::ReparsePrevious);
    ParseLineCore(line, first, last, changed);
    if (line > 0 && (previousAsked || (flags(line) & LineFlag::ReparsePrevious)))
        flushAndQueue(line - 1);
}

void SourceLex::reportParseError(const QString &text)
{
    // This may run inside painting; the pane may not even exist yet.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [text] {
        if (const auto &provider = docServices().reportPane)
            if (IReportPane *pane = provider())
                pane->AppendReport(text);
    }, Qt::QueuedConnection);
}

bool SourceLex::parseStatementLine(QStringView item, int line, quint32 &lineFlags)
{
    std::vector<ProxySourceToken> tokens;
    const char16_t *const end = item.utf16() + item.size();
    const char16_t *partEnd = std::find(item.utf16(), end, u'\\');
    const QStringView header(item.utf16(), partEnd);
    const bool ok = !header.startsWith(QLatin1String("ERROR:"));
    if (ok) {
        int h[2];
        if (toInts(header, 2, h)) {
            if (h[0] & 8)
                lineFlags |= LineFlag::BlockStart;
            else
                lineFlags &= ~LineFlag::BlockStart;
            if (h[1] >= 0 && h[1] < 16)
                lineFlags = (lineFlags & ~LineFlag::Depth) | (quint32(h[1]) << 20);
        }
        tokens.reserve(size_t(std::count(partEnd, end, u'\\')));
        const bool unlabelled = m_codeLines[line].Label.isEmpty();
        while (partEnd != end) {
            const char16_t *const start = partEnd + 1;
            partEnd = std::find(start, end, u'\\');
            int t[4];
            // A token that cannot be placed on a line is dropped, not handed to the view;
            // that includes one whose end is past any column an int can hold.
            if (!readInts(start, partEnd, 4, t) || t[1] < 0 || t[2] < 0 || t[2] > INT_MAX - t[1])
                continue;
            ProxySourceToken token;
            token.TokenType = t[0] == 4 && t[1] == 0 && unlabelled ? 9 : t[0];
            token.Start = t[1];
            token.Length = t[2];
            token.Attributes = t[3] & 15;
            tokens.push_back(token);
            if (token.Attributes == 2) {
                // The count comes from the upper bits of the attribute; far more than any
                // line can show would only flood the cache.
                const int markers = std::min((t[3] & ~15) / 16, 255);
                for (int m = 0; m < markers; ++m)
                    tokens.push_back(ProxySourceToken{token.TokenType, t[1] + t[2], 0, token.Attributes});
            }
        }
    }
    m_codeLines[line].ParseTokens = std::move(tokens);
    m_codeLines[line].Parsed = true;
    m_codeLines[line].LineLength = m_doc->GetLineLength(line);
    return ok;
}

void SourceLex::ParseLineCore(int line, int &first, int &last, bool &changed)
{
    const int requestedSerial = serialOf(line);
    const QString text = m_doc->GetLine(line);

    int s = line;
    while (s > 0 && (flags(s) & LineFlag::ContinuesAbove))
        --s;
    const int state = s > 0 ? int((flags(s - 1) >> 16) & 0x2F0) : 0;
    const quint32 chain = LineFlag::ContinuesBelow | LineFlag::ContinuesAbove | LineFlag::BlockStart;
    if (s < line && !(flags(s) & LineFlag::ContinuesBelow)) {
        for (int n = s + 1; n <= line; ++n) {
            setFlags(n, flags(n) & ~chain);
            if (n < line)
                flushAndQueue(n);
        }
        s = line;
    }
    first = s;
    last = s;
    changed = false;

    const QString reply = m_engine->MDo4(QStringLiteral("Begin^PARSE"), serialOf(s), state,
                                         m_engine->ZeroPad(text), requestedSerial);
    if (isFailure(reply)) {
        if (!reply.contains(QLatin1String(",Z<")))
            return;
        reportParseError(QStringLiteral("Parse error on line %1 in %2\r%3\r")
                             .arg(s + 1).arg(m_doc->PathName(), reply));
        const int length = m_doc->GetLineLength(s);
        m_codeLines[s].ParseTokens = {ProxySourceToken{2, 0, length, 0}, ProxySourceToken{0, length, 0, 0}};
        m_codeLines[s].Parsed = true;
        m_codeLines[s].LineLength = length;
        changed = true;
        return;
    }

    // Views into the reply (and into the latest continuation, kept alive here).
    QList<QStringView> items = QStringView(reply).split(QLatin1Char('^'));
    QString moreReply;
    int header[3];
    // A reply out of format leaves the line unparsed; it is asked for again when painted.
    if (!toInts(items.at(0), 3, header) || header[0] < 0 || header[0] > 32767 || header[1] < 1)
        return;
    const int newState = header[0];
    int count = header[1];
    int more = header[2];
    const int numLines = m_doc->NumLines();

    changed = true;
    int l = s;
    quint32 lineFlags = count == 1 ? 0 : LineFlag::ContinuesBelow;
    int next = 1;
    for (;;) {
        if (next >= items.size()) {
            QString continuation = m_engine->MDo2(QStringLiteral("MoreToks^PARSE"), more, count);
            QList<QStringView> moreItems = QStringView(continuation).split(QLatin1Char('^'));
            if (isFailure(continuation) || moreItems.size() < 2) {
                last = std::max(s, l - 1);
                return;
            }
            more = moreItems.at(0).toInt();
            moreReply = std::move(continuation);   // the views still point into its data
            items = std::move(moreItems);
            next = 1;
        }
        if (!parseStatementLine(items.at(next++), l, lineFlags))
            changed = false;
        --count;
        if (count <= 0 || l + 1 >= numLines)
            break;
        setFlags(l, (flags(l) & 0xFC00FFFF) | lineFlags);
        ++l;
        lineFlags = count >= 2 ? (LineFlag::ContinuesBelow | LineFlag::ContinuesAbove)
                               : LineFlag::ContinuesAbove;
    }

    const quint32 old = flags(l);
    quint32 word = (quint32(newState) << 16) | (old & 0xFFFF) | lineFlags;
    if ((old & LineFlag::ContinuesBelow) && !(word & LineFlag::ContinuesBelow)) {
        word |= LineFlag::RescanNext;
        for (int n = l + 1; n < numLines; ++n) {
            const quint32 former = flags(n);
            flushTokens(n);
            setFlags(n, (former & ~quint32(0xE0000)) | LineFlag::RescanNext);
            if (!(former & LineFlag::ContinuesBelow))
                break;
        }
    } else if (word != old) {
        word |= LineFlag::RescanNext;
        if (!(word & LineFlag::ContinuesBelow))
            flushTokens(l + 1);
    }
    setFlags(l, word);
    last = l;
}
