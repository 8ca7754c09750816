// What the code window offers about the code under the pointer or the caret: hover tips
// (asked of the Parse Engine, answered by it, by an open routine or by the server), the
// jump target of an extrinsic call, and the context menus.
#include "frmcode.h"

#include "idoclink.h"
#include "imainwindow.h"
#include "itipwindow.h"
#include "linedata.h"
#include "routine.h"
#include "routines.h"
#include "sourceview.h"
#include "vanngine.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

// An M string literal: quotes inside are doubled, so a name can never end the literal
// early and change the code the server runs.
QString mString(const QString &text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

void showItem(IMainWindow *main, const char *item, bool visible)
{
    main->setMenuItemVisible(QLatin1String(item), visible);
}

void enableItem(IMainWindow *main, const char *item, bool enabled)
{
    main->setMenuItemEnabled(QLatin1String(item), enabled);
}

} // namespace

int frmCode::serialOfLine(int line) const
{
    if (line < 0 || line >= m_doc.NumLines())
        return 0;
    return m_doc.GetLineData(line, LineData::kSerialSlot);
}

// --- hover tips -----------------------------------------------------------------------------

void frmCode::askTip(int x, int y)
{
    if (!m_tip)
        return;
    int column = 0, line = 0;
    if (m_view->DeviceToDocPos(x, y, column, line)) {
        m_tip->SetText(QString(), QString());
        return;
    }
    IMainWindow *main = mainWindow();
    if (column <= 0 || column > m_doc.GetLineLength(line - 1)) {
        m_tip->setTipFont(main ? main->dialogFont() : font());
        m_tip->SetText(QStringLiteral("Line <b1>") + (m_routine ? m_routine->LabelPlusOffsetOfLine(line) : QString()),
                       QString());
        m_tip->NotifyMove();
        return;
    }

    QString request, key;
    const bool busy = main ? main->MBusy() : (docServices().host && docServices().host->MBusy());
    if (!busy && m_engine) {
        const QString reply = m_engine->MDo2(QStringLiteral("Pos2Tip^PARSE"), serialOfLine(line - 1), column);
        if (!reply.startsWith(QLatin1String("ERROR:"))) {
            const int nul = reply.indexOf(QChar(0));
            request = nul < 0 ? reply : reply.left(nul);
            key = nul < 0 ? QString() : reply.mid(nul + 1);
        }
        if (main && main->MState() == 2 && request.startsWith(QLatin1Char('=')))
            request.clear();
    }

    if (request.isEmpty()) {
        m_tip->SetText(QString(), QString());
    } else if (m_tip->TipID() != key) {
        m_tip->setTipFont(m_view->Font());
        // Asked of the server of the routine's own session only: a routine kept from a
        // session that has ended asks no other server about its values.
        const LinkSession session = m_routine ? m_routine->session() : LinkSession();
        if (request.startsWith(QLatin1Char('='))) {
            const QString expression = request.mid(1);
            m_tip->SetText(expression, key);
            session.Send({QStringLiteral("TIP"), key, expression});
        } else if (!request.startsWith(QLatin1String("$$"))) {
            m_tip->SetText(request, key);
        } else {
            const QString reference = request.mid(2);
            m_tip->SetText(reference, key);
            const int caret = reference.indexOf(QLatin1Char('^'));
            QString label = caret < 0 ? reference : reference.left(caret);
            const QString rtn = caret < 0 ? (m_routine ? m_routine->Rtn() : QString()) : reference.mid(caret + 1);
            const QString env = m_routine ? m_routine->Env() : QString();
            const int typ = m_routine ? m_routine->Typ() : 0;
            auto other = Routine::from(routineCollection().Item(Routine::KeyFor(rtn, env, typ)));
            if (!other) {
                if (label.isEmpty())
                    label = QStringLiteral("+1");
                session.Send({QStringLiteral("TIP$"), key,
                              QStringLiteral("$$GetTEXT^%VantreU(") + mString(label) + QLatin1Char(',')
                                  + mString(rtn) + QLatin1Char(',') + mString(env) + QLatin1Char(')')});
            } else {
                const int target = label.isEmpty() ? 1 : other->LineOfLabel(label);
                QString text = target ? other->TextOfLine(target) : QString();
                const int tab = text.indexOf(QLatin1Char('\t'));
                if (tab >= 0)
                    text[tab] = QLatin1Char(' ');
                SetTip(key, text);
            }
        }
    }
    m_tip->NotifyMove();
}

// --- jump target ----------------------------------------------------------------------------

void frmCode::JumpTarget(QString &target, QString &display, int line, int column)
{
    if (line == 0) {
        line = m_view->CaretLine() + 1;
        column = m_view->CaretColumn() + 1;
    }
    const QString reply = m_engine ? m_engine->MDo2(QStringLiteral("Pos2Tip^PARSE"), serialOfLine(line - 1), column)
                                   : QString();
    target = reply.section(QChar(0), 0, 0);
    if (!target.startsWith(QLatin1String("$$"))) {
        target.clear();
        display.clear();
        return;
    }
    target = target.mid(2);
    display = target;
    if (!target.contains(QLatin1Char('^')))
        target += QLatin1Char('^') + (m_routine ? m_routine->Rtn() : QString());
    target += QLatin1Char('^') + (m_routine ? m_routine->Env() : QString());
}

// --- context menus --------------------------------------------------------------------------

void frmCode::ShowContextMenu(int x, int y)
{
    IMainWindow *main = mainWindow();
    if (!main)
        return;
    int column = 0, line = 0;
    m_view->DeviceToDocPos(x, y, column, line);
    const QPoint at = QPoint(x, y) + QPoint(m_view->frameWidth(), m_view->frameWidth());
    // The hover tip would stay drawn over the menu while the menu holds the mouse.
    ClearTip();
    if (column >= 1) {
        prepareCodeMenu(line, column);
        main->popUpMenu(QStringLiteral("mnuPopCode"), m_view, at, QString());
    } else if (column == 0) {
        prepareMarginMenu(line);
        main->popUpMenu(QStringLiteral("mnuPopCMgn"), m_view, at, QStringLiteral("mnuPopCMgnBP"));
    }
}

void frmCode::prepareCodeMenu(int line, int column)
{
    IMainWindow *main = mainWindow();

    QString target, display;
    JumpTarget(target, display, line, column);
    const bool jump = !target.isEmpty();
    showItem(main, "mnuPopCodeGoto", jump);
    if (jump) {
        main->setMenuItemTag(QStringLiteral("mnuPopCodeGoto"), target);
        const bool local = !display.contains(QLatin1Char('^'));
        main->setMenuItemCaption(QStringLiteral("mnuPopCodeGoto"),
                                 (local ? QStringLiteral("&Jump to '") : QStringLiteral("&Show Code at '"))
                                     + display + QLatin1Char('\''));
        showItem(main, "mnuPopCodeGoEdit", !local);
    } else {
        showItem(main, "mnuPopCodeGoEdit", false);
    }

    const QString newest = main->newestHistoryEntry();
    const bool back = !newest.isEmpty();
    if (back) {
        QString place = newest.left(newest.lastIndexOf(QLatin1Char('^')));
        if (m_routine && place.section(QLatin1Char('^'), 1) == m_routine->Rtn())
            place = place.section(QLatin1Char('^'), 0, 0);
        main->setMenuItemCaption(QStringLiteral("mnuPopCodeGoBack"),
                                 QStringLiteral("Back to Code at '") + place + QLatin1Char('\''));
        main->setMenuItemTag(QStringLiteral("mnuPopCodeGoBack"), newest);
    }
    showItem(main, "mnuPopCodeGoBack", back);
    showItem(main, "mnuPopCodeSep1", jump || back);

    int command = m_routine ? m_routine->CommandOfPos(line, column) : 0;
    if (command == 0 && LineHasCommand(line))
        command = 1;
    m_menuLine = line;
    m_menuCommand = command;
    const BreakpointPtr bp = m_routine ? m_routine->BPAtCmdOnLine(line, command) : nullptr;
    showItem(main, "mnuPopCodeBPSet", !bp);
    showItem(main, "mnuPopCodeBPClr", bool(bp));
    showItem(main, "mnuPopCodeBPDis", bp && bp->Enabled);
    showItem(main, "mnuPopCodeBPEna", bp && !bp->Enabled);
    if (!bp) {
        IDocLink *link = m_routine ? m_routine->MLink() : nullptr;
        const bool xecute = !m_routine || m_routine->Rtn().startsWith(QLatin1Char('@'));
        enableItem(main, "mnuPopCodeBPSet",
                   !xecute && command >= 1 && (command == 1 || (link && link->HasFeature(16))));
    }

    const bool blocks = CodeCollapsing();
    for (const char *item : {"mnuPopCodeSep3", "mnuPopCodeBlkCollapse", "mnuPopCodeBlkExpand",
                             "mnuPopCodeBlkCollapseAll", "mnuPopCodeBlkExpandAll"})
        showItem(main, item, blocks);
    if (blocks) {
        enableItem(main, "mnuPopCodeBlkCollapse", blockCommandEnabled(false));
        enableItem(main, "mnuPopCodeBlkExpand", blockCommandEnabled(true));
    }

    const bool selection = m_view->HasSelection();
    const bool writable = !m_doc.ReadOnly();
    const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
    enableItem(main, "mnuPopCodeCut", selection && writable);
    enableItem(main, "mnuPopCodeCopy", selection);
    enableItem(main, "mnuPopCodePaste", writable && clip && clip->hasText());
}

void frmCode::prepareMarginMenu(int line)
{
    IMainWindow *main = mainWindow();
    const int caret = m_view->CaretLine();
    main->setMenuItemChecked(QStringLiteral("mnuPopCMgnBM"),
                             m_doc.GetLineData(caret, LineData::kControlSlot) & LineData::kBookmark);
    enableItem(main, "mnuPopCMgnBP", LineHasCommand(line));
    main->setMenuItemChecked(QStringLiteral("mnuPopCMgnBP"),
                             m_routine && m_routine->BPAtCmdOnLine(line, 1) != nullptr);
    m_menuLine = line;
    m_menuCommand = 1;
}

// Collapse needs the caret in a block that is not collapsed; expand a collapsed header.
bool frmCode::blockCommandEnabled(bool expand) const
{
    if (!CodeCollapsing())
        return false;
    const int bits = m_doc.GetLineData(m_view->CaretLine(), LineData::kControlSlot);
    const bool collapsedHeader = (bits & LineData::kBlockHeader) && (bits & LineData::kBlockCollapsed);
    if (expand)
        return collapsedHeader;
    return (bits & LineData::kBlockBits) && !collapsedHeader;
}
