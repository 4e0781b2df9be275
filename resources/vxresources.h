#pragma once

#include <QtGlobal>

// The icons, logo, fonts and style sheet are compiled into the static library
// vx_resources. A resource file in a static library is only registered when
// its initialiser runs, so every program (and test) that reads ":/resources/..."
// calls this before the first use. Later calls do nothing.
inline void vxInitResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(veltrix);
        return true;
    }();
    Q_UNUSED(registered)
}
