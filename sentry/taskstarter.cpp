#include "taskstarter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

namespace {

QString defaultProgram()
{
    const QString chosen = qEnvironmentVariable(TaskStarter::ProgramVariable);
    if (!chosen.isEmpty())
        return chosen;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Vantrel"));
}

} // namespace

TaskStarter::TaskStarter()
    : m_launcher([](const QString &program, const QStringList &arguments) {
          if (!QFileInfo(program).isExecutable())
              return false;
          return QProcess::startDetached(program, arguments);
      })
    , m_foreground([] { return quint64(0); })
    , m_program(defaultProgram())
{
}

QStringList TaskStarter::arguments(bool forServer, quint64 foregroundHandle)
{
    if (!forServer)
        return {QStringLiteral("S")};
    return {QStringLiteral("SQ%1").arg(foregroundHandle)};
}

void TaskStarter::StartNewTask(bool forServer)
{
    const QStringList args = arguments(forServer, forServer ? m_foreground() : 0);
    if (!m_launcher(m_program, args)) {
        std::fprintf(stderr, "VantrelSentry: could not start a task: %s %s\n",
                     qPrintable(m_program), qPrintable(args.join(QLatin1Char(' '))));
    }
}
