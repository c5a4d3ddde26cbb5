/* The filter plug-in protocol as this platform declares it: result codes, selectors, image modes,
 * handle and buffer procedures, advance state, scripting descriptors, the document description with
 * its channel ports, and the filter record itself.
 *
 * Plain C (C99 and C++ compatible): the host application and every plug-in module share these
 * declarations. All procedures use the platform's default C calling convention. Every procedure
 * that can fail returns a result code (kFpNoErr on success) and hands results back through
 * out-parameters, so a host can reject bad arguments instead of trusting them.
 *
 * On 32-bit targets the filter record has the interface's fixed byte layout (natural 4-byte
 * alignment); the offsets are asserted at the end of this file. */
#ifndef ORVO_PLATFORM_FILTER_RECORD_H
#define ORVO_PLATFORM_FILTER_RECORD_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define FP_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define FP_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Four-character codes: 'abcd' is the 32-bit value a<<24 | b<<16 | c<<8 | d. */
#define FP_FOURCC(a, b, c, d) \
    ((uint32_t)(uint8_t)(a) << 24 | (uint32_t)(uint8_t)(b) << 16 | (uint32_t)(uint8_t)(c) << 8 | (uint32_t)(uint8_t)(d))

/* ---- Result codes (16-bit in the record's result, 32-bit from suites) ---------------------- */
enum {
    kFpNoErr = 0,
    kFpMemFullErr = -108,           /* memory or handle allocation failed */
    kFpUserCanceledErr = -128,      /* the user cancelled (dialog or abortProc) */
    kFpBadParametersErr = -30100,   /* a host procedure rejected its arguments */
    kFpHostCallFailedErr = -30900,  /* a suite could not be acquired or a host call failed */
    kFpErrorStringErr = -30904      /* the plug-in placed its message in errorString */
};

/* ---- Selectors passed to the entry point -------------------------------------------------- */
enum {
    kFpSelectorAbout = 0,
    kFpSelectorParameters = 1,
    kFpSelectorPrepare = 2,
    kFpSelectorStart = 3,
    kFpSelectorContinue = 4,
    kFpSelectorFinish = 5
};

/* ---- Image modes (record imageMode, document imageMode) ----------------------------------- */
enum {
    kFpModeRGB = 3,   /* 8 bits per channel, 0..255 */
    kFpModeRGB48 = 9  /* 16 bits per channel, 0..32768 */
};

/* ---- Basic types --------------------------------------------------------------------------- */
typedef int32_t FpFixed;                 /* 16.16 fixed point: 1.0 = 0x10000 */
typedef struct FpHandleOpaque* FpHandle; /* host memory handle; contents reached through lock */
typedef struct FpBufferOpaque* FpBufferID;

typedef struct FpPoint16 { int16_t v; int16_t h; } FpPoint16;
/* Rectangles: top, left, bottom, right; bottom and right exclusive. */
typedef struct FpRect16 { int16_t top; int16_t left; int16_t bottom; int16_t right; } FpRect16;
typedef struct FpRect32 { int32_t top; int32_t left; int32_t bottom; int32_t right; } FpRect32;
typedef struct FpColor16 { uint16_t red; uint16_t green; uint16_t blue; } FpColor16;

/* Returns nonzero when the user asked to stop. */
typedef uint8_t (*FpAbortProc)(void);
/* Reports that `done` of `total` units of work are finished. */
typedef void (*FpProgressProc)(int32_t done, int32_t total);
/* Asks the host to deliver inRect into inData and to take outData for outRect (the data of the
 * previous request is committed first). See the record fields below. */
typedef int16_t (*FpAdvanceStateProc)(void);

/* ---- Handle procedures --------------------------------------------------------------------- */
typedef struct FpHandleProcs {
    int16_t version;
    int16_t count; /* number of procedures that follow */
    int16_t (*newHandle)(int32_t size, FpHandle* out);   /* zero-filled; kFpMemFullErr on failure */
    int16_t (*disposeHandle)(FpHandle h);
    int16_t (*getSize)(FpHandle h, int32_t* size);
    int16_t (*setSize)(FpHandle h, int32_t size);        /* keeps the common prefix, zero-fills growth */
    int16_t (*lock)(FpHandle h, uint8_t moveHigh, char** data);
    int16_t (*unlock)(FpHandle h);
} FpHandleProcs;

/* ---- Buffer procedures --------------------------------------------------------------------- */
typedef struct FpBufferProcs {
    int16_t version;
    int16_t count;
    int16_t (*allocate)(int32_t size, FpBufferID* out);
    int16_t (*lock)(FpBufferID id, uint8_t moveHigh, void** data);
    int16_t (*unlock)(FpBufferID id);
    int16_t (*free)(FpBufferID id);
    int32_t (*space)(void); /* bytes the host is willing to hand out */
} FpBufferProcs;

/* ---- Display pixels ------------------------------------------------------------------------ */
/* A pixel map: pixel (x, y), channel k is at baseAddr + (y - bounds.top) * rowBytes
 * + (x - bounds.left) * colBytes + k * planeBytes. */
typedef struct FpPixelMap {
    int32_t version; /* 1 */
    FpRect32 bounds;
    int32_t imageMode;
    int32_t rowBytes;
    int32_t colBytes;
    int32_t planeBytes;
    void* baseAddr;
} FpPixelMap;

typedef int16_t (*FpDisplayPixelsProc)(const FpPixelMap* source, const FpRect32* srcRect,
                                       int32_t dstRow, int32_t dstCol, void* platformContext);

/* ---- Pixel memory and channel ports -------------------------------------------------------- */
/* Describes caller memory: pixel (x, y) of an area starts at bit
 * bitOffset + y * rowBits + x * colBits from data (x, y relative to the area's origin).
 * depth is 8 or 16 bits per sample; rowBits, colBits and bitOffset are multiples of 8. */
typedef struct FpPixelMemoryDesc {
    void* data;
    int32_t rowBits;
    int32_t colBits;
    int32_t bitOffset;
    int32_t depth;
} FpPixelMemoryDesc;

typedef struct FpReadPortOpaque* FpReadPort;
typedef struct FpWritePortOpaque* FpWritePort;

enum {
    kFpChannelRed = 1,
    kFpChannelGreen = 2,
    kFpChannelBlue = 3,
    kFpChannelAlpha = 25
};

/* One channel of the document; channels of a list are chained through next. */
typedef struct FpChannelDesc {
    int32_t size;        /* sizeof(FpChannelDesc) */
    int32_t depth;       /* 8 or 16 */
    FpRect32 bounds;     /* the channel's pixels: {0, 0, height, width} */
    int16_t target;      /* 1 when the channel is a target of the filter */
    int16_t shown;
    int16_t channelType; /* kFpChannel* */
    int16_t reserved;
    FpReadPort port;
    FpWritePort writePort;
    struct FpChannelDesc* next;
    const char* name;
} FpChannelDesc;

typedef struct FpDocumentInfo {
    int32_t minVersion;
    int32_t maxVersion;
    int32_t imageMode;
    int32_t depth;
    FpRect32 bounds;
    FpFixed hResolution;
    FpFixed vResolution;
    FpChannelDesc* targetCompositeChannels; /* the channels a filter changes (R, G, B) */
    FpChannelDesc* alphaChannels;           /* extra channels, used when there is no composite */
} FpDocumentInfo;

/* ---- Scripting descriptors ----------------------------------------------------------------- */
typedef uint32_t FpDescriptorKey;  /* four-character code */
typedef uint32_t FpDescriptorType; /* four-character code */
typedef struct FpReadDescriptorOpaque* FpReadDescriptor;
typedef struct FpWriteDescriptorOpaque* FpWriteDescriptor;

#define kFpTypeText FP_FOURCC('T', 'E', 'X', 'T')
#define kFpTypeInteger FP_FOURCC('l', 'o', 'n', 'g')

typedef struct FpReadDescriptorProcs {
    int16_t version;
    int16_t count;
    /* keys: list of keys the reader should return, ended by 0; null returns every key. */
    int16_t (*openReader)(FpHandle descriptor, const FpDescriptorKey* keys, FpReadDescriptor* out);
    int16_t (*closeReader)(FpReadDescriptor reader);
    /* Next key: returns 1 and fills key, type and flags, or 0 at the end (or on bad arguments). */
    uint8_t (*getKey)(FpReadDescriptor reader, FpDescriptorKey* key, FpDescriptorType* type,
                      int32_t* flags);
    /* The current key's value as a new handle with its bytes (the caller disposes it). */
    int16_t (*getText)(FpReadDescriptor reader, FpHandle* text);
    int16_t (*getInteger)(FpReadDescriptor reader, int32_t* value);
} FpReadDescriptorProcs;

typedef struct FpWriteDescriptorProcs {
    int16_t version;
    int16_t count;
    int16_t (*openWriter)(FpWriteDescriptor* out);
    /* Finishes the writer and returns the descriptor as a new handle. */
    int16_t (*closeWriter)(FpWriteDescriptor writer, FpHandle* descriptor);
    int16_t (*putText)(FpWriteDescriptor writer, FpDescriptorKey key, FpHandle text);
    int16_t (*putInteger)(FpWriteDescriptor writer, FpDescriptorKey key, int32_t value);
} FpWriteDescriptorProcs;

/* Play and record options. */
enum {
    kFpDialogOptional = 0,
    kFpDialogDisplay = 1,
    kFpDialogSilent = 2
};

typedef struct FpDescriptorParameters {
    int16_t version;
    int16_t playInfo;   /* how a replayed action wants the filter to run (kFpDialog*) */
    int16_t recordInfo; /* set by the plug-in when it records (kFpDialog*) */
    int16_t reserved;
    FpHandle descriptor; /* the script descriptor; null when there is none */
    FpWriteDescriptorProcs* writeDescriptorProcs;
    FpReadDescriptorProcs* readDescriptorProcs;
} FpDescriptorParameters;

/* ---- Platform data ------------------------------------------------------------------------- */
typedef struct FpPlatformData {
    intptr_t hostWindow; /* the host window handle (0 when the host has no window) */
} FpPlatformData;

typedef struct FpPluginRefOpaque* FpPluginRef;
typedef struct FpSPBasicSuite FpSPBasicSuite; /* platform/Suites.h */

/* ---- The filter record --------------------------------------------------------------------- */
typedef struct FilterRecord {
    int32_t serialNumber;
    FpAbortProc abortProc;
    FpProgressProc progressProc;
    FpHandle parameters;   /* the plug-in's parameter block, kept by the host between calls */
    FpPoint16 imageSize;   /* v = height, h = width */
    int16_t planes;        /* 3 for RGB */
    FpRect16 filterRect;   /* the area to filter */
    FpColor16 background;
    FpColor16 foreground;
    int32_t maxSpace;
    int32_t bufferSpace;
    FpRect16 inRect;       /* advance state: the input area the plug-in asks for */
    int16_t inLoPlane;
    int16_t inHiPlane;
    FpRect16 outRect;      /* advance state: the output area the plug-in asks for */
    int16_t outLoPlane;
    int16_t outHiPlane;
    void* inData;          /* advance state: interleaved planes of inRect */
    int32_t inRowBytes;
    void* outData;         /* advance state: interleaved planes of outRect */
    int32_t outRowBytes;
    uint8_t isFloating;
    uint8_t haveMask;
    uint8_t autoMask;
    uint8_t reserved95;
    FpRect16 maskRect;
    void* maskData;
    int32_t maskRowBytes;
    uint8_t backColor[4];
    uint8_t foreColor[4];
    uint32_t hostSig;      /* four-character code of the host */
    void* hostProc;
    int16_t imageMode;     /* kFpModeRGB or kFpModeRGB48 */
    uint8_t reserved130[58];
    FpPlatformData* platformData;
    FpBufferProcs* bufferProcs;
    void* resourceProcs;
    void* processEvent;
    FpDisplayPixelsProc displayPixels;
    FpHandleProcs* handleProcs;
    uint8_t supportsDummyChannels;
    uint8_t supportsAlternateLayouts;
    int16_t wantLayout;
    int16_t filterCase;
    int16_t dummyPlaneValue;
    void* reserved220;
    FpAdvanceStateProc advanceState;
    uint8_t reserved228[20];
    FpFixed inputRate;     /* scale of the input requested through advance state (1.0 = 0x10000) */
    FpFixed maskRate;
    uint8_t reserved256[84];
    int16_t outTileHeight; /* the host's preferred tile; 0 = no preference */
    int16_t outTileWidth;
    FpPoint16 outTileOrigin;
    int16_t inTileHeight;
    int16_t inTileWidth;
    FpPoint16 inTileOrigin;
    FpDescriptorParameters* descriptorParameters;
    uint8_t* errorString;  /* 256 bytes: length byte, then up to 255 characters */
    void* channelPortProcs;
    FpDocumentInfo* documentInfo;
    FpSPBasicSuite* sSPBasic;
    FpPluginRef plugInRef;
    int32_t depth;         /* bits per channel: 8 or 16 */
    uint8_t reserved384[128];
} FilterRecord;

/* The exported entry point of every filter: PIMAIN_<Effect>. data points to a pointer-sized word
 * the host keeps per filter between calls; result receives the call's result code. */
typedef void (*FpFilterEntryProc)(int16_t selector, FilterRecord* record, intptr_t* data,
                                  int16_t* result);

#define FP_ENTRY_PREFIX "PIMAIN_"

#if defined(__cplusplus)
#define FP_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define FP_EXPORT __attribute__((visibility("default")))
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
/* The interface's byte offsets on 32-bit targets. */
FP_STATIC_ASSERT(offsetof(FilterRecord, abortProc) == 4, "abortProc");
FP_STATIC_ASSERT(offsetof(FilterRecord, progressProc) == 8, "progressProc");
FP_STATIC_ASSERT(offsetof(FilterRecord, parameters) == 12, "parameters");
FP_STATIC_ASSERT(offsetof(FilterRecord, imageSize) == 16, "imageSize");
FP_STATIC_ASSERT(offsetof(FilterRecord, planes) == 20, "planes");
FP_STATIC_ASSERT(offsetof(FilterRecord, filterRect) == 22, "filterRect");
FP_STATIC_ASSERT(offsetof(FilterRecord, inRect) == 52, "inRect");
FP_STATIC_ASSERT(offsetof(FilterRecord, inLoPlane) == 60, "inLoPlane");
FP_STATIC_ASSERT(offsetof(FilterRecord, inHiPlane) == 62, "inHiPlane");
FP_STATIC_ASSERT(offsetof(FilterRecord, outRect) == 64, "outRect");
FP_STATIC_ASSERT(offsetof(FilterRecord, outLoPlane) == 72, "outLoPlane");
FP_STATIC_ASSERT(offsetof(FilterRecord, outHiPlane) == 74, "outHiPlane");
FP_STATIC_ASSERT(offsetof(FilterRecord, inData) == 76, "inData");
FP_STATIC_ASSERT(offsetof(FilterRecord, inRowBytes) == 80, "inRowBytes");
FP_STATIC_ASSERT(offsetof(FilterRecord, outData) == 84, "outData");
FP_STATIC_ASSERT(offsetof(FilterRecord, outRowBytes) == 88, "outRowBytes");
FP_STATIC_ASSERT(offsetof(FilterRecord, maskRect) == 96, "maskRect");
FP_STATIC_ASSERT(offsetof(FilterRecord, hostSig) == 120, "hostSig");
FP_STATIC_ASSERT(offsetof(FilterRecord, imageMode) == 128, "imageMode");
FP_STATIC_ASSERT(offsetof(FilterRecord, platformData) == 188, "platformData");
FP_STATIC_ASSERT(offsetof(FilterRecord, bufferProcs) == 192, "bufferProcs");
FP_STATIC_ASSERT(offsetof(FilterRecord, handleProcs) == 208, "handleProcs");
FP_STATIC_ASSERT(offsetof(FilterRecord, advanceState) == 224, "advanceState");
FP_STATIC_ASSERT(offsetof(FilterRecord, inputRate) == 248, "inputRate");
FP_STATIC_ASSERT(offsetof(FilterRecord, outTileHeight) == 340, "outTileHeight");
FP_STATIC_ASSERT(offsetof(FilterRecord, outTileWidth) == 342, "outTileWidth");
FP_STATIC_ASSERT(offsetof(FilterRecord, outTileOrigin) == 344, "outTileOrigin");
FP_STATIC_ASSERT(offsetof(FilterRecord, descriptorParameters) == 356, "descriptorParameters");
FP_STATIC_ASSERT(offsetof(FilterRecord, errorString) == 360, "errorString");
FP_STATIC_ASSERT(offsetof(FilterRecord, documentInfo) == 368, "documentInfo");
FP_STATIC_ASSERT(offsetof(FilterRecord, sSPBasic) == 372, "sSPBasic");
FP_STATIC_ASSERT(offsetof(FilterRecord, plugInRef) == 376, "plugInRef");
FP_STATIC_ASSERT(offsetof(FilterRecord, depth) == 380, "depth");
#endif

#ifdef __cplusplus
}
#endif

#endif
