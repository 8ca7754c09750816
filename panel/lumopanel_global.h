#pragma once

#include <QtGlobal>

// Symbols of the LumoPanelControl shared library.
#if defined(LUMOPANELCONTROL_LIBRARY)
#define LUMOPANEL_EXPORT Q_DECL_EXPORT
#else
#define LUMOPANEL_EXPORT Q_DECL_IMPORT
#endif
