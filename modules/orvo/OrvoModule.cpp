// The collection's module: registers the 62 effects at load and exports one PIMAIN_ entry point
// per row of Filters.def.
#include "effects/OrvoEffects.h"
#include "framework/EffectRegistry.h"
#include "host/PSHost.h"

namespace {

// Module start-up: the host object, then every effect in registration order. It lives in the
// module's own source so that the linker keeps it.
[[maybe_unused]] const bool registered = [] {
    orvo::host::PS_Host::instance();
    orvo::registerEffects(fx::effectRegistry());
    return true;
}();

} // namespace

#define ORVO_MODULE_FILTERS "modules/orvo/Filters.def"
#include "modules/ModuleExports.inc"
