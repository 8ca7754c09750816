#include "sentrycore.h"

#include "commandline.h"
#include "portbook.h"
#include "requestlistener.h"
#include "socketx.h"
#include "statustexts.h"
#include "taskstarter.h"
#include "vantrelerror.h"

SentryCore::SentryCore(QObject *parent)
    : QObject(parent)
    , m_book(new PortBook(this))
    , m_listener(new RequestListener(m_book, this))
    , m_taskStarter(std::make_unique<TaskStarter>())
    , m_resolver(GetHost::systemResolver())
{
    m_listener->setTaskStarter([this](bool forServer) { m_taskStarter->StartNewTask(forServer); });
}

SentryCore::~SentryCore() = default;

void SentryCore::setListenAddress(const QString &address)
{
    m_listener->setListenAddress(address);
}

void SentryCore::StartUp(const QString &commandLine)
{
    const SentryCommandLine options = SentryCommandLine::parse(commandLine);
    m_listener->SetListeningPort(options.port);

    // Slot ports past 65535 would wrap round to low ports the tasks cannot
    // listen on; the Sentry refuses such a configuration rather than start broken.
    if (PortBook::slotPort(options.port, options.sessions) == 0) {
        throw VantrelError(6, QStringLiteral("Overflow: port %1 leaves no room for %2 sessions below port 65536")
                                  .arg(options.port)
                                  .arg(options.sessions));
    }
    m_book->resetSlots(options.sessions);

    GetHost host(m_resolver);
    m_localAddress = host.LocalIP();

    m_listener->StartListening(options.sessions);
    m_started = true;
}

void SentryCore::shutDown()
{
    m_listener->close();
    m_started = false;
}

quint16 SentryCore::ListeningPort() const
{
    return m_listener->ListeningPort();
}

int SentryCore::sessions() const
{
    return m_book->slotCount();
}

QString SentryCore::tipText() const
{
    return StatusTexts::tipText(ListeningPort(), m_localAddress);
}

QString SentryCore::wsInfoText() const
{
    return StatusTexts::wsInfoText(SocketX::ComponentVersion(), RequestListener::BufferSize,
                                   RequestListener::BufferSize);
}
