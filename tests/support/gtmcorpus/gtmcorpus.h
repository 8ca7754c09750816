#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

// The M routines shipped with GT.M (Debian's fis-gtm package), each file once: the utf8/
// folder links to the same files and the lower-case names are byte-identical copies.
struct GtmRoutine
{
    QString path;
    QStringList lines;
};

inline QString gtmInstallationFolder()
{
    const QStringList roots = {QStringLiteral("/usr/lib/x86_64-linux-gnu/fis-gtm"),
                               QStringLiteral("/usr/lib/fis-gtm")};
    for (const QString &root : roots) {
        QDir dir(root);
        QStringList versions = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
            if (QFileInfo::exists(dir.filePath(*it + QStringLiteral("/mumps"))))
                return dir.filePath(*it);
        }
    }
    return QString();
}

inline std::vector<GtmRoutine> loadGtmCorpus(const QString &folder)
{
    std::vector<GtmRoutine> routines;
    QSet<QByteArray> seen;
    QStringList paths;
    QDirIterator it(folder, {QStringLiteral("*.m")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    std::sort(paths.begin(), paths.end());
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        const QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
        if (seen.contains(digest))
            continue;
        seen.insert(digest);
        GtmRoutine routine;
        routine.path = path;
        // Routines are bytes; Latin-1 keeps every byte one character, as the editor shows them.
        QString text = QString::fromLatin1(bytes);
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        routine.lines = text.split(QLatin1Char('\n'));
        for (QString &line : routine.lines) {
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
        }
        routines.push_back(std::move(routine));
    }
    return routines;
}
