#pragma once

// Points QSettings at a fresh temporary directory for as long as it lives, so that
// a test never reads or writes the developer's own settings. Both formats and both
// scopes are redirected (a user-scope QSettings also reads the system scope).
//
//   ScopedSettingsDir dir;                          // before the first QSettings
//   storage.save("Duzezo 2.3");                     // lands under dir.path()
//   auto next = dir.restarted();                    // what the next run would read
//   storage.restore("Duzezo 2.3");                  // parsed from the file
//
// restarted() matters because QSettings keeps what this process wrote, with its
// types, in a cache keyed by file name: reading the same file again gives back a
// bool where a new process gets the text "true". A copy under a new directory is
// parsed afresh.
//
// Scopes nest: each one puts back the directory in force before it (Qt's defaults
// after the outermost), so they must end in reverse order, as locals do.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class ScopedSettingsDir
{
public:
    ScopedSettingsDir()
        : m_previous(current())
    {
        if (!m_dir.isValid())
            qFatal("ScopedSettingsDir: no temporary directory (%s)", qPrintable(m_dir.errorString()));
        apply(m_dir.path(), m_dir.path());
        current() = m_dir.path();
    }

    ~ScopedSettingsDir()
    {
        if (m_previous.isEmpty())
            apply(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                  QLibraryInfo::path(QLibraryInfo::SettingsPath));
        else
            apply(m_previous, m_previous);
        current() = m_previous;
    }

    ScopedSettingsDir(const ScopedSettingsDir &) = delete;
    ScopedSettingsDir &operator=(const ScopedSettingsDir &) = delete;

    QString path() const { return m_dir.path(); }

    // The INI file QSettings uses for organisation and application in this directory.
    QString iniFile(const QString &organisation, const QString &application) const
    {
        return m_dir.path() + QLatin1Char('/') + organisation + QLatin1Char('/') + application
               + QLatin1String(".ini");
    }

    // A new scope holding a copy of every file of this one; it is in force until it ends.
    std::unique_ptr<ScopedSettingsDir> restarted() const
    {
        auto next = std::make_unique<ScopedSettingsDir>();
        const QDir from(m_dir.path());
        QDirIterator it(m_dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString target = next->path() + QLatin1Char('/') + from.relativeFilePath(file);
            QDir().mkpath(QFileInfo(target).absolutePath());
            if (!QFile::copy(file, target))
                qFatal("ScopedSettingsDir: cannot copy %s", qPrintable(file));
        }
        return next;
    }

private:
    static QString &current()
    {
        static QString path;   // empty: Qt's defaults
        return path;
    }

    static void apply(const QString &userPath, const QString &systemPath)
    {
        for (QSettings::Format format : {QSettings::IniFormat, QSettings::NativeFormat}) {
            QSettings::setPath(format, QSettings::UserScope, userPath);
            QSettings::setPath(format, QSettings::SystemScope, systemPath);
        }
    }

    QTemporaryDir m_dir;
    QString m_previous;   // the directory in force before this scope
};
