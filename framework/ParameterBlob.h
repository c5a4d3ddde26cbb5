#pragma once

#include "framework/HostHandles.h"

#include <cstddef>
#include <cstdint>

namespace fx {

struct Effect;

// The saved form of an effect's parameter values, used for the host's parameters handle, the
// last-used values in the descriptor registry, recorded actions and preset files. Little-endian:
//
//   header (52 bytes): int32 version (1) | title[40] NUL-terminated, at most 39 characters |
//                      int32 record count | int32 record size (152)
//   record (152 bytes, zero-filled): int32 kind | key[84] NUL-terminated, at most 83 characters |
//                      value[64] by kind: Range double, Boolean byte, List int32, Color 3 doubles,
//                      Point 2 doubles, ImageFile path text of at most 63 characters; others zero
//
// Record i belongs to parameter i. Longer titles, keys and paths are cut to their field.
namespace blob {
inline constexpr int32_t Version = 1;
inline constexpr std::size_t TitleOffset = 4;
inline constexpr std::size_t TitleSize = 40;
inline constexpr std::size_t CountOffset = 44;
inline constexpr std::size_t RecordSizeOffset = 48;
inline constexpr std::size_t HeaderSize = 52;
inline constexpr std::size_t RecordSize = 152;
inline constexpr std::size_t KeyOffset = 4;
inline constexpr std::size_t KeySize = 84;
inline constexpr std::size_t ValueOffset = 88;
inline constexpr std::size_t ValueSize = 64;
inline constexpr std::size_t MaxPathLength = 63;
} // namespace blob

// 52 + 152 x the effect's parameter count.
std::size_t blobSize(const Effect& effect);

// Writes the blob of the effect's current values into out, which holds blobSize(effect) bytes.
void writeBlob(Effect& effect, unsigned char* out);

// A handle holding the blob of the effect's current values; null when the handle cannot be
// allocated. The caller disposes it through the same procedures.
Handle makeBlob(Effect& effect, HandleProcs& procs = hostHandles());

// Applies a blob of length bytes. False, with nothing changed, when the title differs from the
// effect's (as the blob stores it), when the record count or record size does not match, or when
// the bytes end before the records do. Otherwise each record whose kind and key equal its
// parameter's sets that parameter's value as stored (no clamping); the others are skipped; true.
// The version word is not looked at.
bool applyBlob(Effect& effect, const void* blob, std::size_t length);

// Applies the blob in a handle when its version word is 1; false otherwise.
bool applyVersionedBlob(Effect& effect, Handle handle, HandleProcs& procs = hostHandles());

// The little-endian version word at the start of bytes, or 0 when fewer than 4 bytes are given.
int32_t blobVersion(const void* bytes, std::size_t length);

} // namespace fx
