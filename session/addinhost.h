#pragma once

#include <QObject>
#include <QString>

// A host development environment that loads the program as an add-in: only what the
// add-in role uses of it. No such host exists on this platform; the program always
// runs on its own and tests play the host.
class ICommandBarControl : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void setCaption(const QString &caption) = 0;
    virtual void remove() = 0;   // Delete
signals:
    void clicked();
};

class ICommandBar
{
public:
    virtual ~ICommandBar() = default;
    // Controls.Add(1): a new button; null when the bar refuses.
    virtual ICommandBarControl *addButton() = 0;
};

class IAddInHost
{
public:
    virtual ~IAddInHost() = default;
    // The command bar of that name, or null.
    virtual ICommandBar *commandBar(const QString &name) = 0;
};
