// The film-lab module. Its effect ("ZOR2") is not built yet, so its entry point reports that the
// filter is not available.
#include "framework/EffectRegistry.h"
#include "host/EntryPoints.h"
#include "host/Extension.h"
#include "host/PSHost.h"

namespace {

[[maybe_unused]] const bool started = [] {
    orvo::host::PS_Host::instance();
    return true;
}();

} // namespace

#define ORVO_FILTER ORVO_FILTER_ENTRY_POINT
#include "modules/zor2/Filters.def"
#undef ORVO_FILTER

namespace {
constexpr orvo::host::ExtensionFilter kExtensionFilters[] = {
#define ORVO_FILTER ORVO_FILTER_EXTENSION_ROW
#include "modules/zor2/Filters.def"
#undef ORVO_FILTER
};
} // namespace

ORVO_MODULE_EXTENSION(kExtensionFilters);
