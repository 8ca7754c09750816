#include "frmcode.h"

#include "activeeditordocument.h"
#include "codestatusbar.h"
#include "codestatuspanel.h"
#include "imainwindow.h"
#include "routine.h"
#include "routines.h"
#include "sourcedraw.h"
#include "sourceview.h"
#include "tipholder.h"
#include "vantrelerror.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

Routines *g_routines = nullptr;
std::function<void()> g_beeper;
std::function<std::unique_ptr<ITipWindow>()> g_tipFactory;

} // namespace

Routines &frmCode::routineCollection()
{
    return g_routines ? *g_routines : Routines::instance();
}

frmCode::frmCode(QWidget *parent) : QWidget(parent)
{
    m_view = new SourceView(this);
    m_status = new CodeStatusBar(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_status);
    m_tmrParse.setSingleShot(false);
    connect(&m_tmrParse, &QTimer::timeout, this, &frmCode::tmrParse_Timer);
    Form_Initialize();
    Form_Load();
}

frmCode::~frmCode()
{
    if (!m_unloaded)
        unload();
    // The view reads its document until it is gone, so it goes first.
    delete m_view;
    m_view = nullptr;
}

CodeWindowFactory frmCode::factory()
{
    return [] { return std::unique_ptr<ICodeWindow>(new frmCode()); };
}

void frmCode::setRoutine(Routine *routine)
{
    m_routine = routine;
    // The painter reads the routine's breakpoints and stack levels; it goes with the window.
    if (m_draw)
        m_draw->setRoutine(routine);
}

void frmCode::setRoutineCollection(Routines *routines)
{
    g_routines = routines;
}

void frmCode::setBeeper(std::function<void()> beeper)
{
    g_beeper = std::move(beeper);
}

void frmCode::setTipFactory(std::function<std::unique_ptr<ITipWindow>()> factory)
{
    g_tipFactory = std::move(factory);
}

void frmCode::beep()
{
    Beep();
}

void frmCode::Beep()
{
    if (g_beeper)
        g_beeper();
    else
        QApplication::beep();
}

// --- set-up ------------------------------------------------------------------------------

void frmCode::Form_Initialize()
{
    IMainWindow *main = mainWindow();
    if (main)
        m_status->setFont(main->dialogFont());
    // Without the View menu's Wrap item the panel is the only switch left; it stays small.
    if (main && !main->menuItemVisible(QStringLiteral("mnuViewWrap")))
        m_status->panel(QStringLiteral("Wrap"))->setAutoSize(CodeStatusPanel::NoAutoSize);
}

void frmCode::Form_Load()
{
    IMainWindow *main = mainWindow();

    m_doc.SetExtraData(3);
    m_view->SetDocument(&m_doc);
    m_lex.Attach(&m_doc);
    m_doc.SetLex(&m_lex);

    m_draw = std::make_unique<SourceDraw>(m_view);
    m_draw->setRoutine(m_routine);
    m_view->setDrawCallback(m_draw.get());
    if (main && main->editorSettings())
        m_view->SetSettings(main->editorSettings());

    // The control's load-time options. Bit &H10 of the settings' DocOptions is left as it
    // is: the settings are shared by every window, and collapsing is each window's own.
    m_doc.EnableOptions(1, false);
    m_doc.EnableOptions(8, false);
    if (EditorSettings *settings = m_view->Settings())
        settings->SetDocOptions(settings->DocOptions() | 8 | 32);
    m_view->ExecuteCommand(SourceView::CmdLoadAction, 1);

    m_view->SetFont(main ? main->codeFont() : QFontDatabase::systemFont(QFontDatabase::FixedFont));

    m_tip = g_tipFactory ? g_tipFactory() : std::make_unique<TipHolder>();
    m_tip->setOwner(this);
    m_tip->SetText(QString(), QString());

    // The caret-line flag, tips and menus need every pointer move and the right button.
    m_view->viewport()->setMouseTracking(true);
    m_view->setContextMenuPolicy(Qt::PreventContextMenu);
    m_view->installEventFilter(this);

    // Direct connections throughout: the handlers write back through their reference
    // arguments, and the lexer and breakpoints must follow an edit before it returns.
    const auto direct = Qt::DirectConnection;
    connect(m_view, &SourceView::CaretMove, this, &frmCode::SourceView1_CaretMove, direct);
    connect(m_view, &SourceView::Click, this, &frmCode::SourceView1_Click, direct);
    connect(m_view, &SourceView::MouseDown, this, &frmCode::SourceView1_MouseDown, direct);
    connect(m_view, &SourceView::MouseMove, this, &frmCode::SourceView1_MouseMove, direct);
    connect(m_view, &SourceView::MouseUp, this, &frmCode::SourceView1_MouseUp, direct);
    connect(m_view, &SourceView::KeyDown, this, &frmCode::SourceView1_KeyDown, direct);
    connect(m_view, &SourceView::KeyPress, this, &frmCode::SourceView1_KeyPress, direct);
    connect(m_view, &SourceView::KeyUp, this, &frmCode::SourceView1_KeyUp, direct);
    connect(m_view, &SourceView::BeforeCommand, this, &frmCode::SourceView1_BeforeCommand, direct);
    connect(&m_doc, &SourceDocument::ModifiedChange, this, &frmCode::SourceView1_ModifiedChange, direct);
    connect(&m_doc, &SourceDocument::TextInserted, this, &frmCode::SourceView1_TextInserted, direct);
    connect(&m_doc, &SourceDocument::TextDeleted, this, &frmCode::SourceView1_TextDeleted, direct);
    connect(&m_lex, &SourceLex::EnableTimer, this, &frmCode::mobjLex_EnableTimer, direct);
    connect(&m_lex, &SourceLex::LabelRevised, this, &frmCode::mobjLex_LabelRevised, direct);
    connect(&m_lex, &SourceLex::LabelsChanged, this, &frmCode::SetupEditCommands, direct);
    connect(m_status, &CodeStatusBar::PanelClick, this, &frmCode::sbrStatus_PanelClick);

    showEditState();
    m_status->panel(QStringLiteral("Overwrite"))->setPanelText(QStringLiteral("INS "));
    m_status->panel(QStringLiteral("Wrap"))->setPanelEnabled(false);
    m_status->panel(QStringLiteral("Parse"))->setPanelEnabled(false);
    m_status->panel(QStringLiteral("Blocks"))->setPanelEnabled(false);

    if (main)
        m_subWindow = main->addDocumentWindow(this);
    if (m_subWindow) {
        connect(m_subWindow, &QMdiSubWindow::windowStateChanged, this,
                [this](Qt::WindowStates before, Qt::WindowStates now) {
                    const bool was = before & Qt::WindowActive, is = now & Qt::WindowActive;
                    if (is && !was)
                        Form_Activate();
                    else if (was && !is)
                        Form_Deactivate();
                });
    }
    MeX()->hide();

    // A new window takes the size of the active one, unless that one fills the area, but
    // never less than a usable page of code: after a Tile the active one may be a sliver.
    QSize size = comfortableFrameSize();
    if (RoutineDocPtr active = routineCollection().Active()) {
        if (Routine *routine = dynamic_cast<Routine *>(active.get())) {
            if (auto *other = dynamic_cast<frmCode *>(routine->Window())) {
                QWidget *frame = other->MeX();
                if (!frame->isMaximized() && !frame->isMinimized())
                    size = size.expandedTo(frame->size());
            }
        }
    }
    if (m_subWindow) {
        if (QMdiArea *area = m_subWindow->mdiArea())
            size = size.boundedTo(area->viewport()->size());
    }
    MeX()->resize(size);
    keepInsideArea();
}

void frmCode::keepInsideArea()
{
    // The area places a frame by its first, smaller size; grown where it stands it can
    // reach past the area's edge, its close button and status bar out of sight.
    QMdiArea *area = m_subWindow ? m_subWindow->mdiArea() : nullptr;
    QWidget *frame = MeX();
    if (!area || frame->isMaximized() || frame->isMinimized())
        return;
    const QSize room = area->viewport()->size();
    QPoint at = frame->pos();
    at.setX(std::max(0, std::min(at.x(), room.width() - frame->width())));
    at.setY(std::max(0, std::min(at.y(), room.height() - frame->height())));
    frame->move(at);
}

// Room for ComfortableColumns by ComfortableLines of code beside the margin, with the
// scroll bars, the status bar and the frame around them.
QSize frmCode::comfortableFrameSize() const
{
    const QStyle *style = this->style();
    const int scroll = style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_view);
    const int frame = 2 * m_view->frameWidth() + 2 * int(m_view->document()->documentMargin());
    QSize size((ComfortableColumns + m_view->MarginWidth()) * m_view->CharWidth() + scroll + frame,
               ComfortableLines * m_view->CharHeight() + scroll + frame + m_status->sizeHint().height());
    if (layout()) {
        const QMargins margins = layout()->contentsMargins();
        size += QSize(margins.left() + margins.right(), margins.top() + margins.bottom() + layout()->spacing());
    }
    if (m_subWindow) {
        const QStyle *frameStyle = m_subWindow->style();
        const int border = frameStyle->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, m_subWindow);
        const int title = frameStyle->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, m_subWindow);
        size += QSize(2 * border, title + border);
    }
    return size;
}

void frmCode::setVanNgine(VanNgine *engine)
{
    if (m_engine)
        throw VantrelError(VanNgineAlreadySet, QStringLiteral("VanNgine already set on this frmCode"));
    m_engine = engine;
    m_lex.setVanNgine(engine);
    IMainWindow *main = mainWindow();
    setRichSource(main && main->menuItemChecked(QStringLiteral("mnuViewRich")));
    setCodeCollapsing(main && main->menuItemChecked(QStringLiteral("mnuViewBlocks")));
}

void frmCode::InitializeDoc()
{
    m_lex.InitializeDoc();
    m_initialised = true;
}

// --- activation, size and closing ----------------------------------------------------------

void frmCode::Form_Activate()
{
    setActiveEditorDocument(&m_doc);
    if (IMainWindow *main = mainWindow()) {
        main->setMenuItemChecked(QStringLiteral("mnuViewWrap"), LineWrap());
        main->setMenuItemChecked(QStringLiteral("mnuViewRich"), m_lex.Enabled());
        main->setMenuItemChecked(QStringLiteral("mnuViewBlocks"), CodeCollapsing());
    }
    if (m_routine && m_routine->Visible())
        m_routine->Activate(false);
    SetupEditCommands();
    ShowCaretPosition(m_view->CaretColumn(), m_view->CaretLine());
}

void frmCode::Form_Deactivate()
{
    // The control this window was made for needed a property toggled here to drop its
    // pending key state; this control keeps none.
}

void frmCode::SetupEditCommands()
{
    if (IMainWindow *main = mainWindow())
        main->clearGoToLists();
}

void frmCode::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Inside the document area the sub-window reports activation; a window of its own
    // (no document area) has only its own.
    if (event->type() == QEvent::ActivationChange && !m_subWindow) {
        if (isActiveWindow())
            Form_Activate();
        else
            Form_Deactivate();
    }
}

void frmCode::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int lineHeight = std::max(1, m_view->CharHeight());
    const int height = m_view->viewport()->height();
    m_visibleLines = std::max(0, height / lineHeight + (height % lineHeight ? 1 : 0));
}

void frmCode::closeEvent(QCloseEvent *event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    // The user's close: the close check decides, from the event loop, since a yes ends
    // the document and this window with it.
    event->ignore();
    CloseButton();
}

void frmCode::CloseButton()
{
    QPointer<frmCode> self(this);
    QTimer::singleShot(0, qApp, [self] {
        if (self && !self->m_unloaded)
            self->OkayToUnload();
    });
}

bool frmCode::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress) {
        // Every key goes to the main window's key tables before the editor sees it.
        if (forwardKeyToMainWindow(static_cast<QKeyEvent *>(event)))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmCode::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_tmrParse.stop();
    m_view->setDrawCallback(nullptr);
    m_draw.reset();
    m_doc.SetLex(nullptr);
    m_lex.Detach();
    if (m_tip) {
        m_tip->setOwner(nullptr);
        m_tip.reset();
    }
    releaseActiveEditorDocument(&m_doc);
    m_engine = nullptr;
    if (QMdiSubWindow *sub = m_subWindow) {
        // Leave the document area: the sub-window goes, this window goes with its document.
        m_subWindow = nullptr;
        hide();
        setParent(nullptr);
        sub->deleteLater();
    }
}

// --- the window in the document area ------------------------------------------------------

QWidget *frmCode::MeX() const
{
    return m_subWindow ? static_cast<QWidget *>(m_subWindow.data()) : const_cast<frmCode *>(this);
}

bool frmCode::isWindowVisible() const
{
    return !MeX()->isHidden();
}

void frmCode::showWindow(bool maximised)
{
    QWidget *frame = MeX();
    if (m_subWindow)
        show();
    if (maximised) {
        frame->showMaximized();
    } else {
        frame->show();
        keepInsideArea();
    }
}

void frmCode::hideWindow()
{
    QWidget *frame = MeX();
    const bool maximised = frame->isMaximized();
    frame->hide();
    // The document area brings the next window forward in its normal state, and the main
    // window's caption loses the "[…]" part: the windows stay maximised as they were.
    QMdiArea *area = m_subWindow ? m_subWindow->mdiArea() : nullptr;
    if (!maximised || !area)
        return;
    const QList<QMdiSubWindow *> stacked = area->subWindowList(QMdiArea::StackingOrder);
    for (auto it = stacked.crbegin(); it != stacked.crend(); ++it) {
        if (*it == m_subWindow || (*it)->isHidden())
            continue;
        area->setActiveSubWindow(*it);
        (*it)->showMaximized();
        return;
    }
}

bool frmCode::isMaximised() const
{
    return MeX()->isMaximized();
}

void frmCode::moveToOrigin()
{
    MeX()->move(0, 0);
}

void frmCode::bringToFront()
{
    if (m_subWindow) {
        if (QMdiArea *area = m_subWindow->mdiArea())
            area->setActiveSubWindow(m_subWindow);
        m_subWindow->raise();
    } else {
        raise();
        activateWindow();
    }
}

void frmCode::focusEditor()
{
    m_view->setFocus(Qt::OtherFocusReason);
}

void frmCode::hideEditor()
{
    m_view->setUpdatesEnabled(false);
}

void frmCode::showEditor()
{
    m_view->setUpdatesEnabled(true);
}

// --- the editor control --------------------------------------------------------------------

int frmCode::caretLine() const
{
    return m_view->CaretLine();
}

int frmCode::caretColumn() const
{
    return m_view->CaretColumn();
}

void frmCode::setCaret(int column, int line)
{
    m_view->SetCaret(column, line);
}

void frmCode::ensureCaretVisible()
{
    m_view->ensureCursorVisible();
}

void frmCode::setSelection(int startColumn, int startLine, int endColumn, int endLine)
{
    m_view->SetSelection(startColumn, startLine, endColumn, endLine);
}

void frmCode::scrollPosition(int &firstColumn, int &firstLine) const
{
    m_view->GetScrollPosition(firstColumn, firstLine);
}

// --- the parse timer -----------------------------------------------------------------------

void frmCode::setParseTimerInterval(int milliseconds)
{
    m_parseInterval = milliseconds;
    updateParseTimer();
}

void frmCode::updateParseTimer()
{
    if (m_parseTimerOn && m_parseInterval > 0 && !m_unloaded)
        m_tmrParse.start(m_parseInterval);
    else
        m_tmrParse.stop();
}

void frmCode::mobjLex_EnableTimer(bool enable)
{
    if (enable == m_parseTimerOn)
        return;
    m_parseTimerOn = enable;
    if (enable)
        m_parseTicks = 0;
    else
        m_status->panel(QStringLiteral("Parse"))->setPicture(QString());
    updateParseTimer();
}

void frmCode::tmrParse_Timer()
{
    if (++m_parseTicks == 10)
        m_status->panel(QStringLiteral("Parse"))->setPicture(QStringLiteral("Busy"));
    // Lines on screen stand first in the queue; the slice keeps going with the rest. A
    // parse error's message box runs an event loop, in which this window may go.
    const QPointer<frmCode> self(this);
    QElapsedTimer slice;
    slice.start();
    do {
        m_lex.TimerTick();
    } while (self && m_parseTimerOn && !m_unloaded && m_lex.hasQueuedLines() && !m_lex.tickRunning() &&
             m_parseSliceNs > 0 && slice.nsecsElapsed() < m_parseSliceNs);
}

void frmCode::finishParse()
{
    // One tick for each line waiting now, and no more: a parse may queue lines again (the
    // line above it, the rest of a broken statement), and the user's command must come
    // back all the same. What it queued is left to the timer.
    const QPointer<frmCode> self(this);
    for (int owed = m_lex.queuedLineCount(); owed > 0; --owed) {
        if (!self || m_unloaded || !m_lex.hasQueuedLines() || m_lex.tickRunning())
            return;
        m_lex.TimerTick();
    }
    // The tick that finds the queue empty stops the timer and takes the hourglass down.
    if (self && !m_unloaded && !m_lex.hasQueuedLines() && !m_lex.tickRunning())
        m_lex.TimerTick();
}
