#pragma once

#include "bookinghost.h"
#include "frmstatus.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class BookingService;
class SentryCore;

// The running Sentry: its core, its booking service and, once brought up, its
// status window. Started by hand it shows the window at once; started for a
// booking ("-Embedding") it waits for the first booking to bring itself up.
class SentryApp : public QObject, public BookingHost
{
    Q_OBJECT
public:
    // An embedded Sentry that no booking reaches within this time ends: the task
    // that started it has gone.
    static constexpr int EmbeddedIdleMs = 30000;

    explicit SentryApp(QObject *parent = nullptr);
    ~SentryApp() override;

    SentryCore *core() const { return m_core; }
    BookingService *bookings() const { return m_bookings; }
    frmStatus *gfrmStatus() const { return m_status; }

    // A started-for-a-booking Sentry has no usable command line; this is what it
    // starts with ("" = 4321 and 10 sessions).
    void setEmbeddedCommandLine(const QString &commandLine) { m_embeddedCommandLine = commandLine; }

    bool openBookingServer(const QString &name, QString *error = nullptr);
    // Shows the window and listens; on failure shows "Vantrel Sentry is unable to
    // start:" and returns false.
    bool startByHand(const QString &commandLine);
    void waitForFirstBooking(int idleMs = EmbeddedIdleMs);

    bool statusWindowExists() const override;
    void startStatusWindow() override;
    void unloadStatusWindow() override;
    quint16 ListeningPort() const override;
    QString LocalAddress() const override;

signals:
    // Nothing is left to run: the program should end with this code.
    void finished(int exitCode);

private:
    frmStatus *createStatusWindow();
    void onStatusUnloaded();

    SentryCore *m_core;
    BookingService *m_bookings;
    QPointer<frmStatus> m_status;
    QString m_embeddedCommandLine;
    QTimer m_idleTimer;
};
