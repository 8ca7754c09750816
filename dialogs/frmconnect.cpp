#include "frmconnect.h"

#include "dialoghost.h"
#include "imainwindow.h"
#include "memento.h"
#include "mlink.h"
#include "msgbox.h"
#include "vantrelerror.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// A saved text, or Null (absent, or not a plain value) to leave the box as it is.
void restoreText(const Memento &memento, const QString &name, QLineEdit *box)
{
    const QVariant value = memento.read(name);
    if (value.isValid() && value.canConvert<QString>())
        box->setText(value.toString());
}

} // namespace

bool isUsablePort(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 5)
        return false;
    for (const QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    const int port = t.toInt();
    return port >= 1 && port <= 65535;
}

frmConnect::frmConnect(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmConnect"));
    setWindowTitle(QStringLiteral("Connect to Waiting Process"));
    if (parent)
        setWindowIcon(parent->windowIcon());

    lblInfo = new QLabel(
        QStringLiteral("Only use this dialog when connecting inbound to a server that runs a Rovivi Ziveza. "
                       "Vantrel's default connection mechanism is outbound from server to client PC, initiated "
                       "from the target process. See online help for details about Rovivi Ziveza."),
        this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setWordWrap(true);

    auto field = [this](QLabel *&label, const QString &caption, const char *labelName, QLineEdit *&box,
                        const char *name, const QString &tip) {
        label = new QLabel(caption, this);
        label->setObjectName(QString::fromLatin1(labelName));
        box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(tip);
        box->installEventFilter(this);
        label->setBuddy(box);
    };
    field(lblServer, QStringLiteral("&Server:"), "lblServer", txtServer, "txtServer",
          QStringLiteral("Address or hostname of server where Rovivi Ziveza is running"));
    field(lblPort, QStringLiteral("&Port:"), "lblPort", txtPort, "txtPort",
          QStringLiteral("Port number on which Rovivi Ziveza is listening"));
    txtPort->setText(QString::fromLatin1(DefaultPort));
    field(lblPID, QStringLiteral("Session &ID:"), "lblPID", txtPID, "txtPID",
          QStringLiteral("Session ID which target process has registered with its local Rovivi Ziveza"));

    cmdConnect = new QPushButton(QStringLiteral("Connect"), this);
    cmdConnect->setObjectName(QStringLiteral("cmdConnect"));
    cmdConnect->setToolTip(QStringLiteral("Contact Rovivi Ziveza and request connection to target process"));
    cmdConnect->setDefault(true);
    cmdConnect->setAutoDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);

    // Laid out by the texts' own sizes, so that each shows whole at any desktop font: the
    // explanation above, the three fields below it, the buttons beside the fields.
    auto *fields = new QGridLayout;
    fields->addWidget(lblServer, 0, 0);
    fields->addWidget(txtServer, 0, 1, 1, 2);
    fields->addWidget(lblPort, 1, 0);
    fields->addWidget(txtPort, 1, 1);
    fields->addWidget(lblPID, 2, 0);
    fields->addWidget(txtPID, 2, 1, 1, 2);
    fields->setColumnStretch(2, 1);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdConnect);
    buttons->addWidget(cmdCancel);
    buttons->addStretch(1);
    auto *lower = new QHBoxLayout;
    lower->addLayout(fields, 1);
    lower->addSpacing(style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) * 2);
    lower->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblInfo);
    layout->addSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing));
    layout->addLayout(lower);
    // The dialog keeps the size its texts need, as the form it stands for did.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    fitToFont();

    setTabOrder(txtServer, txtPort);
    setTabOrder(txtPort, txtPID);
    setTabOrder(txtPID, cmdConnect);
    setTabOrder(cmdConnect, cmdCancel);

    connect(cmdConnect, &QPushButton::clicked, this, &frmConnect::cmdConnect_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmConnect::cmdCancel_Click);
}

void frmConnect::fitToFont()
{
    // The explanation wraps at a width that follows the font; the fields take the width
    // of a host name, the port the width of its five digits.
    const QFontMetrics metrics(font());
    const int chars = metrics.averageCharWidth();
    lblInfo->setFixedWidth(chars * InfoChars);
    txtServer->setMinimumWidth(chars * 24);
    txtPort->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("000000")) + chars * 3);
}

void frmConnect::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitToFont();
}

void frmConnect::DoIt()
{
    IMainWindow *main = mainWindow();
    DoIt(main ? main->link() : nullptr);
}

void frmConnect::DoIt(MLink *link)
{
    if (!link)
        return;
    bindLink(link);
    m_connecting = false;
    cmdConnect->setEnabled(true);
    cmdCancel->setEnabled(true);
    unsetCursor();
    runModal(this);
    unbindLink();
}

void frmConnect::bindLink(MLink *link)
{
    unbindLink();
    m_link = link;
    // Direct: the link raises its events from inside its own processing, and the
    // buttons must be back before a handler of the main window spins a message box.
    m_linkEvents << connect(link, &MLink::OnConnect, this, &frmConnect::MLink_OnConnect, Qt::DirectConnection)
                 << connect(link, &MLink::OnConnectFailed, this, &frmConnect::MLink_OnConnectFailed,
                            Qt::DirectConnection)
                 << connect(link, &MLink::OnMessage, this, &frmConnect::MLink_OnMessage, Qt::DirectConnection);
}

void frmConnect::unbindLink()
{
    for (const QMetaObject::Connection &c : std::as_const(m_linkEvents))
        disconnect(c);
    m_linkEvents.clear();
    m_link = nullptr;
}

void frmConnect::refuse(QLineEdit *field, const QString &text)
{
    MsgBox(text, MsgBoxStyle::Critical);
    field->setFocus(Qt::OtherFocusReason);
}

void frmConnect::cmdConnect_Click()
{
    if (m_connecting || !m_link)
        return;
    if (txtServer->text().isEmpty()) {
        refuse(txtServer, QStringLiteral("Server must be specified"));
        return;
    }
    if (txtPort->text().isEmpty()) {
        refuse(txtPort, QStringLiteral("Port must be specified"));
        return;
    }
    if (txtPID->text().isEmpty()) {
        refuse(txtPID, QStringLiteral("Session ID must be specified"));
        return;
    }
    // The link reads the port as a number and would try port 0 with anything else.
    if (!isUsablePort(txtPort->text())) {
        refuse(txtPort, QStringLiteral("Port must be a number from 1 to 65535"));
        return;
    }
    cmdConnect->setEnabled(false);
    cmdCancel->setEnabled(false);
    setCursor(Qt::WaitCursor);
    m_connecting = true;
    try {
        m_link->ConnectServer(txtServer->text(), txtPort->text(), txtPID->text());
    } catch (const VantrelError &e) {
        // A session is already running on the link; nothing was started.
        attemptEnded();
        MsgBox(e.text(), MsgBoxStyle::Critical);
    }
}

void frmConnect::cmdCancel_Click()
{
    if (m_connecting)
        return;
    done(QDialog::Rejected);
}

void frmConnect::attemptEnded()
{
    m_connecting = false;
    cmdConnect->setEnabled(true);
    cmdCancel->setEnabled(true);
    unsetCursor();
}

void frmConnect::MLink_OnConnect()
{
    if (!m_connecting)
        return;
    m_connecting = false;
    cmdConnect->setEnabled(true);
    unsetCursor();
    // Cancel stays disabled until the next show: the session now runs.
    done(QDialog::Accepted);
}

void frmConnect::MLink_OnConnectFailed(const QString &reason)
{
    if (!m_connecting)
        return;
    attemptEnded();
    MsgBox(reason, MsgBoxStyle::Critical);
    txtServer->setFocus(Qt::OtherFocusReason);
}

void frmConnect::MLink_OnMessage(const QStringList &fields)
{
    // The server refused; the main window shows its text, and the link has ended the
    // attempt, so another try can follow at once.
    if (m_connecting && fields.value(0) == QLatin1String("MSG"))
        attemptEnded();
}

void frmConnect::reject()
{
    if (m_connecting)
        return;
    QDialog::reject();
}

void frmConnect::closeEvent(QCloseEvent *event)
{
    // The close box only hides the dialog; it is kept for the next use.
    event->ignore();
    if (!m_connecting)
        done(QDialog::Rejected);
}

void frmConnect::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    txtServer->setFocus(Qt::OtherFocusReason);
}

bool frmConnect::eventFilter(QObject *watched, QEvent *event)
{
    // A line edit selects its text itself when reached by Tab or a shortcut; for other
    // focus reasons the whole text is selected here, and a mouse press that follows
    // places the caret.
    if (event->type() == QEvent::FocusIn) {
        if (auto *box = qobject_cast<QLineEdit *>(watched))
            box->selectAll();
    }
    return QDialog::eventFilter(watched, event);
}

MementoPtr frmConnect::saveMemento()
{
    auto memento = std::make_shared<Memento>();
    memento->write(QStringLiteral("Server"), txtServer->text());
    memento->write(QStringLiteral("Port"), txtPort->text());
    memento->write(QStringLiteral("ProcessID"), txtPID->text());
    return memento;
}

void frmConnect::restoreMemento(const Memento &memento)
{
    restoreText(memento, QStringLiteral("Server"), txtServer);
    restoreText(memento, QStringLiteral("Port"), txtPort);
    restoreText(memento, QStringLiteral("ProcessID"), txtPID);
}
