#pragma once

#include <cstdint>
#include <string>

namespace fx {

class Image;

enum class ParamKind : int32_t {
    Empty = 0,        // a constructed record that no definition has filled
    Input = 1,
    Range = 2,
    Boolean = 3,
    List = 4,
    Color = 5,
    Point = 6,
    GroupBegin = 7,
    GroupEnd = 8,
    PresetFolder = 9, // marker: the dialog's Load/Save start in the plug-in's "Presets" folder
    ImageFile = 10,
};

// Parameter flag bits. Bits not named here (0x4, 0x100, 0x400, 0x1000, 0x4000 on non-group
// records) belong to the effects; the framework carries them unchanged.
namespace ParamFlag {
inline constexpr uint32_t Enabled = 0x1;
inline constexpr uint32_t GroupState = 0x2;      // GroupBegin only
inline constexpr uint32_t NotifyOnChange = 0x10;
inline constexpr uint32_t Dirty = 0x20;          // set whenever Enabled or GroupState changes
inline constexpr uint32_t Hidden = 0x40;
inline constexpr uint32_t NoViewerHandle = 0x80; // Point only
inline constexpr uint32_t BoxGroup = 0x200;      // GroupBegin only
inline constexpr uint32_t IntegerValued = 0x2000; // Range only
inline constexpr uint32_t OwnedKey = 0x100000;
inline constexpr uint32_t Initial = Enabled | Dirty;
} // namespace ParamFlag

struct InputValue {
    Image* image;        // the input image during a render, null otherwise
    uint8_t given;       // the byte given at construction
    uint8_t one;         // always 1
};
struct RangeValue {
    double current;
    double minimum;
    double maximum;
    double defaultValue;
    int32_t decimals;
};
struct BooleanValue {
    uint8_t current;
    uint8_t defaultValue;
};
struct ListValue {
    int32_t current;
    const char* const* items;
    int32_t count;
    int32_t defaultIndex;
};
struct ColorValue {
    double current[3];      // r, g, b in 0..1
    double defaultValue[3];
};
struct PointValue {
    double current[2];      // centred on the image: -0.5..0.5
    double defaultValue[2];
};
struct ImageFileValue {
    const char* folder;         // e.g. "textures"
    const char* productFolder;  // e.g. "QEV Orvo"
    char* path;                 // heap copy owned by the record, null when none
};

// One user-visible setting: a fixed-size record in an effect's parameter table. Keys are borrowed
// from static storage unless the record owns a heap copy (flag OwnedKey). Values are stored as given:
// a List index or Range value read from a stored parameter set may lie outside its bounds, and every
// reader must tolerate that.
struct Parameter {
    const char* key = nullptr;
    const char* label = nullptr;
    ParamKind kind = ParamKind::Empty;
    uint32_t flags = ParamFlag::Initial;
    int32_t index = 0;
    int32_t reserved = 0;
    union {
        double raw[6];
        InputValue input;
        RangeValue range;
        BooleanValue boolean;
        ListValue list;
        ColorValue color;
        PointValue point;
        ImageFileValue file;
    };

    Parameter() : raw{} {}
    Parameter(const Parameter& other);
    Parameter& operator=(const Parameter& other);
    ~Parameter();

    // Typed constructors: fill key, label, kind and the value area; flags and index stay as they are.
    void initInput(const char* key, const char* label, uint8_t given = 0);
    void initRange(const char* key, const char* label, double minimum, double maximum,
                   double defaultValue, int32_t decimals);
    void initBoolean(const char* key, const char* label, bool defaultValue);
    void initList(const char* key, const char* label, const char* const* items, int32_t count,
                  int32_t defaultIndex);
    void initColor(const char* key, const char* label, const double rgb[3]);
    void initPoint(const char* key, const char* label, const double xy[2]);
    void initGroupBegin(const char* key, const char* label, bool state);
    void initGroupEnd();
    void initPresetFolder(const char* key, const char* label);
    void initImageFile(const char* key, const char* label, const char* productFolder, const char* folder);

    void orFlags(uint32_t bits) { flags |= bits; }
    bool enabled() const { return flags & ParamFlag::Enabled; }
    bool hidden() const { return flags & ParamFlag::Hidden; }
    // Set or clear Enabled; Dirty is set only when the bit actually changes.
    void setEnabled(bool on);
    // The same for the GroupBegin state bit.
    void setGroupState(bool on);
    // Replaces the key by an owned heap copy of text.
    void setKey(const char* text);
    // Prefixes the key ("%s%s" of prefix and the old key); shared parameter blocks use it.
    void prefixKey(const char* prefix);
    // Replaces the ImageFile path by a heap copy of text; null or empty text clears it.
    void setImagePath(const char* text);
    const char* imagePath() const { return kind == ParamKind::ImageFile ? file.path : nullptr; }
    // current := default for Range, Boolean, List, Color and Point; an ImageFile path is cleared.
    void resetToDefault();

private:
    void setKind(ParamKind k);  // frees an ImageFile path the record held under its old kind
    void releaseOwned();
    void copyFrom(const Parameter& other);
};

// How a Range record is shown on a slider and as text (the dialog's range control uses these).
// With IntegerValued the slider runs minimum..maximum in steps of 1 and the text is "%d" of the
// truncated value; otherwise the slider scale is 10^(decimals + 1) and the text is "%lg".
namespace RangeMapping {
double sliderScale(const Parameter& p);
int32_t sliderMinimum(const Parameter& p);              // minimum * scale, truncated
int32_t sliderMaximum(const Parameter& p);              // maximum * scale, truncated
double valueFromSlider(const Parameter& p, int32_t position);   // position / scale
int32_t sliderFromValue(const Parameter& p, double value);      // value * scale, truncated
std::string displayText(const Parameter& p, double value);
// Parses typed text as a number clamped to [minimum, maximum]; false when it is not a number.
bool parseText(const Parameter& p, const char* text, double* value);
} // namespace RangeMapping

} // namespace fx
