// Arbitrary bytes as a parameter blob and as a preset file of the collection.

#include "PresetFuzzing.h"

#include "framework/HostHandles.h"
#include "framework/Preset.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size > fuzz::MaxInput)
        return 0;

    fxtest::KindsEffect direct;
    const std::vector<unsigned char> before = fuzz::blobOf(direct);
    if (!fx::applyBlob(direct, data, size) && fuzz::blobOf(direct) != before)
        std::abort();  // a refused blob must change nothing
    fuzz::checkRoundTrip(direct);

    // The same bytes in an exactly sized handle, as the host passes them.
    fx::HandleProcs& heap = fx::heapHandles();
    fx::OwnedHandle handle(heap, heap.allocate(size));
    if (handle) {
        {
            fx::HandleLock lock(heap, handle.get());
            if (size > 0)
                std::memcpy(lock.bytes(), data, size);
        }
        fxtest::KindsEffect versioned;
        fx::applyVersionedBlob(versioned, handle.get(), heap);
        fuzz::checkRoundTrip(versioned);
    }

    fxtest::KindsEffect preset;
    fx::applyPresetBytes(preset, data, size, fx::PresetFlavour::Collection);
    fuzz::checkRoundTrip(preset);
    return 0;
}
