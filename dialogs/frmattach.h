#pragma once

#include "activation.h"

#include <QDialog>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

namespace CacheObject {
class Factory;
}
class MLink;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// "Attach Process For Debugging": makes a process already running on a Caché or
// Ensemble server attach itself to this debugger. The dialog speaks only to the
// server's object factory ("CacheActiveX.Factory", created by that name at
// construction): it lists the server's processes, asks the server class
// Vantrel.DebugTarget to launch the attach, and then, hidden, polls it once a second
// (tmrStatus) until the process answers or the time-out runs out. The attached
// process reaches this program through the Sentry and the main window's listener,
// never through the dialog.
//
// The main window creates one dialog for the life of the program, shows it with DoIt,
// and enables its Connect and Attach commands only while tmrStatus is not running
// (statusTimerChanged tells it when that changes) and, for Attach, IsAvailable.
//
// Factory and server calls may throw; every entry point catches at its boundary and
// reports the failure's text in a message box, so a broken server or factory never
// ends the program.
class frmAttach : public QDialog
{
    Q_OBJECT
public:
    static constexpr const char *FactoryName = "CacheActiveX.Factory";
    static constexpr const char *TargetClass = "Vantrel.DebugTarget";
    static constexpr const char *DefaultTimeout = "30";

    explicit frmAttach(QWidget *parent = nullptr);
    ~frmAttach() override;

    // Shows the dialog modally over the main window, or the "not present" box when
    // the factory could not be created.
    void DoIt();
    // True when the factory was created.
    bool IsAvailable() const { return mobjFactory != nullptr; }

    // Accepted time-out texts: a whole number from 1 to 32767 written without sign,
    // leading zeros or blanks. An empty text is accepted too (it means the default).
    static bool isValidTimeout(const QString &text);
    // The first four ":" pieces of a connection string (later ones may hold credentials).
    static QString connectionDisplay(const QString &connection);

    // The most processes one refresh lists; a server whose list goes on past it is
    // cut off there with a message (tests lower it).
    static constexpr int DefaultProcessListLimit = 10000;
    void setProcessListLimit(int rows) { m_processListLimit = rows; }
    // True while the process list is still being read.
    bool isFillingProcessList() const { return m_fillResultSet != nullptr; }

    // Seconds left before the wait for the process times out.
    qint16 countdown() const { return mintCountdown; }
    bool hasDebugTarget() const { return mobjDebugTarget != nullptr; }

    // Runs while an attach waits for the server's answer (every 1000 ms).
    QTimer tmrStatus;

    QLineEdit *txtConnection = nullptr;
    QPushButton *cmdConnect = nullptr;
    QTreeWidget *sftProcesses = nullptr;
    QPushButton *cmdRefresh = nullptr;
    QLabel *lblPID = nullptr;
    QLineEdit *txtPID = nullptr;
    QLabel *lblAddress = nullptr;
    QLineEdit *txtAddress = nullptr;
    QLabel *lblPort = nullptr;
    QLineEdit *txtPort = nullptr;
    QLabel *lblTimeout = nullptr;
    QLineEdit *txtTimeout = nullptr;
    QPushButton *cmdAttach = nullptr;
    QPushButton *cmdCancel = nullptr;

signals:
    // tmrStatus started (true) or stopped (false).
    void statusTimerChanged(bool running);

public slots:
    void cmdConnect_Click();
    void cmdRefresh_Click();
    void cmdAttach_Click();
    void cmdCancel_Click();
    // One poll of the attach status; the timer calls it, tests call it directly.
    void tmrStatus_Timer();
    // The session's link closed: its server object is not used again.
    void MLink_OnClose();
    // Checks txtTimeout; a refused text is emptied. False when refused.
    bool txtTimeout_Validate();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Sizes the fields and the list to the dialog's font.
    void fitToFont();
    void Form_Activate();
    void setStatusTimer(bool on);
    void showWaiting();
    // Asks the main window to listen again when it has no session (state -1), which
    // also replaces the waiting text in its status bar.
    void listenIfIdle();
    bool factoryConnected() const;
    void disconnectFactory();
    void fillDefaults();
    void setFieldsEnabled(bool enabled);
    void sortByColumn(int column);
    // The process list is read a slice at a time, each slice on its own turn of the
    // event loop and bounded by time (a few tens of milliseconds, or one call when a
    // call takes longer): neither a long (or endless) list nor a slow link holds the
    // window, and Cancel, Server or Refresh can end it between slices.
    void fillProcessSlice();
    // One call of the reading (Next, or one column's GetData); false once the list ended.
    bool fillProcessStep();
    void finishProcessList();
    // Stops the reading without a call to the server; the list is closed there later.
    void abandonProcessList();
    // Stops the reading and closes an abandoned list on the server.
    void stopProcessList();
    void refreshFailed(const QString &text);
    void bindLink(MLink *link);
    static void statusText(const QString &text);

    QString mstrConnect;                               // never logged nor saved: may hold credentials
    std::shared_ptr<CacheObject::Factory> mobjFactory; // null: the facility is not available
    DispatchPtr mobjDebugTarget;                       // made when first needed, dropped with the session
    qint16 mintCountdown = 0;
    QPointer<MLink> m_link;                            // kept after DoIt so that its close still arrives
    QMetaObject::Connection m_linkClose;
    QTimer m_fillTimer;                                // the next slice of the process list
    DispatchPtr m_fillResultSet;                       // the list being read; null when none is
    bool m_fillFound = false;                          // the typed process is among the rows so far
    int m_fillRows = 0;
    int m_fillColumn = -1;                             // the next column to read; -1: the next row
    QStringList m_fillRow;                             // the columns of the row being read
    DispatchPtr m_abandonedList;                       // stopped while hidden; closed at the next refresh
    int m_processListLimit = DefaultProcessListLimit;
};
