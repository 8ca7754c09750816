#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class QWidget;

// Small helpers shared across the main program; they keep no state.
namespace Module1 {

// Makes the window the foreground window; false when the desktop refused.
bool ForceForeground(QWidget *window);
// The foreground window goes to `window`; true when it belongs to this program.
bool ForegroundIsOurs(quint64 &window);
// The foreground window goes to `window`; returns its process id (0 when unknown).
qint64 ForegroundProcessId(quint64 &window);

// The host name up to its first ".", whatever its length (the original's 15-character
// limit would send an empty name in "IAM" from most Linux hosts).
QString ComputerName();
QString UserName();

// A server's question: fields 1 (box style + 512 × the answer expected) and 2 (the
// text). True at once when there is no field after the code. A missing or
// non-numeric field 1 counts as 0, a missing text as "".
bool ServerPrompt(QStringList &fields);

} // namespace Module1
