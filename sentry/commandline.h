#pragma once

#include <QString>
#include <QtGlobal>

// The Sentry's start parameters: "[port [sessions]]".
struct SentryCommandLine
{
    static constexpr quint16 DefaultPort = 4321;
    static constexpr int DefaultSessions = 10;

    quint16 port = DefaultPort;
    int sessions = DefaultSessions;

    // Split at the first blank. A port is decimal digits giving 1..65535 (anything
    // else keeps 4321: no folding of negative or oversized values into some other
    // port). The slot count counts only as a whole 1..9; anything else keeps 10.
    static SentryCommandLine parse(const QString &commandLine);
};
