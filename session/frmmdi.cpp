#include "frmmdi.h"

#include "addin.h"
#include "command.h"
#include "immediatecommandrouter.h"
#include "commandmanager.h"
#include "commandtable.h"
#include "commandui.h"
#include "edgotohelper.h"
#include "editorsettings.h"
#include "formfactory.h"
#include "panedock.h"
#include "paneform.h"
#include "frmattach.h"
#include "frmbreakpoints.h"
#include "frmcode.h"
#include "frmconnect.h"
#include "frmcontexttip.h"
#include "frmfileopen.h"
#include "frmfilesaveas.h"
#include "frmimmediate.h"
#include "frmsplash.h"
#include "frmstack.h"
#include "frmvars.h"
#include "iforeground.h"
#include "isentrybooking.h"
#include "mainmenus.h"
#include "mdihost.h"
#include "memento.h"
#include "mlink.h"
#include "mlinkdoclink.h"
#include "programicon.h"
#include "modfileopen.h"
#include "msgbox.h"
#include "persistregistry.h"
#include "persiststorage.h"
#include "programsettings.h"
#include "routine.h"
#include "routinenavigator.h"
#include "shortcutoverride.h"
#include "socketx.h"
#include "statusbar.h"
#include "tipholder.h"
#include "vanngine.h"
#include "vantrelerror.h"
#include "vbtimer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QMdiArea>
#include <QScreen>
#include <QToolBar>

namespace {

std::function<void()> &registrationHook()
{
    static std::function<void()> hook;
    return hook;
}

// Message box styles of the original: buttons + icon + default button.

const char *const PaneNames[] = {"frmStack", "frmBreakpoints", "frmImmediate", "frmVars"};

// The colour table of the code windows: token class, style, foreground, background,
// in the order the settings object receives them.
struct TokenColour
{
    int tokenClass;
    int style;          // -1: not set
    QColor foreground;  // invalid: not set
    QColor background;
};

const TokenColour ColourTable[] = {
    {3, 1, QColor(0, 128, 0), {}},
    {4, 1, QColor(0, 0, 255), {}},
    {2, -1, QColor(255, 0, 0), {}},
    {10, -1, QColor(255, 255, 255), QColor(255, 0, 0)},
    {5, 1, {}, {}},
    {6, -1, QColor(0, 0, 255), {}},
    {7, -1, QColor(128, 0, 0), {}},
    {8, -1, QColor(0, 128, 128), {}},
    {9, -1, QColor(255, 255, 255), QColor(192, 192, 192)},
    {11, -1, QColor(128, 128, 128), {}},
    {13, -1, QColor(128, 128, 128), {}},
    {14, -1, QColor(128, 128, 128), {}},
    {15, -1, QColor(128, 128, 128), {}},
    {16, -1, QColor(128, 128, 128), {}},
    {36, -1, QColor(0, 0, 0), QColor(224, 224, 224)},
    {17, 1, QColor(0, 0, 0), {}},
    {18, 1, QColor(128, 0, 128), {}},
    {19, -1, QColor(192, 0, 192), {}},
    {20, -1, QColor(0, 0, 0), QColor(255, 128, 0)},
};

} // namespace

// --- texts -------------------------------------------------------------------------------------

QString frmMDI::engineFailureText()
{
    return QStringLiteral("Parse Engine failed to start.\r\rMany Vantrel features will not be available.");
}

QString frmMDI::versionMismatchText(const QString &ownVersion, const QString &engineVersion)
{
    return QStringLiteral("GUI Agent is ") + ownVersion + QStringLiteral("\r\rParse Engine is ") + engineVersion;
}

QString frmMDI::ownVersionText()
{
    return QStringLiteral("%1.%2.%3").arg(VANTREL_VERSION_MAJOR).arg(VANTREL_VERSION_MINOR)
        .arg(VANTREL_VERSION_REVISION / 100);
}

QString frmMDI::loadFailureText(qint32 number, const QString &description)
{
    return QStringLiteral("Error %1 (%2) when loading main form.\rPossible cause: REDUZIRIRE.DLL not "
                          "registered\r\rStartup cannot continue").arg(number).arg(description);
}

QString frmMDI::bookingFailureText(qint32 number, const QString &description)
{
    return QStringLiteral("Error %1 (%2) when contacting Sentry\r\rStartup cannot continue")
        .arg(number).arg(description);
}

QString frmMDI::preservedCloseQuestion()
{
    return QStringLiteral("Unsaved edited document(s) preserved after earlier disconnect will be "
                          "discarded. Are you sure you want to do this?");
}

void frmMDI::setRegistrationHook(std::function<void()> hook)
{
    registrationHook() = std::move(hook);
}

// --- initialisation ----------------------------------------------------------------------------

frmMDI::frmMDI(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMDI"));
    setWindowTitle(QStringLiteral("Vantrel"));
    // Set before any dialog or child window exists: they take their picture from here.
    setWindowIcon(programIcon());
    setDockNestingEnabled(true);
    m_tmrJiggle = new VbTimer(1, this);
    m_tmrKeepAlive = new VbTimer(30000, this);
    m_tmrWindowSwitch = new VbTimer(2000, this);
    connect(m_tmrJiggle, &VbTimer::timeout, this, &frmMDI::tmrJiggle_Timer);
    connect(m_tmrKeepAlive, &VbTimer::timeout, this, &frmMDI::tmrKeepAlive_Timer);
    connect(m_tmrWindowSwitch, &VbTimer::timeout, this, &frmMDI::tmrWindowSwitch_Timer);
    initialise();
}

frmMDI::~frmMDI()
{
    if (!m_unloaded)
        unload();
}

void frmMDI::initialise()
{
    ProgramSettings &settings = programSettings();
    m_editorSettings = new EditorSettings(this);
    for (const TokenColour &c : ColourTable) {
        if (c.foreground.isValid())
            m_editorSettings->SetForeColor(c.tokenClass, c.foreground, true);
        if (c.style >= 0)
            m_editorSettings->SetStyle(c.tokenClass, c.style, true);
        if (c.background.isValid())
            m_editorSettings->SetBackColor(c.tokenClass, c.background, true);
    }
    settings.codeFont = QFont(settings.isWine ? QStringLiteral("Liberation Mono") : QStringLiteral("Courier New"), 10);
    settings.codeFont.setStyleHint(QFont::TypeWriter);

    m_link = new MLink(this);
    m_docLink = std::make_unique<MLinkDocLink>(m_link);
    m_dispatcher = std::make_unique<MessageDispatcher>(*m_link, *this);
    // Direct: a transaction raises messages from inside its wait, in stream order.
    connect(m_link, &MLink::OnMessage, this, [this](const QStringList &message) { m_dispatcher->OnMessage(message); },
            Qt::DirectConnection);
    // The server's messages that a transaction brings out of turn go to the dispatcher too.
    m_navigator = std::make_unique<RoutineNavigator>(
        *m_docLink, Routines::instance(), [this](const QStringList &message) { m_dispatcher->OnMessage(message); });
    m_listen = new SocketX(this);
    m_listen->setRecvBufferSize(8192);
    m_listen->setSendBufferSize(8192);
    // The three further socket settings the original made under Wine have no meaning here.
    connect(m_listen, &SocketX::OnAccept, this, [this](int handle, qint16) { mtcpListen_Accept(handle); });
    connect(m_link, &MLink::OnConnect, this, &frmMDI::MLink_OnConnect);
    connect(m_link, &MLink::BeforeClose, this, &frmMDI::MLink_BeforeClose, Qt::DirectConnection);
    connect(m_link, &MLink::OnClose, this, &frmMDI::MLink_OnClose);

    m_state = -1;
    checkEngine();

    m_fileOpen = new frmFileOpen(this);
    m_fileSaveAs = new frmFileSaveAs(this);
    m_connect = new frmConnect(this);
    m_attach = new frmAttach(this);

    m_mdi = new MdiHost(this);
    setCentralWidget(m_mdi);
    m_status = new sbrStatus(this);
    setStatusBar(m_status);
    connect(m_status, &sbrStatus::PanelClick, this, &frmMDI::StatusPanelClick);

    m_cmdMgr = new CommandManager(this);
    // The go-to box of the Edit bar gets its helper, which lives with the box.
    connect(m_cmdMgr, &CommandManager::InitCommandUI, this, [](CommandUI *ui) {
        if (!ui->command() || ui->command()->id() != QLatin1String("EdGoto") || !ui->combo())
            return;
        new EdGotoHelper(ui, ui->combo());
        ui->combo()->setFont(programSettings().dialogFont);
    });
    m_cmdMgr->load(vantrelCommandDesign());
    m_cmdMgr->setMainRouter(this);
    // Connect and Attach wait for the end of an attach; refresh them when it ends.
    connect(m_attach, &frmAttach::statusTimerChanged, m_cmdMgr, &CommandManager::invalidate);
    m_menus = new MainMenus(*this);
    new ShortcutOverrideFilter(this);

    registerServices();
}

void frmMDI::checkEngine()
{
    m_engine = std::make_unique<VanNgine>();
    if (!m_engine->Connected()) {
        MsgBox(engineFailureText(), MsgBoxStyle::Exclamation, QStringLiteral("VanNgine Failure"));
        return;
    }
    const QString engineVersion = m_engine->Version();
    if (engineVersion != ownVersionText()) {
        MsgBox(versionMismatchText(ownVersionText(), engineVersion), MsgBoxStyle::Exclamation,
               QStringLiteral("Version Mismatch Warning"));
    }
}

void frmMDI::registerServices()
{
    docServices().host = this;
    docServices().codeWindowFactory = frmCode::factory();
    registerContextTip();
    docServices().reportPane = [this]() -> IReportPane * { return immediatePane(); };
    Routines::instance().setViewDefaults(this);
    m_link->setTransactUi(this);
    setMainWindow(this);
    setDialogHost(this);
    // A new routine can be saved only once the Save As dialog is there to name it.
    docServices().saveAs = m_fileSaveAs;
    modFileOpen::setOpenDialog(m_fileOpen);
}

// One tip window for the program: every code window gets a handle on it, so a tip never
// stays up over one window while another shows its own.
void frmMDI::registerContextTip()
{
    if (!m_contextTip) {
        m_contextTip = new frmContextTip(this);
        m_contextTip->setOwner(this);
    }
    frmCode::setTipFactory([tip = QPointer<frmContextTip>(m_contextTip)]() -> std::unique_ptr<ITipWindow> {
        if (tip)
            return tip->client();
        return std::make_unique<TipHolder>();
    });
}

void frmMDI::unregisterServices()
{
    if (docServices().host == this) {
        docServices().host = nullptr;
        docServices().reportPane = nullptr;
        docServices().codeWindowFactory = nullptr;
        frmCode::setTipFactory({});
        docServices().breakpoints = nullptr;
        docServices().stack = nullptr;
    }
    Routines::instance().setViewDefaults(nullptr);
    if (m_link)
        m_link->setTransactUi(nullptr);
    if (mainWindow() == this)
        setMainWindow(nullptr);
    if (dialogHost() == this)
        setDialogHost(nullptr);
}

// --- load ------------------------------------------------------------------------------------------

bool frmMDI::ensureLoaded()
{
    if (!m_loaded && !m_loadFailed) {
        m_loaded = true;
        load();
    }
    return !m_loadFailed;
}

void frmMDI::load()
{
    ProgramSettings &settings = programSettings();

    // The recent-items entries of the File menu: a separator, then nine items.
    m_recentItems = m_menus->recentItems();

    createPanes();

    try {
        if (registrationHook())
            registrationHook()();
        m_registry = std::make_unique<PersistRegistry>();
        m_registry->add(QStringLiteral("gfrmMDI"), static_cast<IMementoOrigin *>(this));
        for (const char *name : PaneNames)
            m_registry->add(QString::fromLatin1(name), m_formFactory.get());
        m_registry->add(QStringLiteral("FileOpen"), static_cast<IMementoOrigin *>(m_fileOpen));
        m_registry->add(QStringLiteral("FileSaveAs"), static_cast<IMementoOrigin *>(m_fileSaveAs));
        m_registry->add(QStringLiteral("Connect"), static_cast<IMementoOrigin *>(m_connect));
        m_storage = std::make_unique<PersistStorage>(*m_registry);
        m_storage->setRoot(QString::fromLatin1(RegistryRoot));
    } catch (const VantrelError &e) {
        failLoad(loadFailureText(qint32(e.number()), e.text()));
        return;
    } catch (const std::exception &e) {
        failLoad(loadFailureText(qint32(VantrelError::Base + 5), QString::fromLocal8Bit(e.what())));
        return;
    }

    m_settingsRestored = false;
    try {
        if (!settings.isWine)
            m_storage->restore(QString::fromLatin1(SavedStateName));
    } catch (...) {
        // A saved state that cannot be read leaves the defaults.
    }
    if (m_tmrKeepAlive->interval() > 0)
        m_tmrKeepAlive->setEnabled(true);
    if (!m_settingsRestored)
        buildDefaultLayout();

    m_panes = {breakpointsPane(), immediatePane(), stackPane(), varsPane()};
    // The breakpoints pane is the one store of breakpoints; the documents reach it here.
    docServices().breakpoints = breakpointsPane();
    docServices().stack = stackPane();
    // Picking a stack level shows its variables; a variables fetch holds the stack still.
    connect(stackPane(), &frmStack::levelSelected, this, [this](int level) { varsPane()->Update(level, QString()); });
    connect(varsPane(), &frmVars::stackListEnabled, stackPane(), &frmStack::setListEnabled);

    m_status->setFont(settings.dialogFont);
    m_status->statePanel()->setBevel(settings.CommandCounter ? StatusPanel::Inset : StatusPanel::NoBevel);

    m_foregroundWindow = 0;
    m_foregroundPid = 0;
    if (AddIn::startedForServer()) {
        bool numeric = false;
        const quint64 handle = AddIn::commandLine().mid(2).trimmed().toULongLong(&numeric);
        if (numeric && handle != 0) {
            m_foregroundWindow = handle;
            m_foregroundPid = foreground().processOf(handle);
        }
    }

    StatusText(QStringLiteral("Booking in with Sentry..."));
    try {
        m_booking = makeSentryBooking();
    } catch (const VantrelError &e) {
        m_booking.reset();
        failLoad(bookingFailureText(qint32(e.number()), e.text()));
        return;
    }
    StatusText(QString());
    m_listen->setNoDelay(false);
    m_listen->setLocalAddress(QStringLiteral("0.0.0.0"));
    m_listen->setLocalPort(SocketX::foldPort(m_booking->Port()));
}

void frmMDI::createPanes()
{
    m_formFactory = std::make_unique<FormFactory>(this);
    // The docks exist and sit in the window before a saved layout is restored, or the
    // restore would not find them; the default layout places them properly.
    for (const char *name : PaneNames) {
        auto *pane = qobject_cast<PaneForm *>(m_formFactory->CreateInstance(QString::fromLatin1(name), true));
        if (pane && pane->dock() && dockWidgetArea(pane->dock()) == Qt::NoDockWidgetArea)
            addDockWidget(Qt::BottomDockWidgetArea, pane->dock());
        if (pane)
            m_cmdMgr->registerChildForm(pane, nullptr);
    }
    // The immediate pane takes the edit commands while it has the focus.
    if (frmImmediate *immediate = immediatePane()) {
        m_immediateRouter = std::make_unique<ImmediateCommandRouter>(immediate);
        m_cmdMgr->registerChildForm(immediate, m_immediateRouter.get());
        immediate->setVariablesRefresh([this] {
            if (frmVars *vars = varsPane())
                vars->Update(0, QString());
        });
        m_menus->setImmediatePane({[immediate] { immediate->ClearAll(); },
                                   [immediate](bool on) { immediate->SetLineWrap(immediate->IO(), on); },
                                   [immediate](bool on) { immediate->SetLineWrap(immediate->Report(), on); },
                                   [immediate](const QFont &font) { immediate->setIOFont(font); }});
    }
    // The bars in their default order, in two rows so that every button shows on a
    // window 1280 pixels wide: the debugging row first, the editing row under it. A
    // restored layout moves them.
    const char *const barOrder[] = {"File", "Debug", "Bookmarks", nullptr, "Edit", "View", "Blocks"};
    for (const char *category : barOrder) {
        if (!category) {
            addToolBarBreak(Qt::TopToolBarArea);
            continue;
        }
        if (QToolBar *bar = m_cmdMgr->toolBar(QStringLiteral("tlb") + QString::fromLatin1(category)))
            addToolBar(Qt::TopToolBarArea, bar);
    }
}

void frmMDI::buildDefaultLayout()
{
    programSettings().ChildMaxed = true;
    Routine::setChildMaxed(true);
    if (QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect s = screen->availableGeometry();
        setGeometry(s.left() + s.width() * 5 / 100, s.top() + s.height() * 5 / 100,
                    s.width() * 90 / 100, s.height() * 90 / 100);
    }
    QDockWidget *immediate = immediatePane()->dock();
    QDockWidget *breakpoints = breakpointsPane()->dock();
    QDockWidget *stack = stackPane()->dock();
    QDockWidget *vars = varsPane()->dock();
    // Immediate along the bottom with Breakpoints beside it (a third); Stack at the right
    // with Variables below it (half).
    addDockWidget(Qt::BottomDockWidgetArea, immediate);
    splitDockWidget(immediate, breakpoints, Qt::Horizontal);
    addDockWidget(Qt::RightDockWidgetArea, stack);
    splitDockWidget(stack, vars, Qt::Vertical);
    for (PaneForm *pane : {static_cast<PaneForm *>(immediatePane()), static_cast<PaneForm *>(breakpointsPane()),
                           static_cast<PaneForm *>(stackPane()), static_cast<PaneForm *>(varsPane())}) {
        pane->dock()->show();
        pane->NoteDockEdge();
    }
    const int h = height();
    resizeDocks({immediate}, {h / 4}, Qt::Vertical);
    resizeDocks({immediate, breakpoints}, {67, 33}, Qt::Horizontal);
    resizeDocks({stack}, {h / 3}, Qt::Horizontal);
    resizeDocks({stack, vars}, {50, 50}, Qt::Vertical);
}

void frmMDI::failLoad(const QString &text)
{
    m_loadFailed = true;
    AddIn::setGfrmMDI(nullptr);
    m_engine.reset();
    MsgBox(text, MsgBoxStyle::Critical, QString());
    AddIn::endProgram(1);
}

frmStack *frmMDI::stackPane() const
{
    return m_formFactory ? m_formFactory->stackPane() : nullptr;
}

frmVars *frmMDI::varsPane() const
{
    return m_formFactory ? m_formFactory->varsPane() : nullptr;
}

frmImmediate *frmMDI::immediatePane() const
{
    return m_formFactory ? m_formFactory->immediatePane() : nullptr;
}

frmBreakpoints *frmMDI::breakpointsPane() const
{
    return m_formFactory ? m_formFactory->breakpointsPane() : nullptr;
}

// --- close and unload --------------------------------------------------------------------------

void frmMDI::closeEvent(QCloseEvent *event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    if (!requestClose()) {
        event->ignore();
        return;
    }
    event->accept();
    unload();
    // Nothing else would end the program: the splash is still a window, and it would
    // find no main window to hand over to.
    if (frmSplash *splash = frmSplash::current())
        splash->MainWindowClosed();
}

bool frmMDI::requestClose()
{
    if (m_link && m_link->IsConnected()) {
        if (!Disconnect(true))
            return false;
    }
    if (m_preserved.count() > 0) {
        if (MsgBox(preservedCloseQuestion(), MsgBoxStyle::YesNoQuestionDefaultNo, QString()) != MsgBoxStyle::AnswerYes)
            return false;
    }
    // The questions run event loops, under which the next server may have connected: the
    // window stays for its session, which nobody asked to end.
    if (m_link && m_link->IsConnected())
        return false;
    for (int i = m_preserved.count(); i >= 1; --i) {
        RoutineDocPtr doc = m_preserved.item(i);
        m_preserved.remove(i);
        if (doc)
            doc->CloseDoc(true);
    }
    // Nothing may fire into a link that is being released.
    stopTimers();
    m_preserved.clear();
    Routines::instance().shutdown();
    if (m_storage) {
        try {
            m_storage->save(QString::fromLatin1(SavedStateName));
        } catch (...) {
            // Losing the layout must not keep the window from closing.
        }
    }
    if (m_link) {
        m_link->disconnect(this);
        m_link->setTransactUi(nullptr);
    }
    m_panes.clear();
    return true;
}

void frmMDI::stopTimers()
{
    m_tmrJiggle->setEnabled(false);
    m_tmrKeepAlive->setEnabled(false);
    m_tmrWindowSwitch->setEnabled(false);
}

void frmMDI::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    stopTimers();
    // The code windows live in the document area, which goes with this window.
    m_preserved.clear();
    Routines::instance().shutdown();
    // An unloaded window takes no more servers, whether or not the process ends now.
    m_listen->Close();
    if (docServices().saveAs == m_fileSaveAs)
        docServices().saveAs = nullptr;
    if (modFileOpen::openDialog() == m_fileOpen)
        modFileOpen::setOpenDialog(nullptr);
    delete m_fileOpen;
    delete m_fileSaveAs;
    delete m_connect;
    delete m_attach;
    m_fileOpen = nullptr;
    m_fileSaveAs = nullptr;
    m_connect = nullptr;
    m_attach = nullptr;
    if (AddIn::gfrmMDI() == this)
        AddIn::setGfrmMDI(nullptr);
    unregisterServices();
}

void frmMDI::unloadAndEnd(int exitCode)
{
    unload();
    hide();
    AddIn::endProgram(exitCode);
}
