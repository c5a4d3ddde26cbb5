// The lighting module. Its effect ("Light") is not built yet, so its entry point reports that the
// filter is not available.
#include "host/PSHost.h"

namespace {

[[maybe_unused]] const bool started = [] {
    orvo::host::PS_Host::instance();
    return true;
}();

} // namespace

#define ORVO_MODULE_FILTERS "modules/beamwork2/Filters.def"
#include "modules/ModuleExports.inc"
