// The code window's switches (wrap, colouring, collapsing, read-only, frozen), its
// caption and its commands of its own: run to cursor, centring, the tip answers and the
// close check.
#include "frmcode.h"

#include "codeicons.h"
#include "codestatusbar.h"
#include "codestatuspanel.h"
#include "idoclink.h"
#include "imainwindow.h"
#include "lineedits.h"
#include "routine.h"
#include "routines.h"
#include "sourceview.h"
#include "itipwindow.h"
#include "userprompt.h"
#include "vanngine.h"
#include "vantrelerror.h"

#include <QPointer>

namespace {

void tickMenu(const char *item, bool checked)
{
    if (IMainWindow *main = mainWindow())
        main->setMenuItemChecked(QLatin1String(item), checked);
}

void enableMenu(const char *item, bool enabled)
{
    if (IMainWindow *main = mainWindow())
        main->setMenuItemEnabled(QLatin1String(item), enabled);
}

bool menuTicked(const char *item)
{
    IMainWindow *main = mainWindow();
    return main && main->menuItemChecked(QLatin1String(item));
}

} // namespace

bool frmCode::LineWrap() const
{
    return m_view->ViewOptions() & SourceView::kWrap;
}

void frmCode::setLineWrap(bool value)
{
    int c1, l1, c2, l2;
    m_view->GetSelection(c1, l1, c2, l2);
    const int column = m_view->CaretColumn(), line = m_view->CaretLine();
    if (value) {
        m_view->ModifyViewOptions(SourceView::kWrap, 0);
        m_view->SetScrollBarStyle(SourceView::kVerticalScrollBar);
    } else {
        m_view->ModifyViewOptions(0, SourceView::kWrap);
        m_view->SetScrollBarStyle(SourceView::kVerticalScrollBar | SourceView::kHorizontalScrollBar);
    }
    m_status->panel(QStringLiteral("Wrap"))->setPanelEnabled(value);
    m_view->SetCaret(column, line);
    m_view->ShowLines(line, line);
    m_view->SetSelection(c1, l1, c2, l2);
    tickMenu("mnuViewWrap", value);
}

void frmCode::setRichSource(bool value)
{
    const bool before = m_lex.Enabled();
    CodeStatusPanel *parse = m_status->panel(QStringLiteral("Parse"));
    CodeStatusPanel *blocks = m_status->panel(QStringLiteral("Blocks"));
    if (!m_lex.CanEnable()) {
        parse->hide();
    } else if (value) {
        m_lex.setEnabled(true);
        parse->show();
        parse->setPanelEnabled(true);
        tickMenu("mnuViewRich", true);
        blocks->setAutoSize(CodeStatusPanel::ContentsAutoSize);
        enableMenu("mnuViewBlocks", true);
        setCodeCollapsing(menuTicked("mnuViewBlocks"));
    } else {
        m_lex.setEnabled(false);
        parse->show();
        parse->setPanelEnabled(false);
        tickMenu("mnuViewRich", false);
        blocks->setAutoSize(CodeStatusPanel::NoAutoSize);
        enableMenu("mnuViewBlocks", false);
        // The Blocks tick stays for when colouring comes back.
        m_doc.setCollapsingEnabled(false);
    }
    if (m_lex.Enabled() != before)
        m_doc.UpdateViews(8, 0, 0, 0, 0);
}

void frmCode::setCodeCollapsing(bool value)
{
    CodeStatusPanel *blocks = m_status->panel(QStringLiteral("Blocks"));
    if (!RichSource()) {
        blocks->setAutoSize(CodeStatusPanel::NoAutoSize);
        return;
    }
    // This window's document only: the settings object is shared by every window.
    m_doc.setCollapsingEnabled(value);
    blocks->setPanelEnabled(value);
    tickMenu("mnuViewBlocks", value);
}

void frmCode::setCodeFont(const QFont &font)
{
    m_view->SetFont(font);
}

void frmCode::setReadOnly(bool value)
{
    if (!value && m_frozen)
        throw VantrelError(Routine::ReadOnlyIdentity,
                           QStringLiteral("ReadOnly property is read-only while Frozen is true"));
    m_doc.SetReadOnly(value);
    showEditState();
}

void frmCode::showEditState()
{
    const bool readOnly = m_doc.ReadOnly();
    m_status->panel(QStringLiteral("Edit"))
        ->setPanelText(!readOnly ? QStringLiteral("Edit ")
                                 : m_frozen ? QStringLiteral("Frozen") : QStringLiteral("Read "));
    m_status->panel(QStringLiteral("Overwrite"))->setVisible(!readOnly);
    m_status->panel(QStringLiteral("Modified"))->setVisible(!readOnly);
}

void frmCode::setFrozen(bool value)
{
    if (value == m_frozen)
        return;
    if (value) {
        m_readOnlyBeforeFreeze = ReadOnly();
        m_frozen = true;
        if (!m_readOnlyBeforeFreeze)
            setReadOnly(true);
    } else {
        m_frozen = false;
        if (!m_readOnlyBeforeFreeze)
            setReadOnly(false);
    }
    RefreshCaption();
}

bool frmCode::LineHasCommand(int line)
{
    if (line < 1 || line > m_doc.NumLines())
        return false;
    return LineEdits::hasCommand(m_doc.GetLine(line - 1));
}

void frmCode::RunToCursor()
{
    // Only the program of the routine's own session runs to its lines: a routine kept from
    // a session that has ended is not the code the next server's process runs.
    if (!m_routine || !m_routine->session().isCurrent())
        return;
    // The questions below run an event loop: the session may end under them, taking this
    // window with it (an unmodified routine is closed) or leaving it as a preserved copy,
    // and the next server connect. Whoever answers then answers a question that no longer
    // stands; nothing more is done.
    const LinkSession session = m_routine->session();
    const QPointer<frmCode> self(this);
    int line = m_view->CaretLine() + 1;
    const int lines = m_doc.NumLines();
    if (!LineHasCommand(line)) {
        IUserPrompt::Question q;
        if (line == lines) {
            tellUser(QStringLiteral("Line contains no executable command."), QString(),
                     IUserPrompt::Icon::Information);
            return;
        }
        q.text = QStringLiteral("Line contains no executable command. Run to next suitable line?");
        q.buttons = IUserPrompt::Buttons::YesNo;
        q.icon = IUserPrompt::Icon::Question;
        if (userPrompt().ask(q) != IUserPrompt::Answer::Yes || !self || !session.isCurrent())
            return;
        int found = 0;
        for (int next = line + 1; next <= lines && !found; ++next)
            if (LineHasCommand(next))
                found = next;
        if (!found) {
            tellUser(QStringLiteral("No suitable line located."), QString(), IUserPrompt::Icon::Information);
            return;
        }
        line = found;
        m_view->SetCaret(0, line - 1);
    }
    IMainWindow *main = mainWindow();
    if (main)
        main->setMState(-4);
    session.Send({QStringLiteral("GO"), QStringLiteral("+%1").arg(line), m_routine->Rtn()});
    if (main)
        main->StatusText(QStringLiteral("Running to cursor"));
}

void frmCode::CentreCaretLine()
{
    if (m_view->ScrollHeld())
        return;
    int column = 0, first = 0;
    m_view->GetScrollPosition(column, first);
    first = std::max(0, m_view->CaretLine() - m_visibleLines / 2);
    m_view->SetScrollPosition(column, first);
}

void frmCode::SetTip(const QString &tipId, const QString &tipText)
{
    if (!m_tip || m_tip->TipID() != tipId)
        return;   // the pointer has moved on
    QString text = tipText;
    const int paren = tipId.indexOf(QLatin1Char('('));
    if (paren >= 0 && m_engine)
        text = m_engine->MDo2(tipId.left(paren), tipId.mid(paren + 1), tipText);
    m_tip->SetText(text, tipId);
}

void frmCode::ClearTip()
{
    if (m_tip)
        m_tip->SetText(QString(), QString());
}

void frmCode::RefreshCaption()
{
    if (!m_routine)
        return;
    const QString rtn = m_routine->Rtn();
    const QString env = m_routine->Env();
    QString caption, pathName;
    if (rtn.startsWith(QLatin1Char('@'))) {
        caption = pathName = QStringLiteral("*Xecute ") + rtn;
    } else {
        const QString name = m_routine->DisplayName();
        if (m_doc.Modified())
            caption = QStringLiteral("*");
        caption += name;
        if (m_frozen)
            caption += QStringLiteral(" (frozen)");
        if (env.isEmpty()) {
            pathName = name;
        } else {
            pathName = name + QStringLiteral(" from ") + env;
            IDocLink *link = m_routine->MLink();
            if (!link || env != link->Env())
                caption += QStringLiteral(" from ") + env;
        }
    }
    IDocLink *link = m_routine->MLink();
    const bool typed = link && link->Brand() == QLatin1String("CACHE");
    m_iconNumber = CodeIcons::number(m_routine->TarvikStatus(), m_routine->Typ(), typed);
    setWindowIcon(CodeIcons::icon(m_iconNumber));
    setWindowTitle(caption);
    m_doc.SetPathName(pathName);
}

void frmCode::PrintSource()
{
    m_view->PrintText();
}

bool frmCode::OkayToUnload()
{
    if (!m_routine)
        return true;
    // A routine of the call stack stays loaded for the stack display; closing only hides it.
    if (m_routine->HighWaterMark() >= 1) {
        m_routine->setVisible(false);
        return false;
    }
    const QString key = m_routine->Key();
    IMainWindow *main = mainWindow();
    if (main && main->isPreservedDocument(m_routine)) {
        IUserPrompt::Question q;
        q.text = QStringLiteral("This document preserves unsaved edits from a connection lost earlier. "
                                "Before closing it you may want to re-establish the connection, re-open "
                                "the routine and re-apply your changes using Copy and Paste.\r\r"
                                "Are you sure you are ready to close it?");
        q.buttons = IUserPrompt::Buttons::YesNo;
        q.icon = IUserPrompt::Icon::Exclamation;
        q.defaultAnswer = IUserPrompt::Answer::No;
        if (userPrompt().ask(q) != IUserPrompt::Answer::Yes)
            return false;
        const IRoutineDoc *doc = m_routine;
        m_routine->CloseDoc(true);
        // The collection held the document's last reference: this window may be gone now.
        main->releasePreservedDocument(doc);
        return true;
    }
    const bool frozen = m_frozen;
    // A closed document ends this window: nothing of it is touched after this call.
    return routineCollection().Remove(key, frozen, false);
}
