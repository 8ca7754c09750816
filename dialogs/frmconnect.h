#pragma once

#include "imementoorigin.h"

#include <QDialog>
#include <QList>
#include <QMetaObject>
#include <QStringList>

class MLink;
class QLabel;
class QLineEdit;
class QPushButton;

// "Connect to Waiting Process": opens a session outbound, from this PC to a server
// process that waits for a debugger and has registered a session identifier with its
// server's listener. The dialog only collects the listener's address and port and the
// identifier and hands them to the link (MLink::ConnectServer); the session itself is
// the main window's, which learns the outcome from the link's own events.
//
// The main window creates the dialog once and shows it with DoIt; it is hidden, never
// destroyed, between uses. While an attempt is under way the dialog cannot be closed
// (Cancel is disabled, Esc and the close box are ignored): the attempt's failure is
// reported here, and a dialog that had gone would leave it unheard.
class frmConnect : public QDialog, public IMementoOrigin
{
    Q_OBJECT
public:
    static constexpr const char *DefaultPort = "4321";

    explicit frmConnect(QWidget *parent = nullptr);

    // Shows the dialog modally over the main window with the main window's link;
    // returns when it is hidden again (connected or cancelled).
    void DoIt();
    // The same with a given link (the main window's, or a test's).
    void DoIt(MLink *link);

    // True from a successful ConnectServer until the attempt ends.
    bool isConnecting() const { return m_connecting; }

    MementoPtr saveMemento() override;
    void restoreMemento(const Memento &memento) override;

    QLabel *lblInfo = nullptr;
    QLabel *lblServer = nullptr;
    QLineEdit *txtServer = nullptr;
    QLabel *lblPort = nullptr;
    QLineEdit *txtPort = nullptr;
    QLabel *lblPID = nullptr;
    QLineEdit *txtPID = nullptr;
    QPushButton *cmdConnect = nullptr;
    QPushButton *cmdCancel = nullptr;

public slots:
    void cmdConnect_Click();
    void cmdCancel_Click();
    void MLink_OnConnect();
    void MLink_OnConnectFailed(const QString &reason);
    void MLink_OnMessage(const QStringList &fields);

    // Esc: ignored while connecting.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    static constexpr int InfoChars = 52;   // the explanation's line length, in average characters

    // Sizes the explanation and the fields to the dialog's font.
    void fitToFont();
    // Refuses the field with a critical box and gives it the focus.
    void refuse(QLineEdit *field, const QString &text);
    // The attempt is over without a session: both buttons back, the normal pointer.
    void attemptEnded();
    void bindLink(MLink *link);
    void unbindLink();

    MLink *m_link = nullptr;                       // the link shown with; set only inside DoIt
    QList<QMetaObject::Connection> m_linkEvents;   // dropped when DoIt returns
    bool m_connecting = false;                     // the close box and Esc wait for the outcome
};

// A port text the link can use: decimal digits, 1 to 65535 (surrounding blanks allowed).
bool isUsablePort(const QString &text);
