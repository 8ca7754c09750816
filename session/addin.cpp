#include "addin.h"

#include "addinconnect.h"
#include "frmmdi.h"
#include "programsettings.h"
#include "singleinstance.h"
#include "systemprobe.h"

#include <QCoreApplication>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QStandardPaths>

#include <memory>

namespace {

struct ModuleState
{
    QString commandLine;
    std::unique_ptr<AddInConnect> connect;
    QPointer<frmMDI> mainWindow;
    QList<QPointer<frmMDI>> created;   // also those unloaded since, for reset()
    std::unique_ptr<SingleInstance> instanceLock;
    AddIn::ExitHook exitHook;
    bool exitRequested = false;
    int exitCode = 0;
};

ModuleState &state()
{
    static ModuleState s;
    return s;
}

// The names stay those of the original fonts, in settings and dialogs alike; here they
// render with what this desktop has.
void substituteFonts()
{
    QFont::insertSubstitution(QStringLiteral("MS Shell Dlg"), QGuiApplication::font().family());
    QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
}

QString instanceLockPath()
{
    const QString overridden = qEnvironmentVariable("VANTREL_INSTANCE_LOCK");
    if (!overridden.isEmpty())
        return overridden;
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(QStringLiteral("Vantrel.lock"));
}

} // namespace

ProgramSettings &programSettings()
{
    static ProgramSettings settings;
    return settings;
}

namespace AddIn {

QString commandLine()
{
    return state().commandLine;
}

void setCommandLine(const QString &line)
{
    state().commandLine = line;
}

bool startedForServer()
{
    return state().commandLine.startsWith(QLatin1String("SQ"));
}

bool Main()
{
    ProgramSettings &settings = programSettings();
    substituteFonts();
    settings.dialogFont = QFont(QStringLiteral("MS Shell Dlg"), 9);
    settings.isWine = SystemProbe::isWine();

    // Only an interactive start is refused beside a running copy: the Sentry starts a
    // task per waiting server, and one that ended silently would leave that server
    // without a debugger.
    if (state().commandLine.isEmpty()) {
        auto lock = std::make_unique<SingleInstance>(instanceLockPath());
        if (!lock->tryLock())
            return false;
        state().instanceLock = std::move(lock);
    }

    state().connect = std::make_unique<AddInConnect>();
    state().connect->Show();
    return !state().exitRequested;
}

AddInConnect *connect()
{
    return state().connect.get();
}

frmMDI *gfrmMDI()
{
    return state().mainWindow.data();
}

void setGfrmMDI(frmMDI *window)
{
    state().mainWindow = window;
    if (window)
        state().created.append(window);
}

void setExitHook(ExitHook hook)
{
    state().exitHook = std::move(hook);
}

void endProgram(int code)
{
    if (state().exitHook) {
        state().exitHook(code);
        return;
    }
    state().exitRequested = true;
    state().exitCode = code;
    // Before the event loop runs this does nothing; main() reads exitRequested instead.
    QCoreApplication::exit(code);
}

bool exitRequested()
{
    return state().exitRequested;
}

int exitCode()
{
    return state().exitCode;
}

void reset()
{
    ModuleState &s = state();
    for (const QPointer<frmMDI> &window : s.created)
        delete window.data();
    s.created.clear();
    s.connect.reset();
    s.instanceLock.reset();
    s.exitRequested = false;
    s.exitCode = 0;
    programSettings() = ProgramSettings();
}

} // namespace AddIn
