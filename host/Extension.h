#pragma once

// The module side of our protocol extension (platform/Extension.h): each module lists its filters
// (entry point and registration name, from its Filters.def) and exports the two functions with
// ORVO_MODULE_EXTENSION.

#include "platform/Extension.h"

#include <cstdint>
#include <span>
#include <type_traits>

namespace orvo::host {

struct ExtensionFilter {
    const char* entryPoint;       // "PIMAIN_FastBlur"
    const char* registrationName; // "FastBlur"
};

int32_t describeParameters(std::span<const ExtensionFilter> filters, const char* entryPoint, char* text,
                           int32_t capacity) noexcept;
int32_t editParameters(std::span<const ExtensionFilter> filters, const char* entryPoint, const void* blob,
                       int32_t blobLength, int32_t index, const void* value, int32_t valueLength, void* outBlob,
                       int32_t outCapacity, uint8_t* enabled, int32_t enabledCapacity) noexcept;

} // namespace orvo::host

// A row of the extension's filter list from a Filters.def row.
#define ORVO_FILTER_EXTENSION_ROW(resourceId, menuName, suffix, registrationName, guid, showsAbout) \
    {FP_ENTRY_PREFIX #suffix, registrationName},

#define ORVO_MODULE_EXTENSION(filters)                                                                          \
    FP_EXPORT int32_t OrvoExt_DescribeParameters(const char* entryPoint, char* text, int32_t capacity)          \
    {                                                                                                           \
        return ::orvo::host::describeParameters(filters, entryPoint, text, capacity);                          \
    }                                                                                                           \
    FP_EXPORT int32_t OrvoExt_EditParameters(const char* entryPoint, const void* blob, int32_t blobLength,      \
                                             int32_t index, const void* value, int32_t valueLength,             \
                                             void* outBlob, int32_t outCapacity, uint8_t* enabled,              \
                                             int32_t enabledCapacity)                                           \
    {                                                                                                           \
        return ::orvo::host::editParameters(filters, entryPoint, blob, blobLength, index, value, valueLength,  \
                                            outBlob, outCapacity, enabled, enabledCapacity);                    \
    }                                                                                                           \
    static_assert(std::is_same_v<decltype(&OrvoExt_DescribeParameters), OrvoExtDescribeProc>);                 \
    static_assert(std::is_same_v<decltype(&OrvoExt_EditParameters), OrvoExtEditProc>)
