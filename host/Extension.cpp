#include "host/Extension.h"

#include "framework/Effect.h"
#include "framework/EffectRegistry.h"
#include "framework/ParameterBlob.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orvo::host {

namespace {

const char* registrationOf(std::span<const ExtensionFilter> filters, const char* entryPoint)
{
    if (!entryPoint)
        return nullptr;
    for (const ExtensionFilter& f : filters)
        if (std::strcmp(f.entryPoint, entryPoint) == 0)
            return f.registrationName;
    return nullptr;
}

struct EffectDeleter {
    void operator()(fx::Effect* e) const
    {
        if (e)
            e->ops->destroy(e);
    }
};
using EffectPtr = std::unique_ptr<fx::Effect, EffectDeleter>;

// A fresh instance as the bridge makes one for a host call.
EffectPtr newInstance(const char* registrationName)
{
    EffectPtr effect(fx::createEffect(registrationName));
    if (effect)
        effect->setFlagBits(fx::EffectFlag::HostCreated);
    return effect;
}

const char* kindName(fx::ParamKind k)
{
    switch (k) {
    case fx::ParamKind::Empty: return "Empty";
    case fx::ParamKind::Input: return "Input";
    case fx::ParamKind::Range: return "Range";
    case fx::ParamKind::Boolean: return "Boolean";
    case fx::ParamKind::List: return "List";
    case fx::ParamKind::Color: return "Color";
    case fx::ParamKind::Point: return "Point";
    case fx::ParamKind::GroupBegin: return "GroupBegin";
    case fx::ParamKind::GroupEnd: return "GroupEnd";
    case fx::ParamKind::PresetFolder: return "PresetFolder";
    case fx::ParamKind::ImageFile: return "ImageFile";
    }
    return "Unknown";
}

class Json {
public:
    std::string text;
    void string(const char* s)
    {
        text += '"';
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s ? s : ""); *p; ++p) {
            if (*p == '"' || *p == '\\') {
                text += '\\';
                text += static_cast<char>(*p);
            } else if (*p < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", *p);
                text += buf;
            } else {
                text += static_cast<char>(*p);
            }
        }
        text += '"';
    }
    void number(double v)
    {
        if (!std::isfinite(v)) {
            text += "null";
            return;
        }
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        text += buf;
    }
    void key(const char* k)
    {
        text += ", ";
        string(k);
        text += ": ";
    }
    void boolean(bool b) { text += b ? "true" : "false"; }
    void numbers(const double* v, int n)
    {
        text += '[';
        for (int i = 0; i < n; ++i) {
            if (i)
                text += ", ";
            number(v[i]);
        }
        text += ']';
    }
};

void describeParameter(Json& j, const fx::Parameter& p)
{
    j.text += "{\"index\": " + std::to_string(p.index);
    j.key("key");
    j.string(p.key);
    j.key("label");
    j.string(p.label);
    j.key("kind");
    j.string(kindName(p.kind));
    j.key("flags");
    j.text += std::to_string(p.flags);
    j.key("enabled");
    j.boolean(p.enabled());
    j.key("hidden");
    j.boolean(p.hidden());
    j.key("notify");
    j.boolean(p.flags & fx::ParamFlag::NotifyOnChange);
    switch (p.kind) {
    case fx::ParamKind::Range:
        j.key("minimum");
        j.number(p.range.minimum);
        j.key("maximum");
        j.number(p.range.maximum);
        j.key("default");
        j.number(p.range.defaultValue);
        j.key("decimals");
        j.text += std::to_string(p.range.decimals);
        j.key("integer");
        j.boolean(p.flags & fx::ParamFlag::IntegerValued);
        break;
    case fx::ParamKind::Boolean:
        j.key("default");
        j.boolean(p.boolean.defaultValue != 0);
        break;
    case fx::ParamKind::List:
        j.key("items");
        j.text += '[';
        for (int32_t i = 0; i < p.list.count; ++i) {
            if (i)
                j.text += ", ";
            j.string(p.list.items ? p.list.items[i] : "");
        }
        j.text += ']';
        j.key("default");
        j.text += std::to_string(p.list.defaultIndex);
        break;
    case fx::ParamKind::Color:
        j.key("default");
        j.numbers(p.color.defaultValue, 3);
        break;
    case fx::ParamKind::Point:
        j.key("default");
        j.numbers(p.point.defaultValue, 2);
        break;
    case fx::ParamKind::GroupBegin:
        j.key("state");
        j.boolean(p.flags & fx::ParamFlag::GroupState);
        j.key("box");
        j.boolean(p.flags & fx::ParamFlag::BoxGroup);
        break;
    case fx::ParamKind::ImageFile:
        j.key("folder");
        j.string(p.file.folder);
        break;
    default:
        break;
    }
    j.text += '}';
}

// Stores value into parameter i as a blob record holds it; false when it does not fit the kind.
bool storeValue(fx::Parameter& p, const void* value, int32_t length)
{
    const auto size = static_cast<std::size_t>(length);
    if (length < 0 || (!value && length > 0))
        return false;
    switch (p.kind) {
    case fx::ParamKind::Range:
        if (size != sizeof(double))
            return false;
        std::memcpy(&p.range.current, value, sizeof(double));
        return true;
    case fx::ParamKind::Boolean:
        if (size != 1)
            return false;
        std::memcpy(&p.boolean.current, value, 1);
        return true;
    case fx::ParamKind::List:
        if (size != sizeof(int32_t))
            return false;
        std::memcpy(&p.list.current, value, sizeof(int32_t));
        return true;
    case fx::ParamKind::Color:
        if (size != 3 * sizeof(double))
            return false;
        std::memcpy(p.color.current, value, 3 * sizeof(double));
        return true;
    case fx::ParamKind::Point:
        if (size != 2 * sizeof(double))
            return false;
        std::memcpy(p.point.current, value, 2 * sizeof(double));
        return true;
    case fx::ParamKind::ImageFile: {
        const std::string path(static_cast<const char*>(value), size);
        if (path.find('\0') != std::string::npos)
            return false;
        p.setImagePath(path.c_str());
        return true;
    }
    default:
        return false;
    }
}

} // namespace

int32_t describeParameters(std::span<const ExtensionFilter> filters, const char* entryPoint, char* text,
                           int32_t capacity) noexcept
{
    try {
        const char* name = registrationOf(filters, entryPoint);
        if (!name)
            return kOrvoExtUnknownFilter;
        EffectPtr effect = newInstance(name);
        if (!effect)
            return kOrvoExtUnavailable;
        Json j;
        j.text = "{\"entryPoint\": ";
        j.string(entryPoint);
        j.key("registrationName");
        j.string(name);
        j.key("title");
        j.string(effect->ops->title(effect.get()));
        j.key("parameters");
        j.text += '[';
        for (int i = 0; i < effect->parameterCount(); ++i) {
            if (i)
                j.text += ",\n ";
            describeParameter(j, *effect->parameterAt(i));
        }
        j.text += "]}";
        const auto length = static_cast<int32_t>(j.text.size());
        if (text && capacity > length)
            std::memcpy(text, j.text.c_str(), j.text.size() + 1);
        return length;
    } catch (...) {
        return kOrvoExtFailed;
    }
}

int32_t editParameters(std::span<const ExtensionFilter> filters, const char* entryPoint, const void* blob,
                       int32_t blobLength, int32_t index, const void* value, int32_t valueLength, void* outBlob,
                       int32_t outCapacity, uint8_t* enabled, int32_t enabledCapacity) noexcept
{
    try {
        const char* name = registrationOf(filters, entryPoint);
        if (!name)
            return kOrvoExtUnknownFilter;
        EffectPtr effect = newInstance(name);
        if (!effect)
            return kOrvoExtUnavailable;
        if (blobLength < 0 || (blobLength > 0 && !blob))
            return kOrvoExtForeignBlob;
        if (blobLength > 0 && !fx::applyBlob(*effect, blob, static_cast<std::size_t>(blobLength)))
            return kOrvoExtForeignBlob;
        if (index >= 0) {
            if (index >= effect->parameterCount())
                return kOrvoExtBadIndex;
            fx::Parameter& p = *effect->parameterAt(index);
            if (!storeValue(p, value, valueLength))
                return kOrvoExtBadValue;
            if (p.flags & fx::ParamFlag::NotifyOnChange)
                effect->ops->parameterChanged(*effect, index);
        }
        std::vector<unsigned char> bytes(fx::blobSize(*effect));
        fx::writeBlob(*effect, bytes.data());
        // The enabled states the dialog shows for these values: it calls parameterChanged once for
        // every NotifyOnChange record while it is built. That pass runs on a second instance so that
        // it cannot change the values handed back.
        if (enabled && enabledCapacity > 0) {
            EffectPtr shown = newInstance(name);
            if (!shown || !fx::applyBlob(*shown, bytes.data(), bytes.size()))
                return kOrvoExtFailed;
            for (int i = 0; i < shown->parameterCount(); ++i)
                if (shown->parameterAt(i)->flags & fx::ParamFlag::NotifyOnChange)
                    shown->ops->parameterChanged(*shown, i);
            for (int i = 0; i < shown->parameterCount() && i < enabledCapacity; ++i)
                enabled[i] = shown->parameterAt(i)->enabled() ? 1 : 0;
        }
        const auto size = static_cast<int32_t>(bytes.size());
        if (outBlob && outCapacity >= size)
            std::memcpy(outBlob, bytes.data(), bytes.size());
        return size;
    } catch (...) {
        return kOrvoExtFailed;
    }
}

} // namespace orvo::host
