#pragma once

#include <Qt>

class QKeyEvent;

// Keys as every key handler of the program compares them: Windows virtual-key
// codes, a Shift mask (1 Shift, 2 Ctrl, 4 Alt) and the character code a key types.
namespace VbKeys {

// The virtual-key code of the key; 0 for keys without one.
int virtualKey(const QKeyEvent *event);
int shiftState(Qt::KeyboardModifiers modifiers);
// Control characters for Ctrl+letter, Enter, Tab, Backspace and Escape; the typed
// character otherwise; 0 for keys that type nothing.
int keyAscii(const QKeyEvent *event);
// Only Ctrl+letter (1..26), else 0. Backspace and Ctrl+H both type 8, Tab and
// Ctrl+I both 9: what is forwarded as a command key must be the Ctrl chord, or
// Backspace would run "EdReplace".
int controlKeyAscii(const QKeyEvent *event);

} // namespace VbKeys
