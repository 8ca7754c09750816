#pragma once

#include <QtGlobal>

#include <optional>

// The X server's time, as it stamps input events. X has no request that answers with the
// time, but it stamps every property change it reports: the clock appends nothing to a
// property of a window of its own and reads the report.
//
// It talks over a connection of its own, opened on first use to the display named by
// DISPLAY (Qt's too, unless the program was started with -display): the report has to be
// read as it comes, and on Qt's connection Qt's reader takes every event. Empty once that
// connection cannot be opened or has failed.
namespace X11InputClock {
std::optional<quint32> now();
}
