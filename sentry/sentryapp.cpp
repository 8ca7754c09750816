#include "sentryapp.h"

#include "bookingservice.h"
#include "frmstatus.h"
#include "iforeground.h"
#include "portbook.h"
#include "sentrycore.h"
#include "statustexts.h"
#include "taskstarter.h"
#include "userprompt.h"
#include "vantrelerror.h"


SentryApp::SentryApp(QObject *parent)
    : QObject(parent)
    , m_core(new SentryCore(this))
    , m_bookings(new BookingService(m_core->portBook(), this, this))
{
    // A task started for a server gives the focus back to the window that was in front
    // (the user's own program) when its session's application runs again. Where the
    // window system names no window to other programs (Wayland, offscreen) the task gets
    // "SQ0": it starts without splash and keeps no window to give the foreground back to.
    m_core->taskStarter()->setForegroundWindow(foregroundWindowForOtherPrograms);
    connect(m_bookings, &BookingService::startFailed, this, [this] { emit finished(1); });
    connect(m_bookings, &BookingService::bookingArrived, &m_idleTimer, &QTimer::stop);
    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        if (!m_status)
            emit finished(0);
    });
}

SentryApp::~SentryApp()
{
    delete m_status;
}

bool SentryApp::openBookingServer(const QString &name, QString *error)
{
    return m_bookings->listen(name, error);
}

frmStatus *SentryApp::createStatusWindow()
{
    m_status = new frmStatus(m_core);
    m_status->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(m_status, &frmStatus::unloaded, this, &SentryApp::onStatusUnloaded);
    return m_status;
}

bool SentryApp::startByHand(const QString &commandLine)
{
    frmStatus *status = createStatusWindow();
    try {
        status->StartUp(commandLine);
    } catch (const VantrelError &error) {
        const QString reason = StatusTexts::startFailureReason(qint64(error.number()), error.text(),
                                                               m_core->ListeningPort());
        unloadStatusWindow();
        tellUser(StatusTexts::unableToStart(reason), StatusTexts::caption(), IUserPrompt::Icon::Critical);
        return false;
    }
    status->showCentred();
    return true;
}

void SentryApp::waitForFirstBooking(int idleMs)
{
    m_idleTimer.start(idleMs);
}

bool SentryApp::statusWindowExists() const
{
    return !m_status.isNull();
}

void SentryApp::startStatusWindow()
{
    frmStatus *status = createStatusWindow();
    status->StartUp(m_embeddedCommandLine);   // a failure is the caller's to report
    status->minimiseToTray();
}

void SentryApp::unloadStatusWindow()
{
    if (!m_status)
        return;
    frmStatus *status = m_status;
    m_status = nullptr;
    status->disconnect(this);
    m_core->shutDown();
    status->hide();
    status->deleteLater();
}

quint16 SentryApp::ListeningPort() const
{
    return m_core->ListeningPort();
}

QString SentryApp::LocalAddress() const
{
    return m_core->LocalAddress();
}

void SentryApp::onStatusUnloaded()
{
    frmStatus *status = m_status;
    m_status = nullptr;
    if (status)
        status->deleteLater();
    m_bookings->close();
    // With tasks still booked the process ends at once and they lose their
    // bookings (the user was warned); with none, nothing is left to keep it.
    emit finished(0);
}
