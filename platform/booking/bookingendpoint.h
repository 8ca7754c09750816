#pragma once

#include <QString>

// Where the Sentry of this user is found: the local server name tasks book in
// through, the lock file that keeps one Sentry per user, and the program that is
// started when no Sentry answers. Each can be overridden through the environment
// so that tests running in parallel get a private Sentry of their own.
namespace BookingEndpoint {

// Full local server name (a socket path). VANTREL_SENTRY_SOCKET overrides it.
inline constexpr const char *SocketVariable = "VANTREL_SENTRY_SOCKET";
// Path of the Sentry executable a task starts. VANTREL_SENTRY_PROGRAM overrides
// the sibling of the running executable.
inline constexpr const char *ProgramVariable = "VANTREL_SENTRY_PROGRAM";
// The argument that tells the Sentry it was started for a booking.
inline constexpr const char *EmbeddingArgument = "-Embedding";

QString serverName();
QString lockFilePath();            // derived from serverName()
QString sentryProgram();

} // namespace BookingEndpoint
