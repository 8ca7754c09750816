#pragma once

#include "statustexts.h"

#include <QWidget>

#include <optional>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSystemTrayIcon;
class SentryCore;

// The Sentry's one window. It mostly lives as a tray icon; where the desktop has
// no tray (and on the offscreen platform) it stays reachable as a minimised window.
// Its questions go through the program's user prompt.
class frmStatus : public QWidget
{
    Q_OBJECT
public:
    explicit frmStatus(SentryCore *core, QWidget *parent = nullptr);
    ~frmStatus() override;

    // Brings the Sentry up (SentryCore::StartUp) and fills the window and the tray
    // icon. Throws VantrelError as SentryCore::StartUp does.
    void StartUp(const QString &commandLine);

    // Hand-started: shown normally at the screen's centre.
    void showCentred();
    // Started for a booking: only the tray icon shows, or a minimised window
    // where there is no tray.
    void minimiseToTray();

    bool hasTray() const { return m_trayAvailable; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QMenu *trayMenu() const { return mPopupSys; }

    // Closes after the close questions for this reason; false when cancelled.
    bool requestClose(StatusTexts::CloseReason reason);

    QLabel *lblAbout;
    QLabel *lblVersion;
    QLabel *lblPort;
    QPlainTextEdit *txtWSInfo;

signals:
    // The window has gone: tray icon removed, sockets released.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void mPopRestore_Click();
    void mPopExit_Click();
    void mPopNew_Click();
    void unload();
    void centreOnScreen();

    SentryCore *m_core;
    bool m_trayAvailable;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *mPopupSys;
    QAction *mPopRestore;
    QAction *mPopExit;
    QAction *mPopNew;
    std::optional<StatusTexts::CloseReason> m_closeReason;   // set while requestClose closes
    bool m_unloaded = false;
};
