// Arbitrary bytes as a text preset and as a preset file of the film lab.

#include "PresetFuzzing.h"

#include "framework/Preset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size > fuzz::MaxInput)
        return 0;
    const char* text = reinterpret_cast<const char*>(data);

    fxtest::KindsEffect e;
    fx::applyTextPreset(e, text, size);
    fuzz::checkRoundTrip(e);

    fxtest::KindsEffect filmLab;
    fx::applyPresetBytes(filmLab, data, size, fx::PresetFlavour::FilmLab);
    fuzz::checkRoundTrip(filmLab);
    return 0;
}
