/* The SP basic suite and the suites a filter acquires through it by name and version. */
#ifndef ORVO_PLATFORM_SUITES_H
#define ORVO_PLATFORM_SUITES_H

#include "platform/FilterRecord.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- SP basic suite (the record's sSPBasic) ------------------------------------------------ */
/* acquireSuite fills *suite with the function table of the named suite in exactly that version,
 * or returns kFpHostCallFailedErr (and sets *suite to null) when the host does not offer it.
 * Every successful acquire is matched by one release. */
struct FpSPBasicSuite {
    int32_t (*acquireSuite)(const char* name, int32_t version, const void** suite);
    int32_t (*releaseSuite)(const char* name, int32_t version);
    uint8_t (*isEqual)(const char* a, const char* b);
    int32_t (*allocateBlock)(int32_t size, void** block);
    int32_t (*freeBlock)(void* block);
};

/* ---- "SP Plug-ins Suite" 4 ----------------------------------------------------------------- */
#define kFpSPPluginsSuite "SP Plug-ins Suite"
#define kFpSPPluginsSuiteVersion 4
#define kFpPluginPathCapacity 300 /* the path buffer modules traditionally keep */

typedef struct FpSPPluginsSuite4 {
    /* Writes the module file's full path, NUL-terminated, into path. Fails with
     * kFpBadParametersErr (and writes nothing) when the path and its NUL need more than
     * capacity bytes or plugin is not the record's plugInRef. */
    int32_t (*getPluginFileSpecification)(FpPluginRef plugin, char* path, int32_t capacity);
} FpSPPluginsSuite4;

/* ---- "Photoshop Buffer Suite for Plug-ins" 1 ----------------------------------------------- */
#define kFpBufferSuite "Photoshop Buffer Suite for Plug-ins"
#define kFpBufferSuiteVersion 1

typedef struct FpBufferSuite1 {
    /* A zero-filled block of at least minimumSize bytes, or null. When requestedSize is not null
     * it asks for *requestedSize bytes and receives the size granted. */
    void* (*newBuffer)(int32_t* requestedSize, int32_t minimumSize);
    /* Frees *buffer and sets it to null; an unknown block is an error. */
    int16_t (*dispose)(void** buffer);
    int16_t (*getSize)(const void* buffer, int32_t* size);
    int32_t (*getSpace)(void);
} FpBufferSuite1;

/* ---- "Photoshop ChannelPorts Suite for Plug-ins" 2 ----------------------------------------- */
#define kFpChannelPortsSuite "Photoshop ChannelPorts Suite for Plug-ins"
#define kFpChannelPortsSuiteVersion 2

/* Pixels of a port are addressed in document coordinates. Every rectangle must lie inside the
 * port's bounds and be non-empty; otherwise the call fails with kFpBadParametersErr and touches
 * no memory. The memory's depth may differ from the port's: samples are converted as
 * 8 -> 16: v16 = (v8 * 32768 + 127) / 255 and 16 -> 8: v8 = (v16 * 255 + 16384) / 32768
 * (integer division, 16-bit samples hold 0..32768). */
typedef struct FpChannelPortsSuite2 {
    /* Reads rect of the given level (only level 0, full resolution, exists) into memory whose
     * origin is rect's top-left pixel. */
    int32_t (*readPixelsFromLevel)(FpReadPort port, int32_t level, const FpRect32* rect,
                                   const FpPixelMemoryDesc* destination);
    /* Writes rect of the base level from memory whose origin is rect's top-left pixel. */
    int32_t (*writeBasePixels)(FpWritePort port, const FpRect32* rect,
                               const FpPixelMemoryDesc* source);
    /* Scaled read: sourceRect of the document (inside the port's bounds) is resampled to the size
     * of destinationRect, which addresses the destination memory relative to its origin
     * (destinationRect.top/left >= 0). The rule, per axis, for destination index i of n pixels
     * taken from a source span of m pixels starting at s:
     *   first = s + i * m / n, last = s + (i + 1) * m / n (exclusive), and when last == first
     *   (enlarging) last = first + 1;
     * the destination sample is the box average of the source samples in
     * [firstX, lastX) x [firstY, lastY), rounded half up: (sum + count / 2) / count, computed at
     * the port's depth and then converted to the destination's depth as above. Shrinking is thus
     * an exact box filter, enlarging repeats the nearest source pixel to the upper left. */
    int32_t (*readScaledPixels)(FpReadPort port, const FpRect32* sourceRect,
                                const FpRect32* destinationRect,
                                const FpPixelMemoryDesc* destination);
    int32_t (*countLevels)(FpReadPort port, int32_t* levels);
    int32_t (*getDepth)(FpReadPort port, int32_t* depth);
} FpChannelPortsSuite2;

/* ---- Action descriptors ("df135115-c769-11d0-8079-00c04fd7ec47" 2) ------------------------- */
#define kFpActionDescriptorSuite "df135115-c769-11d0-8079-00c04fd7ec47"
#define kFpActionDescriptorSuiteVersion 2

typedef struct FpActionDescriptorOpaque* FpActionDescriptor;

typedef struct FpActionDescriptorSuite2 {
    int32_t (*make)(FpActionDescriptor* out);
    int32_t (*free)(FpActionDescriptor descriptor);
    int32_t (*hasKey)(FpActionDescriptor descriptor, FpDescriptorKey key, uint8_t* has);
    /* Raw data: stored as given, replaced when the key exists. */
    int32_t (*putData)(FpActionDescriptor descriptor, FpDescriptorKey key, int32_t length,
                       const void* data);
    int32_t (*getDataLength)(FpActionDescriptor descriptor, FpDescriptorKey key, int32_t* length);
    /* Copies the data into value; fails without writing when capacity is too small. */
    int32_t (*getData)(FpActionDescriptor descriptor, FpDescriptorKey key, void* value,
                       int32_t capacity);
    int32_t (*putInteger)(FpActionDescriptor descriptor, FpDescriptorKey key, int32_t value);
    int32_t (*getInteger)(FpActionDescriptor descriptor, FpDescriptorKey key, int32_t* value);
} FpActionDescriptorSuite2;

/* ---- Descriptor registry ("61e608b0-40fd-11d1-8da3-00c04fd5f7ee" 1) ------------------------ */
#define kFpDescriptorRegistrySuite "61e608b0-40fd-11d1-8da3-00c04fd5f7ee"
#define kFpDescriptorRegistrySuiteVersion 1

typedef struct FpDescriptorRegistrySuite1 {
    /* Stores a copy of descriptor under key; persistent entries survive the host session. */
    int32_t (*registerDescriptor)(const char* key, FpActionDescriptor descriptor,
                                  uint8_t isPersistent);
    int32_t (*erase)(const char* key);
    /* A new descriptor with a copy of the entry (the caller frees it); fails when there is none. */
    int32_t (*get)(const char* key, FpActionDescriptor* descriptor);
} FpDescriptorRegistrySuite1;

#ifdef __cplusplus
}
#endif

#endif
