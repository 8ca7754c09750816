// The immediate pane's keys, command recall, margin clicks, context menus and printing.
#include "frmimmediate.h"

#include "imainwindow.h"
#include "linedata.h"
#include "routines.h"
#include "sourceview.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include <algorithm>

namespace {

// Windows virtual-key codes and the Shift mask, as the views report keys.
constexpr int VkBack = 8;
constexpr int VkTab = 9;
constexpr int VkReturn = 13;
constexpr int VkUp = 38;
constexpr int VkDown = 40;
constexpr int VkInsert = 45;
constexpr int VkDelete = 46;
constexpr int VkA = 65;
constexpr int VkApps = 93;
constexpr int ShiftMask = 1;
constexpr int CtrlMask = 2;

constexpr std::int32_t CommandLine = 1;

void executeMainCommand(const char *id)
{
    if (IMainWindow *main = mainWindow())
        main->executeCommand(QLatin1String(id));
}

bool clipboardHasText()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

} // namespace

// Ctrl+Tab and Ctrl+Shift+Tab bring the code window after or before the active routine's
// forward. Caught as key-downs: the view raises no key press for Ctrl+Shift+Tab, and the
// key press of Ctrl+I (9 as well) must stay a plain key.
bool frmImmediate::switchCodeWindow(int &KeyCode, int Shift)
{
    if (KeyCode != VkTab || !(Shift & CtrlMask))
        return false;
    KeyCode = 0;
    IMainWindow *main = mainWindow();
    if (main && Routines::instance().Active()) {
        if (Shift & ShiftMask)
            main->PreviousChild();
        else
            main->NextChild();
    }
    return true;
}

void frmImmediate::onIOKeyDown(int &KeyCode, int Shift)
{
    m_lastKeyDown = KeyCode;
    if (switchCodeWindow(KeyCode, Shift))
        return;
    if (KeyCode != VkUp || Shift != CtrlMask) {
        m_recallLine = -1;
        m_recallText.clear();
    }
    SourceDocument *doc = m_io->Document();
    switch (KeyCode) {
    case VkDown: {
        // Down on a last line with text opens a new line to type on.
        const int line = m_io->CaretLine();
        if (line == doc->NumLines() - 1 && doc->GetLineLength(line) > 0)
            doc->Insert(doc->GetLineLength(line), line, QStringLiteral("\r"));
        break;
    }
    case VkUp:
        if (Shift == CtrlMask)
            recallCommand(KeyCode);
        break;
    case VkInsert:
        if (Shift == ShiftMask) {
            executeMainCommand("EdPaste");
            KeyCode = 0;
        } else if (Shift == CtrlMask) {
            executeMainCommand("EdCopy");
            KeyCode = 0;
        }
        break;
    case VkDelete:
        if (Shift == ShiftMask) {
            executeMainCommand("EdCut");
            KeyCode = 0;
        }
        break;
    case VkA:
        if (Shift == CtrlMask) {
            const int last = doc->NumLines() - 1;
            m_io->SetSel(0, 0, doc->GetLineLength(last), last);
            KeyCode = 0;
        }
        break;
    default:
        break;
    }
}

// Walks back through the command lines above the recall's last stop (or the caret), each
// Ctrl+Up one further, skipping a line equal to the one recalled just before; the caret
// line takes its text.
void frmImmediate::recallCommand(int &KeyCode)
{
    SourceDocument *doc = m_io->Document();
    const int caret = m_io->CaretLine();
    int start = m_recallLine;
    if (start <= 0) {
        start = caret;
        m_recallLine = start;
    }
    for (int line = start - 1; line >= 0; --line) {
        if (doc->GetLineData(line, LineData::kFlagSlot) != CommandLine)
            continue;
        const QString text = doc->GetLine(line);
        if (text == m_recallText)
            continue;
        int from = caret;
        int to = caret;
        doc->InsertOverwrite(0, from, doc->GetLineLength(caret), to, text);
        m_io->SetCaret(int(text.size()), caret);
        KeyCode = 0;
        m_recallLine = line;
        m_recallText = text;
        return;
    }
}

void frmImmediate::markCommandLine(int line)
{
    SourceDocument *doc = m_io->Document();
    if (doc->GetLineData(line, LineData::kFlagSlot) == 0)
        doc->SetLineData(line, LineData::kFlagSlot, CommandLine);
}

void frmImmediate::onIOKeyPress(int &KeyAscii)
{
    if (sessionState() != SuspendedState) {
        // Nothing types while the process runs; only what would have typed a character
        // makes a sound.
        if (KeyAscii > 31)
            beep();
        KeyAscii = 0;
        return;
    }
    // Control characters count as Enter, Tab and Backspace only from those keys: Ctrl+M
    // must not run the line, Ctrl+I and Ctrl+H must not turn it into a command line.
    const bool enter = KeyAscii == 13 && m_lastKeyDown == VkReturn;
    const bool changesText = KeyAscii > 31 || enter || (KeyAscii == 9 && m_lastKeyDown == VkTab)
                             || (KeyAscii == 8 && m_lastKeyDown == VkBack);
    if (!changesText)
        return;
    const int line = m_io->CaretLine();
    markCommandLine(line);
    if (enter) {
        KeyAscii = 0;
        executeLine(line);
    }
}

void frmImmediate::onIOKeyUp(int &KeyCode, int)
{
    if (KeyCode != VkApps)
        return;
    int x = 0, y = 0;
    m_io->DocToDevice(m_io->CaretX(), m_io->CaretY(), x, y);
    ShowExecuteMenu(x, y);
}

void frmImmediate::onReportKeyDown(int &KeyCode, int Shift)
{
    switchCodeWindow(KeyCode, Shift);
}

void frmImmediate::onReportKeyUp(int &KeyCode, int)
{
    if (KeyCode != VkApps)
        return;
    int x = 0, y = 0;
    m_report->DocToDevice(m_report->CaretX(), m_report->CaretY(), x, y);
    ShowReportMenu(x, y);
}

// Pasted text is typed text: refused outside a suspended session, and the lines it lands
// on become command lines. Every paste reaches here, whether the view runs it for a key
// or the pane for the command.
void frmImmediate::onIOBeforeCommand(int &command)
{
    if (command != SourceView::CmdPaste || m_pasting)
        return;
    command = 0;
    if (sessionState() == SuspendedState)
        pasteIntoIO();
}

void frmImmediate::pasteIntoIO()
{
    int c1 = 0, l1 = 0, c2 = 0, l2 = 0;
    m_io->GetSel(c1, l1, c2, l2);
    const int first = std::min(l1, l2);
    m_pasting = true;
    m_io->ExecuteCommand(SourceView::CmdPaste);
    m_pasting = false;
    for (int line = first; line <= m_io->CaretLine(); ++line)
        markCommandLine(line);
}

// --- mouse -----------------------------------------------------------------------------------------

void frmImmediate::onIOMouseDown(int Button, int Shift, int X, int Y)
{
    m_mouseButton = Button;
    m_mouseShift = Shift;
    m_mouseX = X;
    m_mouseY = Y;
}

// A click in the margin: left of its last cell toggles the line's bookmark, in the last
// cell (the line-selection strip) selects the line. A click in the text is the view's.
void frmImmediate::onIOClick()
{
    int column = 0, line = 0;
    m_io->DeviceToDocPos(m_mouseX, m_mouseY, column, line);
    if (column == 0) {
        m_io->Document()->ToggleBookmark(line - 1);
        m_io->SetCaret(0, line - 1);
    } else if (column == -1 && m_mouseShift == 0) {
        m_io->SetSel(0, line - 1, 0, line);
    }
}

// --- context menus and printing ---------------------------------------------------------------------

void frmImmediate::ShowExecuteMenu(int x, int y)
{
    IMainWindow *main = mainWindow();
    if (!main)
        return;
    const bool clipboard = clipboardHasText();
    main->setMenuItemEnabled(QStringLiteral("mnuPopImmedCut"), commandRule(QStringLiteral("Edit"), QStringLiteral("EdCut"), clipboard).enabled);
    main->setMenuItemEnabled(QStringLiteral("mnuPopImmedCopy"), commandRule(QStringLiteral("Edit"), QStringLiteral("EdCopy"), clipboard).enabled);
    main->setMenuItemEnabled(QStringLiteral("mnuPopImmedPaste"), commandRule(QStringLiteral("Edit"), QStringLiteral("EdPaste"), clipboard).enabled);
    main->setMenuItemChecked(QStringLiteral("mnuPopImmedWrap"), m_wrapIO);
    const QPoint at = QPoint(x, y) + QPoint(m_io->frameWidth(), m_io->frameWidth());
    main->popUpMenu(QStringLiteral("mnuPopImmed"), m_io, at, QString());
}

void frmImmediate::ShowReportMenu(int x, int y)
{
    IMainWindow *main = mainWindow();
    if (!main)
        return;
    main->setMenuItemEnabled(QStringLiteral("mnuPopReportCopy"),
                             commandRule(QStringLiteral("Edit"), QStringLiteral("EdCopy"), clipboardHasText()).enabled);
    main->setMenuItemChecked(QStringLiteral("mnuPopReportWrap"), m_wrapReport);
    const QPoint at = QPoint(x, y) + QPoint(m_report->frameWidth(), m_report->frameWidth());
    main->popUpMenu(QStringLiteral("mnuPopReport"), m_report, at, QString());
}

// The print dialog is modal, so the main window takes no input meanwhile; it is not
// disabled as well, since that would disable the dialog with it.
void frmImmediate::print(SourceView *view)
{
    QPointer<frmImmediate> self(this);
    view->PrintText();
    if (!self)
        return;
    setFocus();
    view->setFocus();
}
