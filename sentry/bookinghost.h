#pragma once

#include <QString>
#include <QtGlobal>

// What the booking service needs from the Sentry around it: the status window
// (which a booking brings up when the Sentry was started for it) and the two
// facts every booking reports.
class BookingHost
{
public:
    virtual ~BookingHost() = default;

    virtual bool statusWindowExists() const = 0;
    // Creates the window, brings the Sentry up and tucks the window away.
    // Throws VantrelError with the start-up error.
    virtual void startStatusWindow() = 0;
    virtual void unloadStatusWindow() = 0;

    virtual quint16 ListeningPort() const = 0;
    virtual QString LocalAddress() const = 0;
};
