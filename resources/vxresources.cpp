#include "vxresources.h"

// Keeps the library non-empty for build systems that dislike header-only
// static libraries; the resources themselves come from veltrix.qrc.
namespace {
[[maybe_unused]] const int vxResourcesAnchor = 0;
}
