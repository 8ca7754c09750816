#pragma once

#include <QString>

#include <functional>

class MLink;
class QDialog;
class QWidget;

// What the server dialogs need of the main window beyond what every child window has
// (link, state, status text, tips: `mainWindow()`). The main window registers itself;
// tests register a recording fake.
class IDialogHost
{
public:
    virtual ~IDialogHost() = default;

    // Opens the routine for editing; a server refusal that still allows reading opens it
    // read-only and sets wasReadOnly. True when it is open; displayName is then its name
    // as the window caption shows it.
    virtual bool EditRoutine(const QString &name, const QString &ns, bool &wasReadOnly, int type,
                             QString &displayName) = 0;
    // Opens the routine read-only for viewing; as above.
    virtual bool ShowRoutine(const QString &name, const QString &ns, int type, QString &displayName) = 0;
    // The File menu's recent items follow the Open dialog's recent list.
    virtual void UpdateRecent() = 0;
    // Listens again for servers (state -1): rewrites the status bar's listening text.
    virtual void Listen() = 0;
    // Where the Sentry reaches this task: the address the servers see and the Sentry's port.
    virtual QString LocalAddress() const = 0;
    virtual quint16 SentryPort() const = 0;
    // The window dialogs are centred on; may be null.
    virtual QWidget *dialogParent() const = 0;
};

// The registered host; null while there is none.
IDialogHost *dialogHost();
void setDialogHost(IDialogHost *host);

// How a dialog's modal show runs. The program runs `exec()`; tests replace it with a
// script that acts on the shown dialog and closes it, so no nested event loop is left
// waiting for a user. Returns the dialog's result.
using ModalRunner = std::function<int(QDialog *)>;
int runModal(QDialog *dialog);
// Null restores `exec()`.
void setModalRunner(ModalRunner runner);
