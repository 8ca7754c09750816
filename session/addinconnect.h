#pragma once

#include <QObject>
#include <QPointer>
#include <QVariant>

class IAddInHost;
class ICommandBarControl;

// The one launcher object of the process. On its own the program calls Show once
// (twice with the splash); as an add-in, a host environment connects and the window
// shows on the host's button, on an external connection, or when it was displayed at
// the last disconnection ("DisplayOnConnect").
class AddInConnect : public QObject
{
    Q_OBJECT
public:
    enum ConnectMode { AfterStartup = 0, Startup = 1, External = 2 };

    explicit AddInConnect(QObject *parent = nullptr);

    // Creates the main window on the first call; every call shows it and listens.
    void Show();
    // Standalone: unloads the main window (ends the program). In a host: hides it.
    void Hide();

    bool FormDisplayed = false;
    IAddInHost *VBInstance = nullptr;   // null when the program runs on its own

    void OnConnection(IAddInHost *host, int connectMode, const QVariant &addInInst = {},
                      const QVariantList &custom = {});
    void OnDisconnection(int removeMode = 0, const QVariantList &custom = {});
    void OnStartupComplete(const QVariantList &custom = {});
    void OnAddInsUpdate(const QVariantList &custom = {});
    void MenuHandler_Click();
    ICommandBarControl *AddToAddInCommandBar(const QString &caption);

    // The per-user value "DisplayOnConnect" of section "Settings".
    static QString displayOnConnect();
    static void setDisplayOnConnect(const QString &value);

private:
    QPointer<ICommandBarControl> m_button;
};
