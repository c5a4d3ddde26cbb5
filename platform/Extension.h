/*
 * Our extension of the plug-in protocol: two C functions every module of the suite exports beside
 * its PIMAIN_ entry points. They let a host describe a filter's parameters and change parameter
 * values exactly as the filter's dialog would, without showing it. A host that does not know them
 * never looks them up, so the modules stay ordinary filter modules.
 *
 * Both functions name the filter by its entry point ("PIMAIN_FastBlur"), never throw, and follow
 * the snprintf convention: they return the size the full answer needs (or a negative
 * kOrvoExt... code) and write the answer only when the caller's capacity holds all of it.
 */
#ifndef ORVO_PLATFORM_EXTENSION_H
#define ORVO_PLATFORM_EXTENSION_H

#include "platform/FilterRecord.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOrvoExtDescribeName "OrvoExt_DescribeParameters"
#define kOrvoExtEditName "OrvoExt_EditParameters"

enum {
    kOrvoExtUnknownFilter = -1,  /* the module has no such entry point */
    kOrvoExtUnavailable = -2,    /* the entry point exists but its effect is not in the module */
    kOrvoExtForeignBlob = -3,    /* the blob is not for this filter (title, count or record size) */
    kOrvoExtBadIndex = -4,       /* no parameter with that index */
    kOrvoExtBadValue = -5,       /* the value does not fit the parameter's kind */
    kOrvoExtFailed = -6          /* the effect failed (for example out of memory) */
};

/*
 * OrvoExt_DescribeParameters(entryPoint, text, capacity): the filter's parameter table as JSON
 * text (UTF-8, NUL-terminated when written). Returns the text's length without the NUL; the text
 * is written when capacity > length.
 *
 *   {"entryPoint": "PIMAIN_FastBlur", "registrationName": "FastBlur", "title": "Orvo Fast Blur",
 *    "parameters": [ {"index": 0, "key": "input", "label": "Input", "kind": "Input",
 *                     "flags": 33, "enabled": true, "hidden": false, "notify": false}, ... ]}
 *
 * Per kind, the records add: Range "minimum", "maximum", "default", "decimals", "integer";
 * Boolean "default"; List "items" (labels in order) and "default" (an index); Color "default"
 * [r, g, b] in 0..1; Point "default" [x, y] centred on the image (-0.5..0.5); GroupBegin "state",
 * "box"; ImageFile "folder". Kinds are named "Input", "Range", "Boolean", "List", "Color",
 * "Point", "GroupBegin", "GroupEnd", "PresetFolder", "ImageFile". Numbers are written so that
 * they read back to the same doubles.
 */
typedef int32_t (*OrvoExtDescribeProc)(const char* entryPoint, char* text, int32_t capacity);

/*
 * OrvoExt_EditParameters(entryPoint, blob, blobLength, index, value, valueLength, outBlob,
 *                        outCapacity, enabled, enabledCapacity)
 * One edit of a parameter set, as the dialog's control makes it: a fresh instance of the filter
 * takes the parameter blob (blobLength 0: the defaults), parameter `index` takes the value, and
 * when the parameter is flagged NotifyOnChange the effect's parameterChanged(index) reacts (a
 * preset list writing its values, a gang box copying a value, enabling rules). index < 0 makes no
 * edit (the blob is only checked and re-written).
 *
 * value holds the value as a blob record stores it: Range a double, Boolean one byte, List an
 * int32 index, Color three doubles, Point two doubles, ImageFile the path text (no NUL needed).
 * Values are stored as given; range checks are the caller's.
 *
 * Returns the new blob's size; writes it to outBlob when outCapacity holds it. enabled receives,
 * for the first enabledCapacity parameters, 1 when the dialog would show the parameter enabled for
 * the new values (0 otherwise).
 */
typedef int32_t (*OrvoExtEditProc)(const char* entryPoint, const void* blob, int32_t blobLength, int32_t index,
                                   const void* value, int32_t valueLength, void* outBlob, int32_t outCapacity,
                                   uint8_t* enabled, int32_t enabledCapacity);

#ifdef __cplusplus
}
#endif

#endif
