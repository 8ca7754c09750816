#pragma once

#include <QString>
#include <QVariant>

class QObject;

// Gives the persistence and docking machinery a window by name without linking
// against the window classes; the pane library implements it. The factory keeps
// ownership of every form it returns.
class IFormFactory
{
public:
    virtual ~IFormFactory() = default;

    // The form named formId: its one default instance when metadata reads as true
    // (created and loaded on first use), otherwise a new instance. Null for a name
    // the factory does not know.
    virtual QObject *CreateInstance(const QString &formId, const QVariant &metadata) = 0;
    // What CreateInstance needs to find `form` again: whether it is the default
    // instance of formId. Invalid for a name the factory does not know.
    virtual QVariant GetMetadata(const QString &formId, QObject *form) = 0;
};
