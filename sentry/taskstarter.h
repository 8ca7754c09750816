#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Starts a new Vantrel task from the executable beside the Sentry's own, or from
// the one VANTREL_SENTRY_TASK_PROGRAM names (so that a Sentry under test never
// starts a real task).
// "S" is an ordinary start; "SQ" and the foreground window's handle start it on a
// waiting server's behalf (no splash, listening at once).
class TaskStarter
{
public:
    using Launcher = std::function<bool(const QString &program, const QStringList &arguments)>;
    using ForegroundWindow = std::function<quint64()>;

    static constexpr const char *ProgramVariable = "VANTREL_SENTRY_TASK_PROGRAM";

    TaskStarter();

    void setLauncher(Launcher launcher) { m_launcher = std::move(launcher); }
    void setForegroundWindow(ForegroundWindow foreground) { m_foreground = std::move(foreground); }
    void setProgram(const QString &program) { m_program = program; }
    QString program() const { return m_program; }

    static QStringList arguments(bool forServer, quint64 foregroundHandle);

    // Failures are not reported to anyone waiting; they are logged so that a
    // missing or wrong program can be diagnosed.
    void StartNewTask(bool forServer);

private:
    Launcher m_launcher;
    ForegroundWindow m_foreground;
    QString m_program;
};
