#include "shortcutoverride.h"

#include "frmcode.h"
#include "frmmdi.h"
#include "paneform.h"
#include "sourceview.h"
#include "vbkeys.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace {

enum class KeyOwner { None, CodeEditor, Pane };

// The window that forwards the keys of this widget to the main window: the code window
// only for its editor (the status bar and the rest forward nothing).
KeyOwner keyOwnerOf(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (auto *code = qobject_cast<const frmCode *>(w)) {
            const QWidget *editor = code->SourceView1();
            return editor && (widget == editor || editor->isAncestorOf(widget)) ? KeyOwner::CodeEditor
                                                                                 : KeyOwner::None;
        }
        if (qobject_cast<const PaneForm *>(w))
            return KeyOwner::Pane;
        if (w->isWindow() && !w->parentWidget())
            break;
    }
    return KeyOwner::None;
}

// The keys the code window acts on itself: F12 jump, Ctrl+F6 and Ctrl+Shift+F6 next and
// previous window, Ctrl+F4 close, Ctrl+Ins copy, Shift+Ins paste, Shift+Del cut, Ctrl+'+'
// and Ctrl+'-' expand and collapse, Ctrl+Tab and Ctrl+Shift+Tab next and previous window.
bool codeWindowKey(int keyCode, int shift)
{
    struct Key
    {
        int keyCode;
        int shift;
    };
    static const Key keys[] = {
        {123, 0}, {117, 2}, {117, 3}, {115, 2}, {45, 2}, {45, 1}, {46, 1}, {187, 2}, {189, 2}, {9, 2}, {9, 3},
    };
    for (const Key &k : keys) {
        if (k.keyCode == keyCode && k.shift == shift)
            return true;
    }
    return false;
}

constexpr int VkDelete = 46;

} // namespace

ShortcutOverrideFilter::ShortcutOverrideFilter(QObject *parent) : QObject(parent)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

bool ShortcutOverrideFilter::childKeepsKey(const QWidget *receiver, const QKeyEvent *event)
{
    const KeyOwner owner = keyOwnerOf(receiver);
    if (owner == KeyOwner::None)
        return false;
    const int keyCode = VbKeys::virtualKey(event);
    const int shift = VbKeys::shiftState(event->modifiers());
    if (keyCode == VkDelete && shift == 0)
        return true;
    if (owner == KeyOwner::CodeEditor && codeWindowKey(keyCode, shift))
        return true;
    return frmMDI::isCommandKey(event);
}

bool ShortcutOverrideFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType()) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (childKeepsKey(static_cast<QWidget *>(watched), key)) {
            key->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
