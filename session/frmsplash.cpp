#include "frmsplash.h"

#include "addin.h"
#include "addinconnect.h"
#include "frmabout.h"
#include "frmguide.h"
#include "frmmdi.h"
#include "programsettings.h"

#include <QScreen>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace {

struct SplashState
{
    QPointer<frmSplash> current;
    int startInterval = 0;   // 0: the default
    int endInterval = 0;
};

SplashState &state()
{
    static SplashState s;
    return s;
}

} // namespace

frmSplash *frmSplash::showSplash(AddInConnect *launcher)
{
    auto *splash = new frmSplash;
    state().current = splash;
    // The splash belongs to the launcher: when it goes (the program or a test ends),
    // no timer of the splash may call it any more.
    if (launcher)
        QObject::connect(launcher, &QObject::destroyed, splash, &frmSplash::retire);
    // Nor may it outlive the main window it waits for (an add-in host can unload it).
    if (frmMDI *window = AddIn::gfrmMDI())
        QObject::connect(window, &QObject::destroyed, splash, &frmSplash::retire);
    // Centred on the screen it will appear on; without a window manager (or under one
    // that leaves splash windows alone) it would otherwise sit in the top-left corner.
    if (QScreen *screen = splash->screen())
        splash->move(screen->availableGeometry().center() - splash->rect().center());
    splash->show();
    splash->raise();
    return splash;
}

frmSplash *frmSplash::current()
{
    return state().current.data();
}

void frmSplash::setIntervals(int startMs, int endMs)
{
    state().startInterval = startMs;
    state().endInterval = endMs;
}

frmSplash::frmSplash()
    : QWidget(nullptr, Qt::SplashScreen | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_QuitOnClose, false);
    auto *frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setLineWidth(2);
    auto *title = new QLabel(QStringLiteral("Vantrel"), frame);
    QFont big = title->font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);
    auto *subtitle = new QLabel(QStringLiteral("Editor and source-level debugger for M routines"), frame);
    subtitle->setAlignment(Qt::AlignCenter);
    auto *version = new QLabel(frmAbout::versionText(VANTREL_VERSION_MAJOR, VANTREL_VERSION_MINOR,
                                                     VANTREL_VERSION_REVISION, programSettings().isWine),
                               frame);
    version->setAlignment(Qt::AlignCenter);
    auto *inner = new QVBoxLayout(frame);
    inner->addStretch();
    inner->addWidget(title);
    inner->addWidget(subtitle);
    inner->addSpacing(12);
    inner->addWidget(version);
    inner->addStretch();
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    resize(420, 240);

    m_tmrStart = new QTimer(this);
    m_tmrStart->setInterval(state().startInterval > 0 ? state().startInterval : StartInterval);
    m_tmrEnd = new QTimer(this);
    m_tmrEnd->setInterval(state().endInterval > 0 ? state().endInterval : EndInterval);
    connect(m_tmrStart, &QTimer::timeout, this, &frmSplash::tmrStart_Timer);
    connect(m_tmrEnd, &QTimer::timeout, this, &frmSplash::ClearIfReady);
    m_tmrStart->start();
    m_tmrEnd->start();
}

frmSplash::~frmSplash()
{
    if (state().current == this)
        state().current = nullptr;
}

void frmSplash::tmrStart_Timer()
{
    m_tmrStart->stop();
    QPointer<frmSplash> self(this);
    // Show loads and shows the main window; its Listen finds the splash up and only
    // marks the main window's party ready.
    if (frmMDI *window = AddIn::gfrmMDI()) {
        if (window->Connect)
            window->Connect->Show();
    }
    if (self && !m_unloading)
        raise();
}

void frmSplash::ClearIfReady()
{
    if (m_unloading)
        return;
    if (m_ready)
        unload();
    else
        m_ready = true;
}

void frmSplash::closeEvent(QCloseEvent *event)
{
    // Only the unload closes the splash: closed any other way it would leave the main
    // window disabled and never listening.
    if (!m_unloading)
        event->ignore();
}

void frmSplash::leave()
{
    m_unloading = true;
    m_tmrStart->stop();
    m_tmrEnd->stop();
    if (state().current == this)
        state().current = nullptr;
    hide();
}

void frmSplash::retire()
{
    leave();
    deleteLater();
}

void frmSplash::MainWindowClosed()
{
    retire();
    AddIn::endProgram(0);
}

void frmSplash::unload()
{
    // Both timers stop and the guard is up before the guide shows: the end timer
    // would otherwise fire inside the guide's modal loop and unload a second time.
    leave();
    QPointer<frmSplash> self(this);
    QPointer<frmMDI> window = AddIn::gfrmMDI();
    if (window) {
        window->setEnabled(true);
        if (programSettings().ShowGuideAtStartup)
            frmGuide::showModal(window);
        // Now, with the splash gone, Listen opens the listening socket.
        if (window)
            window->Listen();
    }
    if (self)
        self->deleteLater();
}
