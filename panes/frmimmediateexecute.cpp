// Running a command line in the suspended process and writing its output into IO.
#include "frmimmediate.h"

#include "imainwindow.h"
#include "immediatechannel.h"
#include "linedata.h"
#include "mlink.h"
#include "sourcedocument.h"
#include "sourceview.h"

#include <QElapsedTimer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

namespace {

// Unicode transfer: the channel carries UTF-16LE like the frames.
constexpr qint32 UnicodeFeature = 1;
// "XEC2", a transaction, came with this protocol version.
constexpr qint32 TransactedExecuteVersion = 3;

const QString DroppedMarker = QStringLiteral("[earlier text dropped: %1 characters; the pane keeps the last %2 characters]");
const QString DroppedLinesMarker = QStringLiteral("[earlier text dropped: %1 characters; the pane keeps the last %2 lines]");
// Slot 1 of the line that says how much text has gone: the line is told by this, not by
// its text, which a command's own output may well begin with. The value travels with the
// line through every edit and goes when the line is deleted.
constexpr std::int32_t DroppedTextLine = 2;
const QString StoppedLine = QStringLiteral("[output stopped]");

// Writing pieces of output takes at most about this share of the event loop's time
// while output streams in; the rest is the user's.
constexpr int WriteShareDivisor = 3;
// Pieces are written at least this often, so that output shows while it comes.
constexpr int LongestFlushDelayMs = 100;
// What one turn of the event loop writes into IO at most, in characters and in lines;
// the rest waits for the next. A line costs the view as much as many characters.
constexpr int FlushSlice = 128 * 1024;
constexpr int FlushSliceLines = 4 * 1024;
// When the output is complete, what is still held is written at once for this long; the
// rest follows in the next turns of the loop.
constexpr int FinishBudgetMs = 50;

// The position just after the count-th line end of text; -1 when it has fewer.
qsizetype afterLineEnds(QStringView text, qsizetype count)
{
    qsizetype at = 0;
    for (; count > 0; --count) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), at);
        if (end < 0)
            return -1;
        at = end + 1;
    }
    return at;
}

} // namespace

// Enter on a line: the line is run, and the caret goes to the start of the next line,
// which is added when the line was the last. The output will stand above that line.
void frmImmediate::executeLine(int line)
{
    SourceDocument *doc = m_io->Document();
    const QString text = doc->GetLine(line);
    if (line == doc->NumLines() - 1)
        doc->Insert(doc->GetLineLength(line), line, QStringLiteral("\r"));
    m_io->SetCaret(0, line + 1);
    if (text.isEmpty())
        return;
    runCommand(text, line + 1);
}

void frmImmediate::runCommand(const QString &text, int outputLine)
{
    IMainWindow *main = mainWindow();
    MLink *link = main ? main->link() : nullptr;
    if (!link || !link->IsConnected())
        return;
    const LinkSession session(*link);

    // One command at a time: a listener the server never reached, or a channel still
    // connecting, would hold the port the new command needs.
    m_channel->abort();
    m_outputAt = QTextCursor(m_io->document());
    m_outputAt.setPosition(m_io->Document()->positionOf(0, outputLine));
    m_linkClosed = false;
    connect(link, &MLink::OnClose, this, &frmImmediate::onLinkClosed, Qt::UniqueConnection);

    // The link's port is read as unsigned; the channel is on the port after it.
    const int port = int(quint16(link->MainPort())) + 1;
    if (port > 65535) {
        writeOutputLine(QStringLiteral("No port for the output channel: the session's port is 65535"));
        return;
    }
    const QString portText = QString::number(port);
    m_channel->setUnicode(link->HasFeature(UnicodeFeature));

    if (!link->IsOutbound()) {
        QString error;
        if (!m_channel->listen(quint16(port), link->HostIP(), error)) {
            writeOutputLine(QStringLiteral("Cannot listen for the output on port %1: %2").arg(port).arg(error));
            return;
        }
        session.Send({QStringLiteral("XEC"), portText, text});
        return;
    }
    if (link->ProtocolVersion() >= TransactedExecuteVersion) {
        // The reply says nothing the pane acts on; the channel is opened whatever it is.
        QPointer<frmImmediate> self(this);
        link->Transact(0, QStringList{QStringLiteral("XEC2"), portText, text});
        if (!self || !session.isCurrent() || m_linkClosed)
            return;
        m_channel->connectTo(link->HostIP(), quint16(port));
        return;
    }
    m_channel->connectTo(link->HostIP(), quint16(port));
    session.Send({QStringLiteral("XEC"), portText, text});
}

// A line of our own where the output would have gone: the command did not run.
void frmImmediate::writeOutputLine(const QString &text)
{
    insertOutput(text + QLatin1Char('\r'));
}

// The line the output goes above: the one that followed the command line at Enter,
// wherever the caret has gone since.
int frmImmediate::outputLine() const
{
    if (m_outputAt.isNull())
        return m_io->CaretLine();
    return m_outputAt.block().blockNumber();
}

void frmImmediate::insertOutput(QString text)
{
    if (text.isEmpty())
        return;
    text.replace(QLatin1String("\r\n"), QLatin1String("\r"));
    text.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    if (!text.endsWith(QLatin1Char('\r')))
        text += QLatin1Char('\r');
    // New lines come in with slot 1 at 0: output. The line below keeps its own data.
    m_io->Document()->Insert(0, outputLine(), text);
}

// The server's channel connection is there: the session is busy until it closes.
void frmImmediate::SetBusy()
{
    IMainWindow *main = mainWindow();
    // A channel that connects after the session ended has no session to hold.
    if (!main || m_linkClosed)
        return;
    m_savedState = main->MState();
    main->setMState(ExecutingState);
}

void frmImmediate::onChannelOpened()
{
    m_pendingOutput.clear();
    m_pendingLines = 0;
    m_leadExpected = true;
    m_heldCR = false;
    m_openLine = false;
    m_outputEnded = false;
    m_lineLength = 0;
    m_wroteOutput = false;
    // Output is not undone: a history holding every piece written would grow without
    // bound under a long stream.
    m_io->Document()->ForgetUndoHistory();
    SetBusy();
}

void frmImmediate::onOutputArrived(const QString &piece)
{
    QString text = piece;
    // The server's lead character is not output.
    if (m_leadExpected) {
        text.remove(0, 1);
        m_leadExpected = false;
    }
    // A CR that ends a piece may be the first half of a CR LF: it waits for the next.
    if (m_heldCR)
        text.prepend(QLatin1Char('\r'));
    m_heldCR = text.endsWith(QLatin1Char('\r'));
    if (m_heldCR)
        text.chop(1);
    // Every line end of the output (CR LF, a lone CR, a lone LF) becomes the LF the
    // document keeps, so the document has nothing left to convert.
    text = SourceDocument::normalizeLineEnds(text);
    breakLongLines(text);
    m_pendingOutput += text;
    m_pendingLines += text.count(QLatin1Char('\n'));
    if (m_pendingOutput.size() > OutputLimit || m_pendingLines > OutputLineLimit)
        dropPendingOutput();
    scheduleFlush();
}

// What IO could not keep anyway is not held here either: the oldest of it goes, down to
// three quarters of the bound it passed, from a line start on. Everything IO shows
// above the output is older still and goes with it, so that what stays runs on without
// a gap.
void frmImmediate::dropPendingOutput()
{
    qsizetype cut = 0;
    if (m_pendingOutput.size() > OutputLimit)
        cut = m_pendingOutput.size() - OutputLimit * 3 / 4;
    bool forLines = false;
    if (m_pendingLines > OutputLineLimit) {
        const qsizetype lineCut = afterLineEnds(m_pendingOutput, m_pendingLines - OutputLineLimit * 3 / 4);
        forLines = lineCut > cut;
        cut = qMax(cut, lineCut);
    }
    if (cut <= 0)
        return;
    // No line here is longer than LongestLine, so a line start is near.
    if (m_pendingOutput.at(cut - 1) != QLatin1Char('\n')) {
        const qsizetype end = m_pendingOutput.indexOf(QLatin1Char('\n'), cut);
        if (end >= 0)
            cut = end + 1;
    }
    m_pendingLines -= QStringView(m_pendingOutput).left(cut).count(QLatin1Char('\n'));
    m_pendingOutput.remove(0, cut);
    m_droppedChars += cut;
    m_droppedForLines = forLines;
    dropShownOutput();
}

// The text above the output goes: IO keeps its marker and, from the line the output
// goes above on, what stands below. An output line that was still open goes with the
// rest: what follows it has gone.
void frmImmediate::dropShownOutput()
{
    dropText(keptStart(), outputPosition());
    m_openLine = false;
    showDroppedCount();
}

// A line of output longer than LongestLine goes on in the next line: the view lays a
// line out whole each time it grows, and an endless line (a loop that writes without a
// line end) would make every piece cost more than the last.
void frmImmediate::breakLongLines(QString &text)
{
    QString out;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), from);
        const qsizetype runEnd = end < 0 ? text.size() : end;
        const qsizetype room = LongestLine - m_lineLength;
        if (runEnd - from <= room) {
            m_lineLength = end < 0 ? m_lineLength + (runEnd - from) : 0;
            if (!out.isNull())
                out += QStringView(text).mid(from, (end < 0 ? runEnd : end + 1) - from);
            from = end < 0 ? runEnd : end + 1;
            continue;
        }
        if (out.isNull())
            out = text.left(from);
        out += QStringView(text).mid(from, room);
        out += QLatin1Char('\n');
        m_lineLength = 0;
        from += room;
    }
    if (!out.isNull())
        text = out;
}

void frmImmediate::flushOutput()
{
    writePiece();
    if (!m_pendingOutput.isEmpty()) {
        if (m_outputEnded)
            m_flushTimer->start(0);
        else
            scheduleFlush();
    } else if (m_outputEnded) {
        completeOutput();
    }
}

// Writes what has arrived above the line the output goes above, a slice at most. A last
// line without its line end yet gets one of ours, and the next piece goes in before it.
void frmImmediate::writePiece()
{
    m_flushTimer->stop();
    if (m_pendingOutput.isEmpty())
        return;
    QElapsedTimer cost;
    cost.start();
    QString text = takePendingPiece();
    const bool endsLine = text.endsWith(QLatin1Char('\n'));
    int at = outputPosition();
    if (m_openLine) {
        --at;
        if (endsLine)
            text.chop(1);
    } else if (!endsLine) {
        text += QLatin1Char('\n');
    }
    m_openLine = !endsLine;
    m_wroteOutput = true;
    if (!text.isEmpty()) {
        const QTextBlock block = m_io->document()->findBlock(at);
        m_io->Document()->InsertImpl(at - block.position(), block.blockNumber(), text);
    }
    dropOldestText();
    if (m_io->CaretLine() == outputLine())
        m_io->ensureCursorVisible();
    m_lastFlushNs = cost.nsecsElapsed();
}

// The oldest of what has arrived, a slice at most.
QString frmImmediate::takePendingPiece()
{
    qsizetype size = qMin<qsizetype>(m_pendingOutput.size(), FlushSlice);
    if (m_pendingLines > FlushSliceLines) {
        const qsizetype afterLines = afterLineEnds(QStringView(m_pendingOutput).left(size), FlushSliceLines);
        if (afterLines > 0)
            size = afterLines;
    }
    QString piece;
    if (size == m_pendingOutput.size()) {
        piece.swap(m_pendingOutput);
    } else {
        piece = m_pendingOutput.left(size);
        m_pendingOutput.remove(0, size);
    }
    m_pendingLines -= piece.count(QLatin1Char('\n'));
    return piece;
}

void frmImmediate::scheduleFlush()
{
    if (m_flushTimer->isActive())
        return;
    const qint64 waitMs = m_lastFlushNs * (WriteShareDivisor - 1) / 1000000;
    m_flushTimer->start(int(qMin<qint64>(waitMs, LongestFlushDelayMs)));
}

// Where the output goes in: the start of the line it goes above.
int frmImmediate::outputPosition() const
{
    return m_outputAt.isNull() ? m_io->Document()->positionOf(0, m_io->CaretLine()) : m_outputAt.position();
}

// IO beyond either bound loses its oldest text, down to seven eighths of the bound so
// that a stream does not cut at every piece. A cut for the characters falls on a line
// start when one is near; an endless line is cut inside. The first line tells how much
// has gone.
void frmImmediate::dropOldestText()
{
    SourceDocument *doc = m_io->Document();
    QTextDocument *text = m_io->document();
    const int size = text->characterCount();
    const int lines = doc->NumLines();
    if (size > OutputLimit || lines > OutputLineLimit) {
        // The line the output goes above stays, and so does the line end before it.
        const int cutLimit = (m_outputAt.isNull() ? size : m_outputAt.position()) - 1;
        int cut = 0;
        if (size > OutputLimit) {
            cut = qMin(size - OutputLimit * 7 / 8, cutLimit);
            const QTextBlock block = text->findBlock(cut);
            const QTextBlock next = block.next();
            if (block.position() != cut && next.isValid() && next.position() <= cutLimit
                && next.position() - cut <= OutputLimit / 8)
                cut = next.position();
        }
        bool forLines = false;
        if (lines > OutputLineLimit) {
            const int lineCut = qMin(doc->positionOf(0, lines - OutputLineLimit * 7 / 8), cutLimit);
            forLines = lineCut > cut;
            cut = qMax(cut, lineCut);
        }
        if (dropText(keptStart(), cut))
            m_droppedForLines = forLines;
    }
    showDroppedCount();
}

// Where IO's text starts below the line that tells how much has gone.
int frmImmediate::keptStart() const
{
    const SourceDocument *doc = m_io->Document();
    const bool hasMarker = doc->GetLineData(0, LineData::kFlagSlot) == DroppedTextLine && doc->NumLines() > 1;
    return hasMarker ? doc->positionOf(0, 1) : 0;
}

// Deletes IO's text from one document position to another and counts it as dropped;
// false when there is nothing between them.
bool frmImmediate::dropText(int from, int to)
{
    if (to <= from)
        return false;
    QTextDocument *text = m_io->document();
    const QTextBlock first = text->findBlock(from);
    const QTextBlock last = text->findBlock(to);
    m_io->Document()->DeleteImpl(from - first.position(), first.blockNumber(), to - last.position(),
                                 last.blockNumber());
    m_droppedChars += to - from;
    return true;
}

// The first line says how much text has gone since IO was last emptied, and the bound
// that made it go.
void frmImmediate::showDroppedCount()
{
    if (m_droppedChars == 0)
        return;
    SourceDocument *doc = m_io->Document();
    const bool hasMarker = keptStart() > 0;
    const QString marker = m_droppedForLines ? DroppedLinesMarker.arg(m_droppedChars).arg(OutputLineLimit)
                                             : DroppedMarker.arg(m_droppedChars).arg(OutputLimit);
    if (hasMarker && marker == m_markerShown)
        return;
    m_markerShown = marker;
    if (hasMarker) {
        doc->DeleteImpl(0, 0, doc->GetLineLength(0), 0);
    } else {
        doc->InsertImpl(0, 0, QStringLiteral("\r"));
        doc->SetLineData(0, LineData::kFlagSlot, DroppedTextLine);
    }
    doc->InsertImpl(0, 0, marker);
}

void frmImmediate::onChannelClosed()
{
    finishOutput();
}

// What has arrived and is not shown yet goes with the output that was stopped.
void frmImmediate::StopOutput()
{
    if (!m_channel->isOpen())
        return;
    m_channel->abort();
    m_pendingOutput.clear();
    // The stop gets a line of its own, below whatever was shown.
    if (m_openLine)
        m_pendingOutput += QLatin1Char('\n');
    m_heldCR = false;
    m_pendingOutput += StoppedLine + QLatin1Char('\n');
    m_pendingLines = m_openLine ? 2 : 1;
    finishOutput();
}

// The output is complete: what is still held is written, and then the session goes back
// to the state of before the command.
void frmImmediate::finishOutput()
{
    if (m_heldCR) {
        m_pendingOutput += QLatin1Char('\n');
        ++m_pendingLines;
    }
    m_heldCR = false;
    m_leadExpected = false;
    m_outputEnded = true;
    QElapsedTimer spent;
    spent.start();
    while (!m_pendingOutput.isEmpty() && spent.elapsed() < FinishBudgetMs)
        writePiece();
    if (!m_pendingOutput.isEmpty()) {
        m_flushTimer->start(0);
        return;
    }
    completeOutput();
}

void frmImmediate::completeOutput()
{
    m_flushTimer->stop();
    m_outputEnded = false;
    // Our line end of an open last line stays: output always ends with one.
    m_openLine = false;
    // A command without output on a line that has text still shows it ran: an empty line.
    if (!m_wroteOutput && m_io->Document()->GetLineLength(outputLine()) > 0)
        insertOutput(QStringLiteral("\r"));

    IMainWindow *main = mainWindow();
    // The state is ours to restore only while nothing else has changed it meanwhile; a
    // session that ended has nothing to go back to and no variables to fetch.
    if (!main || m_linkClosed || main->MState() != ExecutingState)
        return;
    main->setMState(m_savedState);
    if (m_variablesRefresh)
        m_variablesRefresh();
}

// The session ended while a command ran: nobody will connect to a listener now, and a
// channel still connecting has no session to report to. A channel that is already open
// brings in what the server still writes.
void frmImmediate::onLinkClosed()
{
    m_linkClosed = true;
    if (!m_channel->isOpen())
        m_channel->abort();
    else
        m_channel->closeListener();
}
