#include "edgotohelper.h"

#include "command.h"
#include "commandmanager.h"
#include "commandui.h"
#include "frmcode.h"
#include "imainwindow.h"
#include "routine.h"
#include "routines.h"
#include "sourcelex.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// The main window's property that names the helper of the box holding the focus.
constexpr const char *kHelperProperty = "OtxCBHelper";

QObject *mainWindowObject()
{
    QObject *main = dynamic_cast<QObject *>(mainWindow());
    if (main && main->metaObject()->indexOfProperty(kHelperProperty) >= 0)
        return main;
    return nullptr;
}

} // namespace

EdGotoHelper::EdGotoHelper(CommandUI *commandUI, QComboBox *combo)
    : QObject(combo)
    , m_commandUI(commandUI)
{
    setCombo(combo);
}

QComboBox *EdGotoHelper::Combo() const
{
    return qobject_cast<QComboBox *>(m_combo.data());
}

void EdGotoHelper::setCombo(QComboBox *combo)
{
    if (QObject *old = m_combo) {
        old->removeEventFilter(this);
        if (m_edit)
            m_edit->removeEventFilter(this);
        disconnect(old, nullptr, this, nullptr);
    }
    m_combo = combo;
    m_edit = nullptr;
    if (!combo)
        return;
    // An editable box completes inline and adds what Enter confirms, both of its own
    // accord; here the helper does the one and nothing does the other.
    combo->setEditable(true);
    combo->setCompleter(nullptr);
    combo->setInsertPolicy(QComboBox::NoInsert);
    // The box has the focus and hands its keys to the line edit; the main window sends
    // keys to the line edit directly. Each key passes exactly one of the two filters.
    combo->installEventFilter(this);
    m_edit = combo->lineEdit();
    if (m_edit)
        m_edit->installEventFilter(this);
    connect(combo, &QComboBox::editTextChanged, this, &EdGotoHelper::Combo_Change);
}

QLineEdit *EdGotoHelper::edit() const
{
    return Combo() ? qobject_cast<QLineEdit *>(m_edit.data()) : nullptr;
}

void EdGotoHelper::KeyPress(int keyAscii)
{
    if (keyAscii != 13 || !m_commandUI)
        return;
    Command *cmd = m_commandUI->command();
    if (!cmd)
        return;
    // Asked afresh, as a tool-bar click would: the flag may be a refresh old.
    if (auto *manager = qobject_cast<CommandManager *>(cmd->parent())) {
        manager->refresh(*cmd);
        manager->execute(*cmd, m_commandUI);
    } else {
        cmd->execute(m_commandUI);
    }
}

bool EdGotoHelper::eventFilter(QObject *watched, QEvent *event)
{
    // Compared as plain objects first: the box may be half destroyed when its last
    // events come. Losing the focus then still concerns the main window, which must not
    // keep naming this helper; nothing else may touch the box.
    if (watched != m_combo && watched != m_edit)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut && watched == m_combo)
        Combo_LostFocus();
    if (!Combo())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn:
        if (watched == m_combo)
            Combo_GotFocus();
        break;
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            KeyPress(13);
            return true;
        }
        if (Combo_KeyDown(key->key()))
            return true;
        if (!key->text().isEmpty())
            Combo_KeyPress(key->text().at(0));
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void EdGotoHelper::announceToMainWindow(bool focused)
{
    QObject *main = mainWindowObject();
    if (!main)
        return;
    if (focused)
        main->setProperty(kHelperProperty, QVariant::fromValue<QObject *>(this));
    else if (main->property(kHelperProperty).value<QObject *>() == this)
        main->setProperty(kHelperProperty, QVariant::fromValue<QObject *>(nullptr));
}

void EdGotoHelper::Combo_GotFocus()
{
    announceToMainWindow(true);
    if (Combo()->count() == 0)
        fillLabels();
}

void EdGotoHelper::Combo_LostFocus()
{
    announceToMainWindow(false);
}

void EdGotoHelper::fillLabels()
{
    auto routine = Routine::from(frmCode::routineCollection().Active());
    if (!routine || !routine->lexer())
        return;
    QLineEdit *line = edit();
    const QString text = line ? line->text() : QString();
    const int caret = line ? line->cursorPosition() : 0;
    // The first item added would become the box's text.
    m_settingText = true;
    for (const auto &entry : routine->Labels().entries())
        Combo()->addItem(entry.first);
    Combo()->setCurrentIndex(-1);
    Combo()->setEditText(text);
    m_settingText = false;
    if (line)
        line->setCursorPosition(caret);
}

bool EdGotoHelper::Combo_KeyDown(int key)
{
    QLineEdit *line = edit();
    if (key == Qt::Key_Delete) {
        mNoComplete = true;
        return false;
    }
    // Only the change of the Delete key itself goes uncompleted, even when it changed
    // nothing (Delete at the end of the text).
    mNoComplete = false;
    if (key != Qt::Key_Backspace || !line)
        return false;
    QString text = line->text();
    int start = line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
    const int length = line->hasSelectedText() ? int(line->selectedText().size()) : 0;
    if (length > 0) {
        text.remove(start, length);
    } else if (start >= 1) {
        text.remove(start - 1, 1);
        --start;
    }
    setText(text);
    line->setCursorPosition(start);
    return true;
}

void EdGotoHelper::Combo_KeyPress(QChar character)
{
    QLineEdit *line = edit();
    if (line && (character == QLatin1Char('+') || character == QLatin1Char('-')) && line->hasSelectedText()) {
        const int start = line->selectionStart();
        const int end = start + int(line->selectedText().size());
        if (start > 0 && end == line->text().size())
            line->setCursorPosition(int(line->text().size()));
    }
    KeyPress(character.unicode());
}

void EdGotoHelper::Combo_Change()
{
    if (m_settingText || !Combo())
        return;
    if (mNoComplete) {
        mNoComplete = false;
        return;
    }
    QLineEdit *line = edit();
    if (!line)
        return;
    const QString text = line->text();
    const int start = line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
    if (start < text.size())
        return;
    QString t = text;
    for (QChar sign : {QLatin1Char('+'), QLatin1Char('-')}) {
        const int at = t.indexOf(sign);
        if (at >= 0)
            t.truncate(at);
    }
    if (t.isEmpty())
        return;
    const int found = completionOf(t);
    if (found < 0) {
        line->selectAll();
        frmCode::Beep();
        return;
    }
    const QString item = Combo()->itemText(found);
    if (item.size() > t.size()) {
        setText(item);
        line->setSelection(int(t.size()), int(item.size() - t.size()));
    }
}

int EdGotoHelper::completionOf(const QString &t) const
{
    int i = -1;
    for (;;) {
        const int next = findStringAfter(t, i);
        if (next == -1 || next <= i)
            break;
        i = next;
        if (Combo()->itemText(i).left(t.size()) == t)
            break;
    }
    return i;
}

int EdGotoHelper::findStringAfter(const QString &t, int after) const
{
    const int count = Combo()->count();
    for (int step = 1; step <= count; ++step) {
        const int index = ((after < 0 ? -1 : after) + step) % count;
        if (Combo()->itemText(index).startsWith(t, Qt::CaseInsensitive))
            return index;
    }
    return -1;
}

void EdGotoHelper::setText(const QString &text)
{
    m_settingText = true;
    Combo()->setEditText(text);
    m_settingText = false;
}
