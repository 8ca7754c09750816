#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

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

using SentryBookingFactory = std::function<std::unique_ptr<ISentryBooking>()>;

// Books this task in with the Sentry: a Connection2 unless a factory is set (tests
// give the main window a fake). Throws VantrelError when the booking cannot be made.
std::unique_ptr<ISentryBooking> makeSentryBooking();
// Replaces what makeSentryBooking creates; an empty factory restores Connection2.
void setSentryBookingFactory(SentryBookingFactory factory);
