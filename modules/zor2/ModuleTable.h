// The film-lab module: the filter table of Filters.def with the module's menu category.
#pragma once

#include "host/resources/PluginResources.h"

namespace modules::zor2 {

inline constexpr host::FilterRow kFilters[] = {
#define ORVO_FILTER(id, menu, suffix, registration, guid, about) \
    {id, menu, FP_ENTRY_PREFIX #suffix, registration, guid, (about) != 0},
#include "modules/zor2/Filters.def"
#undef ORVO_FILTER
};

inline constexpr host::ModuleTable kModule{"Tessmark", "", kFilters};

} // namespace modules::zor2
