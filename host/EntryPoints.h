#pragma once

// The exported PIMAIN_ shims, generated from a module's filter table (Filters.def):
//
//   #define ORVO_FILTER ORVO_FILTER_ENTRY_POINT
//   #include "modules/orvo/Filters.def"
//   #undef ORVO_FILTER
//
// Each row becomes one extern "C" entry point of the platform's entry type; everything else in a
// module stays hidden.

#include "host/FilterCall.h"
#include "platform/FilterRecord.h"

#include <type_traits>

#define ORVO_FILTER_ENTRY_POINT(resourceId, menuName, suffix, registrationName, guid, showsAbout)                \
    FP_EXPORT void PIMAIN_##suffix(int16_t selector, FilterRecord* record, intptr_t* data, int16_t* result)      \
    {                                                                                                            \
        ::orvo::host::filterEntry(registrationName, guid, (showsAbout) != 0, selector, record, data, result);     \
    }                                                                                                            \
    static_assert(std::is_same_v<decltype(&PIMAIN_##suffix), FpFilterEntryProc>, "PIMAIN_" #suffix);
