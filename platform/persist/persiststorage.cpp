#include "persiststorage.h"

#include "imementoorigin.h"
#include "persistregistry.h"

#include <QRegularExpression>
#include <QSettings>

#include <exception>
#include <functional>

namespace {

// Stored names that no escaped name can produce (see the class comment).
const QString EmptyName = QStringLiteral("%");
const QString EmptyMementoMark = QStringLiteral("%%");

QString encodeName(const QString &name)
{
    if (name.isEmpty())
        return EmptyName;
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        if (c == QLatin1Char('%'))
            out += QLatin1String("%25");
        else if (c == QLatin1Char('/'))
            out += QLatin1String("%2F");
        else if (c == QLatin1Char('\\'))
            out += QLatin1String("%5C");
        else
            out += c;
    }
    return out;
}

QString decodeName(const QString &stored)
{
    if (stored == EmptyName)
        return QString();
    // Every '%' of an escaped name starts one of the three escapes, so they can be
    // undone one kind at a time, as long as "%25" goes last.
    QString name = stored;
    name.replace(QLatin1String("%2F"), QLatin1String("/"))
        .replace(QLatin1String("%5C"), QLatin1String("\\"))
        .replace(QLatin1String("%25"), QLatin1String("%"));
    return name;
}

// The memento of the current group: its entries as QSettings gives them back, its
// subgroups as nested mementos.
MementoPtr readGroup(QSettings &settings)
{
    auto memento = std::make_shared<Memento>();
    const QStringList keys = settings.childKeys();
    for (const QString &key : keys) {
        if (key != EmptyMementoMark)
            memento->write(decodeName(key), settings.value(key));
    }
    const QStringList groups = settings.childGroups();
    for (const QString &group : groups) {
        settings.beginGroup(group);
        memento->writeMemento(decodeName(group), readGroup(settings));
        settings.endGroup();
    }
    return memento;
}

void writeGroup(QSettings &settings, const Memento &memento)
{
    if (memento.isEmpty()) {
        settings.setValue(EmptyMementoMark, QVariant());
        return;
    }
    const QStringList names = memento.names();
    for (const QString &name : names) {
        const QString key = encodeName(name);
        if (const MementoPtr child = memento.readMemento(name)) {
            settings.beginGroup(key);
            writeGroup(settings, *child);
            settings.endGroup();
        } else {
            settings.setValue(key, memento.read(name));
        }
    }
}

// Runs one object's part; false (with a warning) when it throws, so that the
// objects after it still get theirs.
bool guarded(const char *operation, const QString &key, const std::function<void()> &part)
{
    try {
        part();
        return true;
    } catch (const std::exception &e) {
        qWarning("PersistStorage: %s of \"%s\" failed: %s", operation, qPrintable(key), e.what());
    } catch (...) {
        qWarning("PersistStorage: %s of \"%s\" failed", operation, qPrintable(key));
    }
    return false;
}

} // namespace

PersistStorage::PersistStorage(PersistRegistry &registry)
    : m_registry(registry)
{
}

void PersistStorage::setRoot(const QString &registryRoot)
{
    static const QRegularExpression separators(QStringLiteral("[\\\\/]"));
    const QStringList parts = registryRoot.split(separators, Qt::SkipEmptyParts);
    m_application = parts.value(parts.size() - 1);
    m_organisation = parts.value(parts.size() - 2);
}

QStringList PersistStorage::restore(const QString &stateName)
{
    QStringList restored;
    if (m_application.isEmpty())
        return restored;
    const std::unique_ptr<QSettings> settings = openSettings();
    settings->beginGroup(encodeName(stateName));
    const QStringList saved = settings->childGroups();
    const QStringList keys = m_registry.keys();
    for (const QString &key : keys) {
        const QString group = encodeName(key);
        if (!saved.contains(group))
            continue;
        settings->beginGroup(group);
        const MementoPtr memento = readGroup(*settings);
        settings->endGroup();
        bool done = false;
        guarded("restore", key, [&] {
            if (IMementoOrigin *origin = m_registry.originFor(key)) {
                origin->restoreMemento(*memento);
                done = true;
            }
        });
        if (done)
            restored.append(key);
    }
    return restored;
}

QStringList PersistStorage::save(const QString &stateName)
{
    QStringList saved;
    if (m_application.isEmpty())
        return saved;
    const std::unique_ptr<QSettings> settings = openSettings();
    settings->beginGroup(encodeName(stateName));
    const QStringList keys = m_registry.keys();
    for (const QString &key : keys) {
        IMementoOrigin *origin = nullptr;
        MementoPtr memento;
        // The old state is removed only once the new one is in hand: an object that
        // fails to give its settings keeps those of the last good save.
        const bool ok = guarded("save", key, [&] {
            origin = m_registry.originFor(key);
            if (origin)
                memento = origin->saveMemento();
        });
        if (!ok || !origin)
            continue;
        const QString group = encodeName(key);
        settings->remove(group);
        if (memento) {
            settings->beginGroup(group);
            writeGroup(*settings, *memento);
            settings->endGroup();
        }
        saved.append(key);
    }
    settings->endGroup();
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        qWarning("PersistStorage: could not write %s", qPrintable(settings->fileName()));
        return {};
    }
    return saved;
}

std::unique_ptr<QSettings> PersistStorage::openSettings() const
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                m_organisation, m_application);
    settings->setFallbacksEnabled(false);
    return settings;
}
