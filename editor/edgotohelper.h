#pragma once

#include "command.h"
#include "commandui.h"

#include <QComboBox>
#include <QObject>
#include <QPointer>

class QLineEdit;

// The go-to box of a tool bar: the editable combo box the command manager builds for
// "EdGoto". The helper fills its list with the labels of the active routine when the
// box takes the focus (the code window empties the list when its labels change),
// completes a label as it is typed, and runs "EdGoto" with the box's item on Enter; the
// code window then goes to the place the text names ("label", "label+3", "+12").
//
//   auto *helper = new EdGotoHelper(commandUI, commandUI->combo());   // owned by the box
//
// Completion, while typing at the end of the text: t is the text before its first "+"
// and then before its first "-". The list is searched case-insensitively from the top,
// each step after the previous hit, until an item begins with t exactly (case
// included) or the search wraps round; then the last hit is used. A longer item
// replaces the text with its tail after t selected; no hit at all selects the whole
// text and beeps. With labels Start, START2, Stop: "St" gives Start ("art" selected),
// "STA" gives START2, "s" gives Stop.
//
// Keys: Delete deletes as usual, but its change is not completed. Backspace removes the
// selection, or else the character before the caret, and leaves the caret there with
// nothing selected and nothing completed. "+" or "-" typed over a completed tail keeps
// the label and appends the sign. Enter runs the command here, once: the box never
// sees it (it would otherwise add the text to the list or pick an item).
//
// While the box has the focus the main window's OtxCBHelper property names this helper,
// so that keys a code window still receives go to the box.
class EdGotoHelper : public QObject
{
    Q_OBJECT

public:
    // The helper is a child of the box: it goes with it.
    EdGotoHelper(CommandUI *commandUI, QComboBox *combo);

    CommandUI *commandUI() const { return m_commandUI; }
    void setCommandUI(CommandUI *commandUI) { m_commandUI = commandUI; }
    // The box, or null once it has gone or while it is being destroyed.
    QComboBox *Combo() const;
    // Takes over the box's events and switches off Qt's own completion and insertion.
    void setCombo(QComboBox *combo);

    // A character for the box: 13 (Enter) runs the command with the box's item as its
    // context; others do nothing here.
    void KeyPress(int keyAscii);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Combo_Change();
    void Combo_GotFocus();
    void Combo_LostFocus();
    // True when the key was dealt with and the box must not see it.
    bool Combo_KeyDown(int key);
    void Combo_KeyPress(QChar character);

    QLineEdit *edit() const;
    void fillLabels();
    // The item completing t, or -1 (see the class comment).
    int completionOf(const QString &t) const;
    // The first item after `after` that begins with t in any case, wrapping round; -1: none.
    int findStringAfter(const QString &t, int after) const;
    void setText(const QString &text);
    void announceToMainWindow(bool focused);

    QPointer<CommandUI> m_commandUI;   // the box's item; carries the command
    // Kept as plain objects: a box being destroyed is only a QWidget by then, and turning
    // it into a QComboBox* (as QPointer<QComboBox> would) is undefined. Combo() asks
    // its meta-object instead.
    QPointer<QObject> m_combo;
    QPointer<QObject> m_edit;          // the box's line edit
    bool mNoComplete = false;          // the change the Delete key makes is not completed
    bool m_settingText = false;        // our own writes fire the change notification too
};
