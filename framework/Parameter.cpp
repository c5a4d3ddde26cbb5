#include "framework/Parameter.h"

#include "framework/Numeric.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fx {

namespace {

char* heapCopy(const char* text)
{
    if (!text)
        return nullptr;
    const std::size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
}

} // namespace

Parameter::Parameter(const Parameter& other) : raw{}
{
    copyFrom(other);
}

Parameter& Parameter::operator=(const Parameter& other)
{
    if (this != &other) {
        releaseOwned();
        copyFrom(other);
    }
    return *this;
}

Parameter::~Parameter()
{
    releaseOwned();
}

void Parameter::copyFrom(const Parameter& other)
{
    key = other.key;
    label = other.label;
    kind = other.kind;
    flags = other.flags;
    index = other.index;
    reserved = other.reserved;
    std::memcpy(raw, other.raw, sizeof raw);
    if (flags & ParamFlag::OwnedKey)
        key = heapCopy(other.key);
    if (kind == ParamKind::ImageFile)
        file.path = heapCopy(other.file.path);
}

void Parameter::releaseOwned()
{
    if (flags & ParamFlag::OwnedKey) {
        delete[] const_cast<char*>(key);
        key = nullptr;
        flags &= ~ParamFlag::OwnedKey;
    }
    if (kind == ParamKind::ImageFile) {
        delete[] file.path;
        file.path = nullptr;
    }
}

void Parameter::setKind(ParamKind k)
{
    if (kind == ParamKind::ImageFile) {
        delete[] file.path;
        file.path = nullptr;
    }
    kind = k;
}

void Parameter::initInput(const char* k, const char* l, uint8_t given)
{
    key = k;
    label = l;
    setKind(ParamKind::Input);
    input = InputValue{nullptr, given, 1};
}

void Parameter::initRange(const char* k, const char* l, double minimum, double maximum,
                          double defaultValue, int32_t decimals)
{
    key = k;
    label = l;
    setKind(ParamKind::Range);
    range = RangeValue{defaultValue, minimum, maximum, defaultValue, decimals};
}

void Parameter::initBoolean(const char* k, const char* l, bool defaultValue)
{
    key = k;
    label = l;
    setKind(ParamKind::Boolean);
    boolean = BooleanValue{static_cast<uint8_t>(defaultValue), static_cast<uint8_t>(defaultValue)};
}

void Parameter::initList(const char* k, const char* l, const char* const* items, int32_t count,
                         int32_t defaultIndex)
{
    key = k;
    label = l;
    setKind(ParamKind::List);
    list = ListValue{defaultIndex, items, count, defaultIndex};
}

void Parameter::initColor(const char* k, const char* l, const double rgb[3])
{
    key = k;
    label = l;
    setKind(ParamKind::Color);
    for (int i = 0; i < 3; ++i)
        color.current[i] = color.defaultValue[i] = rgb[i];
}

void Parameter::initPoint(const char* k, const char* l, const double xy[2])
{
    key = k;
    label = l;
    setKind(ParamKind::Point);
    for (int i = 0; i < 2; ++i)
        point.current[i] = point.defaultValue[i] = xy[i];
}

void Parameter::initGroupBegin(const char* k, const char* l, bool state)
{
    key = k;
    label = l;
    setKind(ParamKind::GroupBegin);
    if (state)
        flags |= ParamFlag::GroupState;
    else
        flags &= ~ParamFlag::GroupState;
}

void Parameter::initGroupEnd()
{
    key = nullptr;
    label = nullptr;
    setKind(ParamKind::GroupEnd);
}

void Parameter::initPresetFolder(const char* k, const char* l)
{
    key = k;
    label = l;
    setKind(ParamKind::PresetFolder);
}

void Parameter::initImageFile(const char* k, const char* l, const char* productFolder, const char* folder)
{
    key = k;
    label = l;
    setKind(ParamKind::ImageFile);
    file = ImageFileValue{folder, productFolder, nullptr};
}

void Parameter::setEnabled(bool on)
{
    if (((flags & ParamFlag::Enabled) != 0) == on)
        return;
    flags ^= ParamFlag::Enabled;
    flags |= ParamFlag::Dirty;
}

void Parameter::setGroupState(bool on)
{
    if (((flags & ParamFlag::GroupState) != 0) == on)
        return;
    flags ^= ParamFlag::GroupState;
    flags |= ParamFlag::Dirty;
}

void Parameter::setKey(const char* text)
{
    char* copy = heapCopy(text ? text : "");  // copy first: text may be the current key
    if (flags & ParamFlag::OwnedKey)
        delete[] const_cast<char*>(key);
    key = copy;
    flags |= ParamFlag::OwnedKey;
}

void Parameter::prefixKey(const char* prefix)
{
    std::string joined = std::string(prefix ? prefix : "") + (key ? key : "");
    setKey(joined.c_str());
}

void Parameter::setImagePath(const char* text)
{
    if (kind != ParamKind::ImageFile)
        return;
    char* copy = (text && *text) ? heapCopy(text) : nullptr;
    delete[] file.path;
    file.path = copy;
}

void Parameter::resetToDefault()
{
    switch (kind) {
    case ParamKind::Range:
        range.current = range.defaultValue;
        break;
    case ParamKind::Boolean:
        boolean.current = boolean.defaultValue;
        break;
    case ParamKind::List:
        list.current = list.defaultIndex;
        break;
    case ParamKind::Color:
        for (int i = 0; i < 3; ++i)
            color.current[i] = color.defaultValue[i];
        break;
    case ParamKind::Point:
        for (int i = 0; i < 2; ++i)
            point.current[i] = point.defaultValue[i];
        break;
    case ParamKind::ImageFile:
        setImagePath(nullptr);
        break;
    default:
        break;
    }
}

namespace RangeMapping {

static bool integerValued(const Parameter& p)
{
    return (p.flags & ParamFlag::IntegerValued) != 0;
}

double sliderScale(const Parameter& p)
{
    return integerValued(p) ? 1.0 : std::pow(10.0, p.range.decimals + 1);
}

int32_t sliderMinimum(const Parameter& p)
{
    return truncToInt32(p.range.minimum * sliderScale(p));
}

int32_t sliderMaximum(const Parameter& p)
{
    return truncToInt32(p.range.maximum * sliderScale(p));
}

double valueFromSlider(const Parameter& p, int32_t position)
{
    return position / sliderScale(p);
}

int32_t sliderFromValue(const Parameter& p, double value)
{
    return truncToInt32(value * sliderScale(p));
}

std::string displayText(const Parameter& p, double value)
{
    char text[64];
    if (integerValued(p))
        std::snprintf(text, sizeof text, "%d", truncToInt32(value));
    else
        std::snprintf(text, sizeof text, "%lg", value);
    return text;
}

bool parseText(const Parameter& p, const char* text, double* value)
{
    if (!text)
        return false;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || std::isnan(v))
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0')
        return false;
    *value = v < p.range.minimum ? p.range.minimum : (v > p.range.maximum ? p.range.maximum : v);
    return true;
}

} // namespace RangeMapping

} // namespace fx
