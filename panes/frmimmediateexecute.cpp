// Running a command line in the suspended process and writing its output into IO.
#include "frmimmediate.h"

#include "imainwindow.h"
#include "immediatechannel.h"
#include "mlink.h"
#include "sourceview.h"

#include <QTextBlock>
#include <QTextDocument>

namespace {

// Unicode transfer: the channel carries UTF-16LE like the frames.
constexpr qint32 UnicodeFeature = 1;
// "XEC2", a transaction, came with this protocol version.
constexpr qint32 TransactedExecuteVersion = 3;

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
        link->Send({QStringLiteral("XEC"), portText, text});
        return;
    }
    if (link->ProtocolVersion() >= TransactedExecuteVersion) {
        // The reply says nothing the pane acts on; the channel is opened whatever it is.
        QPointer<frmImmediate> self(this);
        link->Transact(0, QStringList{QStringLiteral("XEC2"), portText, text});
        if (!self || !link->IsConnected() || m_linkClosed)
            return;
        m_channel->connectTo(link->HostIP(), quint16(port));
        return;
    }
    m_channel->connectTo(link->HostIP(), quint16(port));
    link->Send({QStringLiteral("XEC"), portText, text});
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

void frmImmediate::onChannelClosed(const QString &output)
{
    // The server's lead character is not output.
    QString text = output.mid(1);
    // A command without output on a line that has text still shows it ran: an empty line.
    if (text.isEmpty() && m_io->Document()->GetLineLength(outputLine()) > 0)
        text = QStringLiteral("\r");
    insertOutput(text);

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
