#include "frmimmediate.h"

#include "activeeditordocument.h"
#include "imainwindow.h"
#include "immediatechannel.h"
#include "immediatedraw.h"
#include "linedata.h"
#include "memento.h"
#include "sourceview.h"

#include <QApplication>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString ExecuteTab = QStringLiteral("X");
const QString ReportTab = QStringLiteral("R");
const QString WrapIOAttribute = QStringLiteral("WrapIO");
const QString WrapReportAttribute = QStringLiteral("WrapReport");

// The control's option bits the execute view is loaded with: 32 keeps a line-selection
// strip in the margin (the drawing reads it back), 4 is taken as given.
constexpr int SelectionMarginOption = SourceView::kSelectionMargin;
constexpr int LoadOption = 0x4;

bool is(const QString &id, const char *name)
{
    return id == QLatin1String(name);
}

} // namespace

frmImmediate::frmImmediate(QWidget *parent)
    : PaneForm(parent)
    , m_tabs(new QTabBar(this))
    , m_views(new QStackedWidget(this))
    , m_io(new SourceView)
    , m_report(new SourceView)
    , m_channel(new ImmediateChannel(this))
    , m_flushTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("frmImmediate"));
    setWindowTitle(QStringLiteral("Immediate"));
    m_tabs->setObjectName(QStringLiteral("TabStrip1"));
    m_io->setObjectName(QStringLiteral("IO"));
    m_report->setObjectName(QStringLiteral("Report"));

    m_ioDraw = std::make_unique<ImmediateDraw>(m_io);
    // Slot 1 of the execute view's lines tells typed command lines from output.
    m_io->Document()->SetExtraData(2);
    m_io->Document()->SetPathName(QStringLiteral("Vantrel Immediate Execute Pane"));
    m_io->EnableOptions(SelectionMarginOption);
    m_io->EnableOptions(LoadOption);

    m_reportDraw = std::make_unique<ImmediateDraw>(m_report);
    // Nothing marks report lines: one slot, so no line ever reads as a command line.
    m_report->Document()->SetExtraData(1);
    m_report->Document()->SetPathName(QStringLiteral("Vantrel Report Pane"));
    m_report->Document()->SetReadOnly(true);

    if (IMainWindow *main = mainWindow()) {
        const QFont font = main->codeFont();
        // A main window that has no code font of its own leaves the views' fixed font.
        if (font != QFont()) {
            m_io->SetFont(font);
            m_report->SetFont(font);
        }
    }

    m_views->addWidget(m_io);
    m_views->addWidget(m_report);
    m_tabs->setShape(QTabBar::RoundedSouth);
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    int tab = m_tabs->addTab(QStringLiteral("E&xecute"));
    m_tabs->setTabData(tab, ExecuteTab);
    m_tabs->setTabToolTip(tab, QStringLiteral("Xecute commands in the server process and view "
                                              "output. READs are not supported"));
    tab = m_tabs->addTab(QStringLiteral("&Report"));
    m_tabs->setTabData(tab, ReportTab);
    m_tabs->setTabToolTip(tab, QStringLiteral("View report text from server process, e.g. "
                                              "compilation errors"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_views, 1);
    layout->addWidget(m_tabs);

    // Direct connections: a handler's change of the key code must reach the view.
    connect(m_io, &SourceView::KeyDown, this, &frmImmediate::onIOKeyDown, Qt::DirectConnection);
    connect(m_io, &SourceView::KeyPress, this, &frmImmediate::onIOKeyPress, Qt::DirectConnection);
    connect(m_io, &SourceView::KeyUp, this, &frmImmediate::onIOKeyUp, Qt::DirectConnection);
    connect(m_io, &SourceView::BeforeCommand, this, &frmImmediate::onIOBeforeCommand, Qt::DirectConnection);
    connect(m_io, &SourceView::MouseDown, this,
            [this](int &button, int &shift, int &x, int &y) { onIOMouseDown(button, shift, x, y); });
    connect(m_io, &SourceView::MouseUp, this, [this](int &button, int &, int &x, int &y) {
        if (button == 2)
            ShowExecuteMenu(x, y);
    });
    connect(m_io, &SourceView::Click, this, &frmImmediate::onIOClick);
    connect(m_report, &SourceView::KeyDown, this, &frmImmediate::onReportKeyDown, Qt::DirectConnection);
    connect(m_report, &SourceView::KeyUp, this, &frmImmediate::onReportKeyUp, Qt::DirectConnection);
    connect(m_report, &SourceView::MouseUp, this, [this](int &button, int &, int &x, int &y) {
        if (button == 2)
            ShowReportMenu(x, y);
    });

    connect(m_tabs, &QTabBar::currentChanged, this, &frmImmediate::onTabChanged);
    connect(qApp, &QApplication::focusChanged, this, &frmImmediate::onFocusChanged);
    connect(m_channel, &ImmediateChannel::opened, this, &frmImmediate::onChannelOpened);
    connect(m_channel, &ImmediateChannel::arrived, this, &frmImmediate::onOutputArrived);
    connect(m_channel, &ImmediateChannel::closed, this, &frmImmediate::onChannelClosed);
    m_flushTimer->setSingleShot(true);
    connect(m_flushTimer, &QTimer::timeout, this, &frmImmediate::flushOutput);
    onTabChanged();
}

frmImmediate::~frmImmediate()
{
    disconnect(qApp, nullptr, this, nullptr);
    releaseActiveEditorDocument(m_io->Document());
    releaseActiveEditorDocument(m_report->Document());
}

int frmImmediate::sessionState() const
{
    IMainWindow *main = mainWindow();
    return main ? main->MState() : -1;
}

void frmImmediate::beep()
{
    if (m_beeper)
        m_beeper();
    else
        QApplication::beep();
}

// --- tabs and appearance -------------------------------------------------------------------

void frmImmediate::setIOBackground(const QColor &colour)
{
    m_io->SetBackColor(colour);
}

QColor frmImmediate::ioBackground() const
{
    return m_io->BackColor();
}

void frmImmediate::NoteSessionState()
{
    const QPalette::ColorRole role = sessionState() == SuspendedState ? QPalette::Base : QPalette::Button;
    const QColor colour = QApplication::palette().color(role);
    if (m_io->BackColor() != colour)
        m_io->SetBackColor(colour);
}

void frmImmediate::setIOFont(const QFont &font)
{
    m_io->SetFont(font);
}

QString frmImmediate::selectedTab() const
{
    return m_tabs->tabData(m_tabs->currentIndex()).toString();
}

void frmImmediate::SelectTab(const QString &key)
{
    for (int tab = 0; tab < m_tabs->count(); ++tab) {
        if (m_tabs->tabData(tab).toString() != key)
            continue;
        if (tab == m_tabs->currentIndex())
            onTabChanged();
        else
            m_tabs->setCurrentIndex(tab);
        return;
    }
}

// The tab shown, the document the edit commands and the undo list act on, and the
// execute view's colour, which tells whether commands can be typed now.
void frmImmediate::onTabChanged()
{
    if (selectedTab() == ReportTab) {
        m_views->setCurrentWidget(m_report);
        setActiveEditorDocument(m_report->Document());
        return;
    }
    m_views->setCurrentWidget(m_io);
    setActiveEditorDocument(m_io->Document());
    NoteSessionState();
}

// The pane becoming the active window of the docks, as the focus enters it.
void frmImmediate::onFocusChanged(QWidget *old, QWidget *now)
{
    const bool inside = now && (now == this || isAncestorOf(now));
    const bool wasInside = old && (old == this || isAncestorOf(old));
    if (inside && !wasInside)
        onTabChanged();
}

void frmImmediate::ShowExecute()
{
    if (!paneVisible())
        ShowMe();
    setFocus();
    SelectTab(ExecuteTab);
    m_io->setFocus();
}

// --- report ------------------------------------------------------------------------------------

void frmImmediate::ClearReport()
{
    SourceDocument *doc = m_report->Document();
    doc->Initialize();
    doc->SetReadOnly(true);
}

void frmImmediate::AppendReport(const QString &text)
{
    // Loaded the way a document loads text: no undo step and no modified mark, which a
    // read-only report has no use for, and the document may stay read-only meanwhile.
    SourceDocument *doc = m_report->Document();
    const int lastLine = doc->NumLines() - 1;
    doc->InsertImpl(doc->GetLineLength(lastLine), lastLine, text);
}

void frmImmediate::ShowReport()
{
    ShowMe();
    IMainWindow *main = mainWindow();
    const bool takeFocus = !main || main->SwitchToReportOnSaveError();
    if (takeFocus)
        setFocus();
    SelectTab(ReportTab);
    m_report->SetScrollPosition(0, 0);
    m_report->SetCaret(0, 0);
    if (takeFocus)
        m_report->setFocus();
}

// --- wrap and clear ------------------------------------------------------------------------------

void frmImmediate::SetLineWrap(SourceView *view, bool wrap)
{
    if (view != m_io && view != m_report)
        return;
    int c1 = 0, l1 = 0, c2 = 0, l2 = 0;
    view->GetSel(c1, l1, c2, l2);
    const int caretColumn = view->CaretX();
    const int caretLine = view->CaretY();
    if (wrap) {
        view->EnableOptions(SourceView::kWrap, 0);
        view->SetScrollStyle(SourceView::kVerticalScrollBar);
    } else {
        view->EnableOptions(0, SourceView::kWrap);
        view->SetScrollStyle(SourceView::kVerticalScrollBar | SourceView::kHorizontalScrollBar);
    }
    view->MoveCaret(caretColumn, caretLine);
    view->RefreshLines();
    view->SetSel(c1, l1, c2, l2);
    (view == m_io ? m_wrapIO : m_wrapReport) = wrap;
}

bool frmImmediate::LineWrap(const SourceView *view) const
{
    return view == m_io ? m_wrapIO : view == m_report && m_wrapReport;
}

void frmImmediate::ClearAll()
{
    // Forgets the lines' flags, bookmarks and undo steps with the text: nothing of the
    // old text is left to bring back.
    m_io->Document()->Initialize();
    m_droppedChars = 0;
    m_droppedForLines = false;
    m_openLine = false;
    m_recallLine = -1;
    m_recallText.clear();
}

// --- settings --------------------------------------------------------------------------------------

void frmImmediate::saveOwnSettings(Memento &memento) const
{
    memento.write(WrapIOAttribute, m_wrapIO);
    memento.write(WrapReportAttribute, m_wrapReport);
}

void frmImmediate::restoreOwnSettings(const Memento &memento)
{
    IMainWindow *main = mainWindow();
    bool wrap = false;
    if (memento.readBool(WrapIOAttribute, wrap) && wrap) {
        SetLineWrap(m_io, true);
        if (main)
            main->setMenuItemChecked(QStringLiteral("mnuPopImmedWrap"), true);
    }
    wrap = false;
    if (memento.readBool(WrapReportAttribute, wrap) && wrap) {
        SetLineWrap(m_report, true);
        if (main)
            main->setMenuItemChecked(QStringLiteral("mnuPopReportWrap"), true);
    }
}

// --- command routing ---------------------------------------------------------------------------------

SourceView *frmImmediate::commandTarget() const
{
    return m_views->currentWidget() == m_io ? m_io : m_report;
}

frmImmediate::CommandRule frmImmediate::commandRule(const QString &category, const QString &id,
                                                    bool clipboardHasText) const
{
    CommandRule rule;
    const bool onIO = commandTarget() == m_io;
    const SourceDocument *doc = commandTarget()->Document();
    const bool suspended = sessionState() == SuspendedState;
    if (category == QLatin1String("File")) {
        if (is(id, "FlPrint"))
            rule.applies = rule.enabled = rule.stopRouting = true;
    } else if (category == QLatin1String("Bookmarks")) {
        rule.applies = rule.stopRouting = true;
        if (!onIO) {
            rule.enabled = false;
        } else if (is(id, "BmkToggle")) {
            rule.enabled = true;
            const int caret = m_io->CaretLine();
            rule.state = (doc->GetLineData(caret, LineData::kControlSlot) & LineData::kBookmark) ? 1 : 0;
        } else {
            rule.enabled = doc->NumBookmarks() > 0;
        }
    } else if (category == QLatin1String("Edit")) {
        rule.applies = rule.stopRouting = true;
        const bool selection = commandTarget()->HasSelection();
        if (onIO) {
            if (is(id, "EdUndo"))
                rule.enabled = doc->CanUndo();
            else if (is(id, "EdRedo"))
                rule.enabled = doc->CanRedo();
            else if (is(id, "EdCut") || is(id, "EdDelete") || is(id, "EdCopy"))
                rule.enabled = selection;
            else if (is(id, "EdPaste"))
                rule.enabled = clipboardHasText && suspended;
            else if (is(id, "EdGoto"))
                rule.enabled = false;
            else if (is(id, "EdReplace"))
                rule.enabled = suspended;
            else
                rule.enabled = true;
        } else {
            if (is(id, "EdCopy"))
                rule.enabled = selection;
            else
                rule.enabled = is(id, "EdFind") || is(id, "EdFindNext");
        }
    } else if (category == QLatin1String("View")) {
        // Enabled here; the main window goes on to carry them out.
        rule.applies = rule.enabled = true;
    }
    return rule;
}

bool frmImmediate::carriesOut(const QString &id)
{
    static const char *const ids[] = {
        "BmkToggle", "BmkFirst", "BmkNext",    "BmkPrevious", "BmkLast",    "BmkClearAll",
        "EdUndo",    "EdRedo",   "EdCut",      "EdCopy",      "EdPaste",    "EdDelete",
        "EdFind",    "EdFindNext", "EdReplace", "FlPrint",
    };
    for (const char *name : ids) {
        if (is(id, name))
            return true;
    }
    return false;
}

bool frmImmediate::carryOut(const QString &id)
{
    SourceView *view = commandTarget();
    if (is(id, "FlPrint")) {
        print(view);
        return true;
    }
    if (view == m_report) {
        if (is(id, "EdCopy"))
            view->ExecuteCommand(SourceView::CmdCopy);
        else if (is(id, "EdFind"))
            view->Find();
        else if (is(id, "EdFindNext"))
            view->FindNext();
        else
            return false;
        return true;
    }

    SourceDocument *doc = m_io->Document();
    const int caret = m_io->CaretLine();
    auto caretToLine = [this](int line) {
        if (line >= 0)
            m_io->SetCaret(0, line);
    };
    if (is(id, "BmkToggle"))
        doc->ToggleBookmark(caret);
    else if (is(id, "BmkFirst"))
        caretToLine(doc->NextBookmark(doc->NumLines() - 1));   // on from the last line: the first
    else if (is(id, "BmkNext"))
        caretToLine(doc->NextBookmark(caret));
    else if (is(id, "BmkPrevious"))
        caretToLine(doc->PrevBookmark(caret));
    else if (is(id, "BmkLast"))
        caretToLine(doc->PrevBookmark(0));                     // back from line 0: the last
    else if (is(id, "BmkClearAll"))
        doc->ClearAllBookmarks();
    else if (is(id, "EdUndo"))
        doc->Undo();
    else if (is(id, "EdRedo"))
        doc->Redo();
    else if (is(id, "EdCut"))
        m_io->ExecuteCommand(SourceView::CmdCut);
    else if (is(id, "EdCopy"))
        m_io->ExecuteCommand(SourceView::CmdCopy);
    else if (is(id, "EdPaste"))
        m_io->ExecuteCommand(SourceView::CmdPaste);
    else if (is(id, "EdDelete")) {
        if (m_io->HasSelection()) {
            int c1 = 0, l1 = 0, c2 = 0, l2 = 0;
            m_io->GetSel(c1, l1, c2, l2);
            doc->Delete(c1, l1, c2, l2);
        }
    } else if (is(id, "EdFind"))
        m_io->Find();
    else if (is(id, "EdFindNext"))
        m_io->FindNext();
    else if (is(id, "EdReplace"))
        m_io->Replace();
    else
        return false;
    return true;
}
