#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

// The clock the window system stamps the user's input with (QInputEvent::timestamp()),
// read now. On X11 it is the server's own time in milliseconds, asked of the server, so
// that it holds for a display on another machine as well. Empty where the window system
// will not say what time it is (offscreen, Wayland, builds without the X11 backend).
// The value has 32 bits and wraps, as X11's does: compare two of them by difference.
//
// Example: was this key given before the moment taken?
//
//     const std::optional<quint32> mark = inputClockNow();
//     ...
//     const bool earlier = mark && qint32(quint32(keyEvent->timestamp()) - *mark) < 0;
//
// GUI thread only.
std::optional<quint32> inputClockNow();

// Replaces the clock; an empty function restores the window system's. For tests that play
// the window system and stamp the input they make up with a clock of their own.
void setInputClock(std::function<std::optional<quint32>()> clock);
