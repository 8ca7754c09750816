// What the code windows ask of the main window: their place in the document area, the
// menu items they tick and fill, the preserved documents and the way back.
#include "frmmdi.h"

#include "command.h"
#include "commandmanager.h"
#include "commandui.h"
#include "mainmenus.h"
#include "mdihost.h"
#include "navigationhistory.h"
#include "programsettings.h"
#include "routinenavigator.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>


QMdiSubWindow *frmMDI::addDocumentWindow(QWidget *content)
{
    // A document window that takes commands is offered them first while it is active.
    if (auto *router = dynamic_cast<ICommandRouter *>(content))
        m_cmdMgr->registerChildForm(content, router);
    return m_mdi->addWindow(content);
}

void frmMDI::NextChild()
{
    m_menus->nextChild();
}

void frmMDI::PreviousChild()
{
    m_menus->previousChild();
}

QAction *frmMDI::menuItem(const QString &name) const
{
    return m_menus ? m_menus->item(name) : nullptr;
}

// The View menu's ticks are the settings the main window saves; the items show them.
bool *frmMDI::viewTick(const QString &name)
{
    if (name == QLatin1String("mnuViewWrap"))
        return &m_codeWrap;
    if (name == QLatin1String("mnuViewRich"))
        return &m_viewRich;
    if (name == QLatin1String("mnuViewBlocks"))
        return &m_viewBlocks;
    return nullptr;
}

bool frmMDI::menuItemChecked(const QString &name) const
{
    if (const bool *tick = const_cast<frmMDI *>(this)->viewTick(name))
        return *tick;
    const QAction *item = menuItem(name);
    return item && item->isChecked();
}

void frmMDI::setMenuItemChecked(const QString &name, bool checked)
{
    if (bool *tick = viewTick(name))
        *tick = checked;
    if (QAction *item = menuItem(name)) {
        if (checked)
            item->setCheckable(true);
        item->setChecked(checked);
    }
}

bool frmMDI::menuItemEnabled(const QString &name) const
{
    const QAction *item = menuItem(name);
    return !item || item->isEnabled();
}

void frmMDI::setMenuItemEnabled(const QString &name, bool enabled)
{
    if (QAction *item = menuItem(name))
        item->setEnabled(enabled);
}

bool frmMDI::menuItemVisible(const QString &name) const
{
    const QAction *item = menuItem(name);
    return !item || item->isVisible();
}

void frmMDI::setMenuItemVisible(const QString &name, bool visible)
{
    if (QAction *item = menuItem(name))
        item->setVisible(visible);
}

void frmMDI::setMenuItemCaption(const QString &name, const QString &caption)
{
    if (QAction *item = menuItem(name))
        item->setText(caption);
}

void frmMDI::setMenuItemTag(const QString &name, const QString &tag)
{
    MainMenus::setTag(menuItem(name), tag);
}

void frmMDI::popUpMenu(const QString &menu, QWidget *owner, const QPoint &point, const QString &defaultItem)
{
    m_menus->popUp(menu, owner, point, defaultItem);
}

// While a helper object is set by name on the window, the go-to box takes the code
// windows' keys (the window's own code never sets it).
bool frmMDI::goToBoxActive() const
{
    return m_otxCBHelper != nullptr;
}

namespace {

QLineEdit *goToEdit(CommandManager *manager)
{
    Command *cmd = manager ? manager->command(QStringLiteral("EdGoto")) : nullptr;
    if (!cmd)
        return nullptr;
    for (CommandUI *ui : cmd->uiObjects()) {
        if (ui && ui->combo() && ui->combo()->lineEdit())
            return ui->combo()->lineEdit();
    }
    return nullptr;
}

} // namespace

void frmMDI::goToBoxKeyDown(int keyCode)
{
    if (QLineEdit *edit = goToEdit(m_cmdMgr)) {
        // Virtual-key codes of letters and digits are Qt's key codes; the rest are the
        // keys a text box acts on.
        int key = keyCode;
        switch (keyCode) {
        case 8: key = Qt::Key_Backspace; break;
        case 13: key = Qt::Key_Return; break;
        case 27: key = Qt::Key_Escape; break;
        case 35: key = Qt::Key_End; break;
        case 36: key = Qt::Key_Home; break;
        case 37: key = Qt::Key_Left; break;
        case 39: key = Qt::Key_Right; break;
        case 46: key = Qt::Key_Delete; break;
        default: break;
        }
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &press);
    }
}

void frmMDI::goToBoxKeyPress(int keyAscii)
{
    if (keyAscii < 32)
        return;
    if (QLineEdit *edit = goToEdit(m_cmdMgr))
        edit->insert(QString(QChar(keyAscii)));
}

void frmMDI::clearGoToLists()
{
    Command *cmd = m_cmdMgr ? m_cmdMgr->command(QStringLiteral("EdGoto")) : nullptr;
    if (!cmd)
        return;
    for (CommandUI *ui : cmd->uiObjects()) {
        if (ui && ui->combo())
            ui->combo()->clear();
    }
}

bool frmMDI::isPreservedDocument(const IRoutineDoc *doc) const
{
    for (const RoutineDocPtr &kept : m_preserved) {
        if (kept.get() == doc)
            return true;
    }
    return false;
}

void frmMDI::releasePreservedDocument(const IRoutineDoc *doc)
{
    for (int i = 1; i <= m_preserved.count(); ++i) {
        if (m_preserved.item(i).get() == doc) {
            m_preserved.remove(i);
            return;
        }
    }
}

void frmMDI::ShowAtTag(const QString &target, bool recordIt, bool editable)
{
    m_navigator->ShowAtTag(target, recordIt, editable);
}

bool frmMDI::ShowRoutine(const QString &rtn, const QString &env, int level, const QString &target,
                         bool activate, int type)
{
    RoutineDocPtr doc;
    return m_navigator->ShowRoutine(rtn, env, level, target, activate, type, doc);
}

QString frmMDI::newestHistoryEntry() const
{
    return m_navigator->history().newest().text;
}

void frmMDI::ClearAllTips()
{
    m_navigator->ClearAllTips();
}

QFont frmMDI::dialogFont() const
{
    return programSettings().dialogFont;
}

QFont frmMDI::codeFont() const
{
    return programSettings().codeFont;
}
