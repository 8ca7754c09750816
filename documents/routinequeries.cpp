// Parser queries and navigation of a routine document: line references, the commands of
// a line, and where to put the caret for them.

#include "routine.h"

#include "icodewindow.h"
#include "linedata.h"
#include "sourcedocument.h"
#include "sourcelex.h"
#include "vanngine.h"

#include <cmath>

namespace {

// A numeric offset as references have always been read: any decimal number, blanks around it
// allowed, rounded half to even.
bool numericOffset(const QString &text, long long &value)
{
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) > 2e9)
        return false;
    value = static_cast<long long>(std::nearbyint(d));
    return true;
}

} // namespace

int Routine::serialOf(int line) const
{
    SourceDocument *doc = document();
    if (line < 1 || line > doc->NumLines())
        return 0;
    return doc->GetLineData(line - 1, LineData::kSerialSlot);
}

int Routine::LineOfLabel(const QString &label) const
{
    long long result = 0;
    const int plus = label.indexOf(QLatin1Char('+'));
    if (plus < 0) {
        result = Labels().line(label);
    } else {
        const QString labelPart = label.left(plus);
        long long offset = 0;
        if (!numericOffset(label.mid(plus + 1), offset))
            return 0;
        int base = 0;
        if (!labelPart.isEmpty()) {
            base = Labels().line(labelPart);
            if (base == 0)
                return 0;
        }
        result = base + offset;
    }
    // Nothing below line 1 is a line: a negative result would index the breakpoints.
    if (result < 1 || result > document()->NumLines())
        return 0;
    return int(result);
}

QString Routine::LabelPlusOffsetOfLine(int line) const
{
    if (line < 1)
        line = m_window->caretLine() + 1;
    const auto &entries = Labels().entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->second == line)
            return it->first;
        if (it->second < line)
            return it->first + QLatin1Char('+') + QString::number(line - it->second);
    }
    return QLatin1Char('+') + QString::number(line);
}

bool Routine::GotoLine(const QString &location, int charPos, int selLength)
{
    QString labelPart;
    // Wide: the offset is negated and added to a label's line, and any int may be written.
    qint64 offset = 0;
    const int plus = location.indexOf(QLatin1Char('+'));
    const int minus = location.indexOf(QLatin1Char('-'));
    if (plus >= 0 || minus >= 0) {
        const int at = plus >= 0 ? plus : minus;
        labelPart = location.left(at);
        bool ok = false;
        offset = location.mid(at + 1).toInt(&ok);
        if (!ok)
            return false;
        if (plus < 0)
            offset = -offset;
        // Only the form the program itself writes is accepted: "A+01" or "A+ 1" are not.
        const QString canonical = plus >= 0 ? labelPart + QLatin1Char('+') + QString::number(offset)
                                            : labelPart + QString::number(offset);
        if (canonical != location)
            return false;
    } else {
        labelPart = location;
    }
    qint64 line = offset;
    if (!labelPart.isEmpty()) {
        const int labelLine = Labels().line(labelPart);
        if (labelLine == 0)
            return false;
        line = labelLine + offset;
    }
    return line >= 1 && line <= document()->NumLines() && PositionAt(int(line), charPos, selLength);
}

void Routine::PrimeParser(int index)
{
    SourceDocument *doc = document();
    if (index < 0 || index >= doc->NumLines())
        return;
    auto flags = [doc](int i) { return quint32(doc->GetLineData(i, LineData::kFlagSlot)); };
    int i = index;
    while (i > 0 && (flags(i) & quint32(LineData::kContinuation)))
        --i;
    const int state = i == 0 ? 0 : int((flags(i - 1) >> 16) & quint32(LineData::kCarriedStateMask));
    m_engine->MDo2(QStringLiteral("Begin^PARSE"), doc->GetLineData(i, LineData::kSerialSlot), state);
}

QString Routine::ask(const QString &entry, int line, int argument, bool rangeEntry)
{
    QString reply = m_engine->MDo2(entry, serialOf(line), argument);
    const bool cannotAnswer = rangeEntry ? reply.isEmpty() : reply.trimmed() == QLatin1String("-1");
    if (cannotAnswer) {
        PrimeParser(line - 1);
        reply = m_engine->MDo2(entry, serialOf(line), argument);
    }
    return reply;
}

int Routine::askPosition(const QString &entry, int line, int argument)
{
    bool ok = false;
    const int value = ask(entry, line, argument, false).trimmed().toInt(&ok);
    return ok && value >= 0 ? value : 0;
}

int Routine::CommandOfPos(int line, int pos)
{
    return askPosition(QStringLiteral("Pos2Cmd^PARSE"), line, pos);
}

void Routine::RangeOfCommand(int line, int command, int &startCol, int &endCol)
{
    const QString reply = ask(QStringLiteral("Cmd2Rng^PARSE"), line, command, true);
    const int comma = reply.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        startCol = reply.left(comma).trimmed().toInt();
        endCol = reply.mid(comma + 1).trimmed().toInt();
        return;
    }
    SourceDocument *doc = document();
    endCol = line >= 1 && line <= doc->NumLines() ? doc->GetLineLength(line - 1) : 0;
    startCol = endCol >= 1 ? 1 : 0;
}

int Routine::PosOfCommand(int line, int command)
{
    int start = 0, end = 0;
    RangeOfCommand(line, command, start, end);
    return start;
}

void Routine::PositionAtCommand(int line, int command)
{
    const QString reply = command >= 0 ? ask(QStringLiteral("Cmd2Rng^PARSE"), line, command, true)
                                       : ask(QStringLiteral("Pos2CRng^PARSE"), line, -command, true);
    int start = 1, end = 99999;
    const int comma = reply.indexOf(QLatin1Char(','));
    if (comma >= 0) {
        start = reply.left(comma).trimmed().toInt();
        end = reply.mid(comma + 1).trimmed().toInt();
    }
    PositionAt(line, start, end - start + 1);
}

bool Routine::PositionAt(int line, int charPos, int selLength)
{
    if (line < 1 || line > document()->NumLines())
        return false;
    int firstColumn = 0, firstLine = 0;
    m_window->scrollPosition(firstColumn, firstLine);
    const int scrolledLine = firstLine;

    const int command = CommandOfPos(line, charPos);
    // A place given as the start of a line that begins with a TAB selects the command
    // itself: a TAB in the selection would be typed over with it.
    if (selLength == -1 && command == 1 && charPos == 1) {
        int start = 0, end = 0;
        RangeOfCommand(line, command, start, end);
        if (start > charPos)
            charPos = start;
    }
    // Scrolled sideways, a jump to the first command brings the line start into view.
    if (command == 1 && firstColumn >= 1)
        m_window->setCaret(0, line - 1);
    m_window->setCaret(charPos - 1, line - 1);
    m_window->ensureCaretVisible();
    m_window->setCaret(charPos - 1, line - 1);
    m_window->scrollPosition(firstColumn, firstLine);

    if (selLength == -1) {
        const int end = askPosition(QStringLiteral("Pos2CEnd^PARSE"), line, charPos);
        selLength = std::max(0, end - charPos + 1);
    }
    m_window->setSelection(charPos - 1, line - 1, charPos - 1 + selLength, line - 1);
    m_window->ensureCaretVisible();
    m_window->scrollPosition(firstColumn, firstLine);
    if (firstLine != scrolledLine)
        m_window->CentreCaretLine();
    return true;
}
