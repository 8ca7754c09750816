#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class PersistRegistry;
class QSettings;

// Saves the settings of every registered object under a named saved state and
// restores them from it. The state lives in the user's own settings file
// (QSettings, INI format, user scope; no system-wide fallbacks, so what was removed
// stays removed), one group <state>/<key> per registered object, one entry per
// attribute and one subgroup per nested memento.
//
//   PersistStorage storage(registry);
//   storage.setRoot("Software\\Brindlecote\\Vantrel");   // organisation, application
//   storage.restore("Duzezo 2.3");                       // at start-up
//   storage.save("Duzezo 2.3");                          // when the program closes
//
// Names are stored as they are ('.', '@', spaces and all), except that QSettings
// takes '/' and '\' as group separators: in the names of states, keys and
// attributes '%' is stored as "%25", '/' as "%2F" and '\' as "%5C". Two entries
// that no escaped name can produce carry what a plain group cannot: "%" is the
// empty name, and "%%" marks an empty memento (a group without entries does not
// exist in the file).
//
// Errors: an origin or a form factory that throws is skipped with a warning and
// the others go on; the skipped object's saved state stays as it was. Nothing
// throws out of restore or save.
class PersistStorage
{
public:
    explicit PersistStorage(PersistRegistry &registry);

    // A registry path such as "Software\\Brindlecote\\Vantrel": its last part is the
    // application, the part before it the organisation. Until a root with an
    // application is set, restore and save do nothing.
    void setRoot(const QString &registryRoot);

    // Hands each registered object that has saved state under stateName its memento,
    // in registration order. Objects without saved state are not touched (a pane
    // without saved state is not even created). Returns the keys restored.
    QStringList restore(const QString &stateName);

    // Replaces each registered object's saved state with its memento, in registration
    // order: attributes the object no longer writes disappear, and a null memento
    // leaves no saved state. Returns the keys whose state was replaced; empty when
    // the settings file could not be written.
    QStringList save(const QString &stateName);

    std::unique_ptr<QSettings> openSettings() const;

private:
    PersistRegistry &m_registry;
    QString m_organisation;
    QString m_application;   // empty: no root set, nothing is read or written
};
