#pragma once

#include "lumopanel_global.h"

#include <QVariant>

namespace modLumoPanel {

// The larger of two values where a null value (an invalid or null QVariant) stands
// aside: b when a is null, else a when b is null, else a when a > b, otherwise b.
LUMOPANEL_EXPORT QVariant VarMax(const QVariant &a, const QVariant &b);

} // namespace modLumoPanel
