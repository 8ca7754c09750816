#pragma once

#include <QString>
#include <QtGlobal>

// A task's booking with the Sentry, as the main window and the Attach dialog use
// it. Behind an interface so the main window can be tested with a fake.
class ISentryBooking
{
public:
    virtual ~ISentryBooking() = default;

    // True while the task listens and is free for a server, False while it serves one.
    virtual void Listening(bool isListening) = 0;
    // The port the task is to listen on; 0 when the Sentry had no free slot.
    virtual quint16 Port() const = 0;
    // This PC's address as the Sentry found it at its start; empty when none was found.
    virtual QString LocalAddress() const = 0;
    // The port the Sentry takes requests on.
    virtual quint16 SentryPort() const = 0;
};
