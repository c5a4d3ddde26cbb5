#pragma once

// Shared by the preset fuzz targets and their seed tool.

#include "framework/Effect.h"
#include "framework/ParameterBlob.h"

#include "support/PresetEffects.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzz {

// Inputs beyond this size only slow the fuzzer down: blobs of real effects are a few kilobytes.
inline constexpr std::size_t MaxInput = 64 * 1024;

inline std::vector<unsigned char> blobOf(fx::Effect& effect)
{
    std::vector<unsigned char> bytes(fx::blobSize(effect));
    fx::writeBlob(effect, bytes.data());
    return bytes;
}

// Whatever values an effect holds, its blob applied to a fresh instance must give the same blob.
inline void checkRoundTrip(fx::Effect& effect)
{
    const std::vector<unsigned char> first = blobOf(effect);
    fx::Effect* fresh = effect.ops->create();
    const bool applied = fx::applyBlob(*fresh, first.data(), first.size());
    const bool same = applied && blobOf(*fresh) == first;
    effect.ops->destroy(fresh);
    if (!same) {
        std::fprintf(stderr, "blob round trip changed the values\n");
        std::abort();
    }
}

} // namespace fuzz
