#include "frmattach.h"

#include "cachefactory.h"
#include "dialoghost.h"
#include "imainwindow.h"
#include "mlink.h"
#include "msgbox.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>
#include <exception>
#include <utility>

namespace {

const QString kNotPresent = QStringLiteral(
    "CacheActiveX.Factory is not present on this PC.\r\n\r\n"
    "The facility for attaching to a Caché or Ensemble process is therefore not available.");
const QString kConnectTitle = QStringLiteral("Select Caché or Ensemble Server+%up");
const QString kRefreshTitle = QStringLiteral("Unable to Refresh Process List for Connection");

// The text of whatever a factory or server call threw.
QString failureText(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const VantrelError &e) {
        return e.text();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown failure");
    }
}

QString waitingText(int seconds)
{
    return QStringLiteral("Waiting for process to attach within %1 seconds").arg(seconds);
}

QString attachFailedTitle(const QString &pid)
{
    return QStringLiteral("Attach to ") + pid + QStringLiteral(" failed");
}

} // namespace

frmAttach::frmAttach(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAttach"));
    setWindowTitle(QStringLiteral("Attach Process For Debugging"));
    if (parent)
        setWindowIcon(parent->windowIcon());

    auto textBox = [this](const char *name, const QString &tip) {
        auto *box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setToolTip(tip);
        return box;
    };
    auto label = [this](const char *name, const QString &caption, QWidget *buddy) {
        auto *l = new QLabel(caption, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setBuddy(buddy);
        return l;
    };

    txtConnection = textBox("txtConnection", QStringLiteral("Connection string for server hosting target process"));
    txtConnection->setReadOnly(true);
    cmdConnect = new QPushButton(QStringLiteral("&Server"), this);
    cmdConnect->setObjectName(QStringLiteral("cmdConnect"));
    cmdConnect->setToolTip(QStringLiteral("Change the server connection"));

    sftProcesses = new QTreeWidget(this);
    sftProcesses->setObjectName(QStringLiteral("sftProcesses"));
    sftProcesses->setColumnCount(4);
    sftProcesses->setHeaderLabels(
        {QStringLiteral("PID"), QStringLiteral("Routine"), QStringLiteral("Current Device"), QStringLiteral("Client Address")});
    sftProcesses->setRootIsDecorated(false);
    sftProcesses->setSelectionMode(QAbstractItemView::SingleSelection);
    sftProcesses->setSortingEnabled(false);   // the header clicks sort, as the grid's own sort did
    sftProcesses->header()->setSectionsClickable(true);
    sftProcesses->installEventFilter(this);
    cmdRefresh = new QPushButton(this);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    cmdRefresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    cmdRefresh->setToolTip(QStringLiteral("Refresh process list (F5)"));

    txtPID = textBox("txtPID", QStringLiteral("Process ID ($JOB) of the process to be attached to for debugging"));
    lblPID = label("lblPID", QStringLiteral("Process &ID:"), txtPID);
    txtAddress = textBox("txtAddress",
                         QStringLiteral("Address or hostname the target process should contact Vantrel Sentry at"));
    lblAddress = label("lblAddress", QStringLiteral("Sentry &Host:"), txtAddress);
    txtPort = textBox("txtPort", QStringLiteral("Port number to contact Vantrel Sentry on"));
    lblPort = label("lblPort", QStringLiteral("&Port:"), txtPort);
    txtTimeout = textBox("txtTimeout", QStringLiteral("Number of seconds to wait for target process to respond to "
                                                      "attach request. Must be positive integer."));
    lblTimeout = label("lblTimeout", QStringLiteral("&Timeout:"), txtTimeout);
    txtTimeout->installEventFilter(this);

    cmdAttach = new QPushButton(QStringLiteral("Attach"), this);
    cmdAttach->setObjectName(QStringLiteral("cmdAttach"));
    cmdAttach->setToolTip(QStringLiteral("Contact Rovivi Ziveza and request connection to target process"));
    cmdAttach->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setToolTip(QStringLiteral("Close dialog without attaching to a process"));
    cmdCancel->setAutoDefault(false);

    // Laid out by the texts' own sizes, so that each shows whole at any desktop font: the
    // connection and the process list with their buttons beside them, the four fields in
    // two rows below with Attach and Cancel at their right.
    auto *form = new QGridLayout;
    form->addWidget(lblPID, 0, 0);
    form->addWidget(txtPID, 0, 1);
    form->addWidget(lblTimeout, 0, 2);
    form->addWidget(txtTimeout, 0, 3);
    form->addWidget(lblAddress, 1, 0);
    form->addWidget(txtAddress, 1, 1);
    form->addWidget(lblPort, 1, 2);
    form->addWidget(txtPort, 1, 3);
    form->setColumnStretch(1, 1);
    auto *layout = new QGridLayout(this);
    layout->addWidget(txtConnection, 0, 0);
    layout->addWidget(cmdConnect, 0, 1);
    layout->addWidget(sftProcesses, 1, 0, 2, 1);
    layout->addWidget(cmdRefresh, 1, 1, Qt::AlignLeft | Qt::AlignTop);
    layout->setRowStretch(2, 1);
    layout->addLayout(form, 3, 0, 2, 1);
    layout->addWidget(cmdAttach, 3, 1);
    layout->addWidget(cmdCancel, 4, 1);
    layout->setColumnStretch(0, 1);
    fitToFont();

    connect(cmdConnect, &QPushButton::clicked, this, &frmAttach::cmdConnect_Click);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmAttach::cmdRefresh_Click);
    connect(cmdAttach, &QPushButton::clicked, this, &frmAttach::cmdAttach_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAttach::cmdCancel_Click);
    // F5 refreshes from whichever control has the focus.
    auto *f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(f5, &QShortcut::activated, this, &frmAttach::cmdRefresh_Click);
    connect(sftProcesses, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem *> selected = sftProcesses->selectedItems();
        if (selected.isEmpty())
            return;
        txtPID->setText(selected.first()->text(0));
        cmdAttach->setEnabled(true);
    });
    connect(sftProcesses, &QTreeWidget::itemDoubleClicked, this, [this] { cmdAttach_Click(); });
    connect(sftProcesses->header(), &QHeaderView::sectionClicked, this, &frmAttach::sortByColumn);
    connect(sftProcesses->header(), &QHeaderView::sectionDoubleClicked, sftProcesses,
            &QTreeWidget::resizeColumnToContents);
    connect(txtPID, &QLineEdit::textChanged, this,
            [this](const QString &text) { cmdAttach->setEnabled(!text.isEmpty()); });

    tmrStatus.setInterval(1000);
    connect(&tmrStatus, &QTimer::timeout, this, &frmAttach::tmrStatus_Timer);
    m_fillTimer.setSingleShot(true);
    m_fillTimer.setInterval(0);
    connect(&m_fillTimer, &QTimer::timeout, this, &frmAttach::fillProcessSlice);

    // Without the factory the facility is simply not there; nothing is reported here.
    try {
        mobjFactory = CacheObject::createFactory(QString::fromLatin1(FactoryName));
    } catch (...) {
        mobjFactory.reset();
    }
    if (mobjFactory)
        fillDefaults();
    txtTimeout->setText(QString::fromLatin1(DefaultTimeout));
    cmdAttach->setEnabled(false);
}

void frmAttach::fitToFont()
{
    // Numbers get the width of their digits, the host the width of a name; the list
    // opens with room for a few rows and its four columns.
    const QFontMetrics metrics(font());
    const int chars = metrics.averageCharWidth();
    txtPID->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("00000000")) + chars * 3);
    txtTimeout->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("00000")) + chars * 3);
    txtPort->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("000000")) + chars * 3);
    txtAddress->setMinimumWidth(chars * 16);
    // Each column starts as wide as its heading.
    QHeaderView *header = sftProcesses->header();
    int columns = 0;
    for (int column = 0; column < header->count(); ++column) {
        header->resizeSection(column, std::max(header->sectionSizeHint(column), chars * 8));
        columns += header->sectionSize(column);
    }
    sftProcesses->setMinimumSize(std::max(columns + chars * 2, chars * 56), metrics.lineSpacing() * 8);
    if (!isVisible())
        resize(sizeHint());
}

void frmAttach::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitToFont();
}

frmAttach::~frmAttach()
{
    // The program ends: the server connection goes with it, politely.
    tmrStatus.stop();
    stopProcessList();
    if (m_linkClose)
        disconnect(m_linkClose);
    if (mobjFactory && factoryConnected()) {
        mobjDebugTarget.reset();
        disconnectFactory();
    }
    mobjFactory.reset();
}

bool frmAttach::isValidTimeout(const QString &text)
{
    if (text.isEmpty())
        return true;
    if (text.size() > 5 || text.at(0) < QLatin1Char('1') || text.at(0) > QLatin1Char('9'))
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return text.toInt() <= 32767;
}

QString frmAttach::connectionDisplay(const QString &connection)
{
    return connection.split(QLatin1Char(':')).mid(0, 4).join(QLatin1Char(':'));
}

void frmAttach::statusText(const QString &text)
{
    if (IMainWindow *main = mainWindow())
        main->StatusText(text);
}

void frmAttach::fillDefaults()
{
    IDialogHost *host = dialogHost();
    if (!host)
        return;
    if (txtAddress->text().isEmpty())
        txtAddress->setText(host->LocalAddress());
    if (txtPort->text().isEmpty())
        txtPort->setText(QString::number(host->SentryPort()));
}

bool frmAttach::factoryConnected() const
{
    if (!mobjFactory)
        return false;
    try {
        return mobjFactory->IsConnected();
    } catch (...) {
        return false;
    }
}

void frmAttach::disconnectFactory()
{
    try {
        mobjFactory->Disconnect();
    } catch (...) {
        // The connection is being given up; a server that cannot say goodbye changes nothing.
    }
}

void frmAttach::setFieldsEnabled(bool enabled)
{
    txtPID->setEnabled(enabled);
    txtTimeout->setEnabled(enabled);
    txtAddress->setEnabled(enabled);
    txtPort->setEnabled(enabled);
}

void frmAttach::bindLink(MLink *link)
{
    if (link == m_link)
        return;
    if (m_linkClose)
        disconnect(m_linkClose);
    m_link = link;
    if (link)
        m_linkClose = connect(link, &MLink::OnClose, this, &frmAttach::MLink_OnClose);
}

void frmAttach::DoIt()
{
    IMainWindow *main = mainWindow();
    if (main) {
        main->ClearAllTips();
        bindLink(main->link());
    }
    if (!mobjFactory) {
        MsgBox(kNotPresent, MsgBoxStyle::Exclamation);
        return;
    }
    setStatusTimer(false);
    cmdCancel->setEnabled(true);
    cmdRefresh->setEnabled(factoryConnected());
    cmdAttach->setEnabled(!txtPID->text().isEmpty());
    unsetCursor();
    txtTimeout_Validate();
    fillDefaults();
    if (txtTimeout->text().isEmpty())
        txtTimeout->setText(QString::fromLatin1(DefaultTimeout));
    runModal(this);
}

void frmAttach::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // After the show has finished: the connect dialog it may open needs this one on screen.
    QTimer::singleShot(0, this, [this] {
        if (isVisible())
            Form_Activate();
    });
}

void frmAttach::Form_Activate()
{
    if (factoryConnected())
        cmdRefresh_Click();
    if (!factoryConnected())
        cmdConnect_Click();
    if (txtPID->isEnabled())
        txtPID->setFocus(Qt::OtherFocusReason);
}

void frmAttach::cmdConnect_Click()
{
    if (!mobjFactory)
        return;
    QString chosen;
    try {
        chosen = mobjFactory->ConnectDlg(kConnectTitle);
    } catch (...) {
        MsgBox(failureText(std::current_exception()));
        return;
    }
    if (chosen.isEmpty())
        return;
    stopProcessList();
    if (factoryConnected()) {
        mobjDebugTarget.reset();
        disconnectFactory();
    }
    mstrConnect = chosen;
    // Success is read from IsConnected below; why it failed is the user's to know.
    QString refusal;
    try {
        if (!mobjFactory->Connect(mstrConnect))
            refusal = QStringLiteral("The server refused the connection.");
    } catch (...) {
        refusal = failureText(std::current_exception());
    }
    if (factoryConnected()) {
        txtConnection->setText(connectionDisplay(mstrConnect));
        try {
            mobjDebugTarget = mobjFactory->New(QString::fromLatin1(TargetClass));
            cmdRefresh->setEnabled(true);
            cmdRefresh_Click();
            cmdAttach->setEnabled(!txtPID->text().isEmpty());
            setFieldsEnabled(true);
        } catch (...) {
            MsgBox(failureText(std::current_exception()));
        }
        return;
    }
    cmdRefresh->setEnabled(false);
    cmdAttach->setEnabled(false);
    setFieldsEnabled(false);
    txtConnection->clear();
    mstrConnect.clear();
    mobjDebugTarget.reset();
    MsgBox(refusal.isEmpty() ? QStringLiteral("The server refused the connection.") : refusal, MsgBoxStyle::Exclamation);
}

void frmAttach::cmdRefresh_Click()
{
    stopProcessList();
    if (!factoryConnected()) {
        cmdRefresh->setEnabled(false);
        cmdAttach->setEnabled(false);
        txtPID->clear();
        return;
    }
    try {
        DispatchPtr rs = mobjFactory->ResultSet(QString::fromLatin1(TargetClass), QStringLiteral("ProcessList"));
        sftProcesses->clear();
        if (!rs)
            throw VantrelError(VantrelError::Base, QStringLiteral("The server gave no process list"));
        if (!toBoolValue(rs->call(QStringLiteral("Execute")))) {
            MsgBox(QStringLiteral("Execute of ProcessList query failed"), MsgBoxStyle::Critical);
            return;
        }
        m_fillResultSet = rs;
        m_fillFound = false;
        m_fillRows = 0;
        m_fillColumn = -1;
        m_fillRow.clear();
    } catch (...) {
        refreshFailed(failureText(std::current_exception()));
        return;
    }
    // A list of ordinary length over a quick link is whole before this returns.
    fillProcessSlice();
}

void frmAttach::fillProcessSlice()
{
    // Each call may take as long as the link's round trip: a slice ends once this much
    // time has gone, or after the one call that took longer, so a click or a key waits
    // for one call at most.
    constexpr qint64 SliceMs = 30;
    if (!m_fillResultSet)
        return;
    QElapsedTimer slice;
    slice.start();
    try {
        do {
            if (!fillProcessStep())
                return;
        } while (slice.elapsed() < SliceMs);
    } catch (...) {
        m_fillResultSet.reset();
        m_fillRow.clear();
        refreshFailed(failureText(std::current_exception()));
        return;
    }
    m_fillTimer.start();
}

bool frmAttach::fillProcessStep()
{
    if (m_fillColumn < 0) {
        if (m_fillRows >= m_processListLimit) {
            finishProcessList();
            MsgBox(QStringLiteral("The server's process list did not end after %1 processes; only those are shown.")
                       .arg(m_processListLimit),
                   MsgBoxStyle::Exclamation, kRefreshTitle);
            return false;
        }
        if (!toBoolValue(m_fillResultSet->call(QStringLiteral("Next")))) {
            finishProcessList();
            return false;
        }
        m_fillColumn = 0;
        m_fillRow.clear();
        return true;
    }
    m_fillRow.append(toStringValue(m_fillResultSet->call(QStringLiteral("GetData"), {m_fillColumn + 1})));
    if (++m_fillColumn < sftProcesses->columnCount())
        return true;
    // The row shows once it is whole.
    m_fillColumn = -1;
    auto *row = new QTreeWidgetItem(sftProcesses, std::exchange(m_fillRow, {}));
    ++m_fillRows;
    if (!m_fillFound && row->text(0) == txtPID->text()) {
        sftProcesses->setCurrentItem(row);
        row->setSelected(true);
        m_fillFound = true;
    }
    return true;
}

void frmAttach::finishProcessList()
{
    m_fillTimer.stop();
    const DispatchPtr rs = std::exchange(m_fillResultSet, nullptr);
    for (int column = 0; column < sftProcesses->columnCount(); ++column)
        sftProcesses->resizeColumnToContents(column);
    try {
        rs->call(QStringLiteral("Close"));
    } catch (...) {
        refreshFailed(failureText(std::current_exception()));
        return;
    }
    if (!m_fillFound) {
        txtPID->clear();
        cmdAttach->setEnabled(false);
    }
}

void frmAttach::abandonProcessList()
{
    m_fillTimer.stop();
    m_fillColumn = -1;
    m_fillRow.clear();
    if (DispatchPtr rs = std::exchange(m_fillResultSet, nullptr))
        m_abandonedList = std::move(rs);
}

void frmAttach::stopProcessList()
{
    abandonProcessList();
    const DispatchPtr rs = std::exchange(m_abandonedList, nullptr);
    if (!rs)
        return;
    try {
        rs->call(QStringLiteral("Close"));
    } catch (...) {
        // The list is abandoned; a server that cannot close it changes nothing here.
    }
}

void frmAttach::refreshFailed(const QString &text)
{
    // A list left unread belongs to the connection given up below.
    m_abandonedList.reset();
    MsgBox(text, MsgBoxStyle::OkOnly, kRefreshTitle);
    // The server object belongs to the connection given up here; the next Attach
    // must not call it.
    mobjDebugTarget.reset();
    disconnectFactory();
    cmdRefresh->setEnabled(false);
    txtPID->clear();
    cmdAttach->setEnabled(false);
}

void frmAttach::sortByColumn(int column)
{
    QHeaderView *header = sftProcesses->header();
    const bool wasAscending = header->isSortIndicatorShown() && header->sortIndicatorSection() == column
                              && header->sortIndicatorOrder() == Qt::AscendingOrder;
    const Qt::SortOrder order = wasAscending ? Qt::DescendingOrder : Qt::AscendingOrder;
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, order);
    sftProcesses->sortItems(column, order);
}

bool frmAttach::txtTimeout_Validate()
{
    if (isValidTimeout(txtTimeout->text()))
        return true;
    txtTimeout->clear();
    return false;
}

void frmAttach::cmdAttach_Click()
{
    if (tmrStatus.isActive())
        return;
    if (txtPID->text().isEmpty()) {
        MsgBox(QStringLiteral("Process ID must be specified"), MsgBoxStyle::Critical);
        txtPID->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A click does not always take the focus from the time-out box first.
    if (!txtTimeout_Validate()) {
        txtTimeout->setFocus(Qt::OtherFocusReason);
        return;
    }
    fillDefaults();
    if (txtTimeout->text().isEmpty())
        txtTimeout->setText(QString::fromLatin1(DefaultTimeout));
    mintCountdown = qint16(txtTimeout->text().toInt());
    cmdAttach->setEnabled(false);
    cmdCancel->setEnabled(false);
    setCursor(Qt::WaitCursor);
    showWaiting();
    try {
        if (!mobjDebugTarget)
            mobjDebugTarget = mobjFactory->New(QString::fromLatin1(TargetClass));
        if (!mobjDebugTarget)
            throw VantrelError(VantrelError::Base, QStringLiteral("The server did not create ") + TargetClass);
        mobjDebugTarget->call(QStringLiteral("LaunchAttach"),
                              {txtPID->text(), txtAddress->text(), txtPort->text(), txtTimeout->text()});
        setStatusTimer(true);
        done(QDialog::Accepted);
    } catch (...) {
        MsgBox(failureText(std::current_exception()));
        cmdAttach->setEnabled(true);
        cmdCancel->setEnabled(true);
        unsetCursor();
        listenIfIdle();
    }
}

void frmAttach::showWaiting()
{
    statusText(waitingText(mintCountdown));
}

void frmAttach::tmrStatus_Timer()
{
    // The dialog stays hidden while the poll runs, so the box still holds the process
    // the attach was launched for.
    const QString pid = txtPID->text();
    if (!mobjDebugTarget) {
        // The session's link closed meanwhile and took the server object along.
        setStatusTimer(false);
        listenIfIdle();
        return;
    }
    QString answer;
    try {
        answer = toStringValue(mobjDebugTarget->call(QStringLiteral("GetAttachStatus"), {pid}));
    } catch (...) {
        setStatusTimer(false);
        MsgBox(failureText(std::current_exception()), MsgBoxStyle::OkOnly, attachFailedTitle(pid));
        listenIfIdle();
        return;
    }
    if (!answer.isEmpty()) {
        setStatusTimer(false);
        if (answer != QLatin1String("1"))
            MsgBox(answer, MsgBoxStyle::OkOnly, attachFailedTitle(pid));
        listenIfIdle();
        return;
    }
    if (mintCountdown != 0) {
        showWaiting();
        --mintCountdown;
        return;
    }
    setStatusTimer(false);
    MsgBox(QStringLiteral("Attach to ") + pid + QStringLiteral(" failed to get response within timeout"));
    listenIfIdle();
}

void frmAttach::listenIfIdle()
{
    IMainWindow *main = mainWindow();
    if (main && main->MState() == -1) {
        if (IDialogHost *host = dialogHost())
            host->Listen();
    }
}

void frmAttach::setStatusTimer(bool on)
{
    if (tmrStatus.isActive() == on)
        return;
    if (on)
        tmrStatus.start();
    else
        tmrStatus.stop();
    emit statusTimerChanged(on);
}

void frmAttach::MLink_OnClose()
{
    mobjDebugTarget.reset();
}

void frmAttach::hideEvent(QHideEvent *event)
{
    // Nobody looks at a hidden list; the next show refreshes it anyway. Closing it
    // on the server waits for that refresh: over a slow link a call here would hold
    // the closing dialog for a round trip.
    abandonProcessList();
    QDialog::hideEvent(event);
}

void frmAttach::cmdCancel_Click()
{
    done(QDialog::Rejected);
}

void frmAttach::closeEvent(QCloseEvent *event)
{
    // Only hidden: the server connection is kept for the next show.
    event->ignore();
    done(QDialog::Rejected);
}

bool frmAttach::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtTimeout && event->type() == QEvent::FocusOut) {
        // A refused time-out keeps the focus, as a refused validation does.
        if (!txtTimeout_Validate() && isVisible())
            QTimer::singleShot(0, txtTimeout, [this] { txtTimeout->setFocus(Qt::OtherFocusReason); });
    } else if (watched == sftProcesses && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Taken here, or the dialog's default button would attach a second time.
            cmdAttach_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
