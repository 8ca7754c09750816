// What the code windows ask of the main window: their place in the document area, the
// menu items they tick and fill, the preserved documents and the way back.
#include "frmmdi.h"

#include "command.h"
#include "commandmanager.h"
#include "commandui.h"
#include "mdihost.h"
#include "navigationhistory.h"
#include "programsettings.h"
#include "routinenavigator.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>


QMdiSubWindow *frmMDI::addDocumentWindow(QWidget *content)
{
    return m_mdi->addWindow(content);
}

void frmMDI::NextChild()
{
    m_mdi->area()->activateNextSubWindow();
}

void frmMDI::PreviousChild()
{
    m_mdi->area()->activatePreviousSubWindow();
}

// The View menu's items are the settings the main window saves; every other item is
// kept by name until the menus are built on it.
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
    return m_menuItems.value(name).checked;
}

void frmMDI::setMenuItemChecked(const QString &name, bool checked)
{
    if (bool *tick = viewTick(name))
        *tick = checked;
    else
        m_menuItems[name].checked = checked;
}

bool frmMDI::menuItemEnabled(const QString &name) const
{
    return m_menuItems.value(name).enabled;
}

void frmMDI::setMenuItemEnabled(const QString &name, bool enabled)
{
    m_menuItems[name].enabled = enabled;
}

bool frmMDI::menuItemVisible(const QString &name) const
{
    return m_menuItems.value(name).visible;
}

void frmMDI::setMenuItemVisible(const QString &name, bool visible)
{
    m_menuItems[name].visible = visible;
}

void frmMDI::setMenuItemCaption(const QString &name, const QString &caption)
{
    m_menuItems[name].caption = caption;
}

void frmMDI::setMenuItemTag(const QString &name, const QString &tag)
{
    m_menuItems[name].tag = tag;
}

// Shows the items of that menu the window prepared, in the order of their names; what
// they do comes with the menus.
void frmMDI::popUpMenu(const QString &menu, QWidget *owner, const QPoint &point, const QString &defaultItem)
{
    if (!owner)
        return;
    QMenu popup(this);
    QStringList names = m_menuItems.keys();
    names.sort();
    for (const QString &name : names) {
        const MenuItemState &item = m_menuItems[name];
        if (!name.startsWith(menu) || !item.visible || item.caption.isEmpty())
            continue;
        QAction *action = popup.addAction(item.caption);
        action->setEnabled(item.enabled);
        action->setCheckable(item.checked);
        action->setChecked(item.checked);
        if (name == defaultItem)
            popup.setDefaultAction(action);
    }
    if (!popup.isEmpty())
        popup.exec(owner->mapToGlobal(point));
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
