#include "frmstatus.h"

#include "messageboxprompt.h"
#include "portbook.h"
#include "sentrycore.h"
#include "taskstarter.h"
#include "userprompt.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

namespace {

QIcon sentryIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 30, 30);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(20);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("V"));
    return QIcon(pixmap);
}

} // namespace

frmStatus::frmStatus(SentryCore *core, QWidget *parent)
    : QWidget(parent)
    , lblAbout(new QLabel(this))
    , lblVersion(new QLabel(this))
    , lblPort(new QLabel(this))
    , txtWSInfo(new QPlainTextEdit(this))
    , m_core(core)
    , m_trayAvailable(QSystemTrayIcon::isSystemTrayAvailable())
    , mPopupSys(new QMenu(QStringLiteral("&SysTray"), this))
{
    setWindowTitle(StatusTexts::caption());
    setWindowIcon(sentryIcon());

    lblAbout->setObjectName(QStringLiteral("lblAbout"));
    lblAbout->setWordWrap(true);
    lblAbout->setText(StatusTexts::aboutText());
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblPort->setObjectName(QStringLiteral("lblPort"));
    txtWSInfo->setObjectName(QStringLiteral("txtWSInfo"));
    txtWSInfo->setReadOnly(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblAbout);
    layout->addWidget(lblVersion);
    layout->addWidget(lblPort);
    layout->addWidget(txtWSInfo);
    resize(440, 300);

    mPopRestore = mPopupSys->addAction(QStringLiteral("Show"), this, &frmStatus::mPopRestore_Click);
    mPopExit = mPopupSys->addAction(QStringLiteral("Exit"), this, &frmStatus::mPopExit_Click);
    mPopupSys->addSeparator();
    mPopNew = mPopupSys->addAction(QStringLiteral("New Vantrel Task"), this, &frmStatus::mPopNew_Click);
    mPopupSys->setDefaultAction(mPopRestore);

    connect(core->portBook(), &PortBook::lblPortChanged, lblPort, &QLabel::setText);
    lblPort->setText(core->portBook()->lblPort());

    // Without a tray the window stands in for it: its menu is the window's own.
    if (!m_trayAvailable) {
        setContextMenuPolicy(Qt::CustomContextMenu);
        connect(this, &QWidget::customContextMenuRequested, this,
                [this](const QPoint &pos) { mPopupSys->popup(mapToGlobal(pos)); });
    }
    centreOnScreen();
}

frmStatus::~frmStatus() = default;

void frmStatus::StartUp(const QString &commandLine)
{
    m_core->StartUp(commandLine);
    txtWSInfo->setPlainText(MessageBoxPrompt::forDisplay(m_core->wsInfoText()));
    if (m_trayAvailable) {
        m_tray = new QSystemTrayIcon(windowIcon(), this);
        m_tray->setToolTip(m_core->tipText());
        m_tray->setContextMenu(mPopupSys);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick)
                mPopRestore_Click();
        });
        m_tray->show();
    }
    setToolTip(m_core->tipText());
    lblVersion->setText(StatusTexts::versionText(VANTREL_VERSION_MAJOR, VANTREL_VERSION_MINOR,
                                                 VANTREL_VERSION_REVISION));
    lblPort->setText(m_core->portBook()->lblPort());
}

void frmStatus::centreOnScreen()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

void frmStatus::showCentred()
{
    centreOnScreen();
    show();
}

void frmStatus::minimiseToTray()
{
    if (m_trayAvailable)
        hide();
    else
        showMinimized();
}

bool frmStatus::requestClose(StatusTexts::CloseReason reason)
{
    m_closeReason = reason;
    const bool closed = close();
    m_closeReason.reset();
    return closed;
}

void frmStatus::closeEvent(QCloseEvent *event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    // A close nobody asked for through the window or the menu comes from the
    // system (the session ending); it asks nothing.
    const StatusTexts::CloseReason reason =
        m_closeReason.value_or(event->spontaneous() ? StatusTexts::CloseReason::TitleBar
                                                    : StatusTexts::CloseReason::SessionEnd);
    for (const StatusTexts::CloseQuestion &question :
         StatusTexts::closeQuestions(reason, m_core->portBook()->gLiveCount())) {
        IUserPrompt::Question ask;
        ask.title = question.title;
        ask.text = question.text;
        ask.buttons = IUserPrompt::Buttons::YesNo;
        ask.icon = question.icon == StatusTexts::CloseQuestion::Warning ? IUserPrompt::Icon::Exclamation
                                                                        : IUserPrompt::Icon::Question;
        if (question.noIsDefault)
            ask.defaultAnswer = IUserPrompt::Answer::No;
        if (userPrompt().ask(ask) != IUserPrompt::Answer::Yes) {
            event->ignore();
            return;
        }
    }
    event->accept();
    unload();
}

void frmStatus::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Without a tray a hidden window could never be brought back.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_trayAvailable)
        QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
}

void frmStatus::mPopRestore_Click()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void frmStatus::mPopExit_Click()
{
    requestClose(StatusTexts::CloseReason::ExitItem);
}

void frmStatus::mPopNew_Click()
{
    m_core->taskStarter()->StartNewTask(false);
}

void frmStatus::unload()
{
    m_unloaded = true;
    if (m_tray)
        m_tray->hide();
    m_core->shutDown();
    emit unloaded();
}
