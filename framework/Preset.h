#pragma once

#include "framework/HostHandles.h"

#include <cstddef>

namespace fx {

struct Effect;

// How a module reads a preset whose version word is not 1: the collection ignores it, the film
// lab reads it as a text preset (lines of "key value").
enum class PresetFlavour { Collection, FilmLab };

// Preset files hold exactly the bytes of one parameter blob (extension ".qev").
inline constexpr const char* PresetExtension = ".qev";
inline constexpr const char* PresetFileFilter = "QEV Preset files (*.qev;*.zor)";
inline constexpr const char* LightingPresetFileFilter = "QEV Preset File (*.qev)";

// Preset files larger than this are not presets and are refused.
inline constexpr std::size_t MaxPresetFileSize = std::size_t(16) << 20;

// Writes the blob of the effect's current values to path. The file is replaced only once all bytes
// are written; on any failure (including a blob that cannot be made) an existing file keeps its
// content and the result is false.
bool savePreset(Effect& effect, const char* path, HandleProcs& procs = hostHandles());

// Reads a preset file and applies it (applyPresetBytes). False when the file cannot be opened or
// read, is larger than MaxPresetFileSize, or its buffer cannot be allocated; an empty file is a
// success that changes nothing.
bool loadPreset(Effect& effect, const char* path, PresetFlavour flavour = PresetFlavour::Collection,
                HandleProcs& procs = hostHandles());

// Applies the bytes of a preset file. A version word of 1 means a blob (applyBlob's result).
// Anything else: the collection returns true with nothing changed; the film lab applies the bytes
// as a text preset and returns true.
bool applyPresetBytes(Effect& effect, const void* bytes, std::size_t size, PresetFlavour flavour);

// Applies a text preset: lines ended by CR or LF, leading white space skipped, key up to the first
// space (at most 99 characters; longer keys skip the line), value the rest of the line (lines with
// values over MaxTextPresetValue characters are skipped). The key is looked up among parameters 1..
// count-1 (first match). Values: Range "%lf", Boolean "%d" (non-zero = on), List "%d" (an index
// outside the items becomes 0), Color "(%lf, %lf, %lf)", Point "(%lf, %lf)", ImageFile the text
// itself (empty = none); a value that does not parse and other kinds are skipped. There is no title
// check. Always true.
inline constexpr std::size_t MaxTextPresetKey = 99;
inline constexpr std::size_t MaxTextPresetValue = 4095;
bool applyTextPreset(Effect& effect, const char* text, std::size_t length);

} // namespace fx
