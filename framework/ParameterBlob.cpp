#include "framework/ParameterBlob.h"

#include "framework/Effect.h"

#include <cstring>
#include <string_view>

namespace fx {

namespace {

using namespace blob;

void putInt32(unsigned char* p, int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

int32_t getInt32(const unsigned char* p)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return static_cast<int32_t>(v);
}

void putDouble(unsigned char* p, double value)
{
    uint64_t v;
    std::memcpy(&v, &value, sizeof v);
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

double getDouble(const unsigned char* p)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<uint64_t>(p[i]) << (8 * i);
    double value;
    std::memcpy(&value, &v, sizeof value);
    return value;
}

// text cut to at most capacity - 1 characters; a null text is empty.
std::string_view fieldText(const char* text, std::size_t capacity)
{
    if (!text)
        return {};
    return {text, ::strnlen(text, capacity - 1)};
}

// The text stored in a field: up to its first NUL, or the whole field when it has none.
std::string_view storedText(const unsigned char* field, std::size_t size)
{
    const char* p = reinterpret_cast<const char*>(field);
    return {p, ::strnlen(p, size)};
}

void putText(unsigned char* field, std::string_view text)
{
    if (!text.empty())
        std::memcpy(field, text.data(), text.size());  // the field is zero-filled, so text ends in NUL
}

std::string_view effectTitle(Effect& effect)
{
    return fieldText(effect.ops->title(&effect), TitleSize);
}

std::size_t parameterCount(const Effect& effect)
{
    return effect.paramCount > 0 ? static_cast<std::size_t>(effect.paramCount) : 0;
}

void writeRecord(const Parameter& p, unsigned char* record)
{
    putInt32(record, static_cast<int32_t>(p.kind));
    putText(record + KeyOffset, fieldText(p.key, KeySize));
    unsigned char* value = record + ValueOffset;
    switch (p.kind) {
    case ParamKind::Range:
        putDouble(value, p.range.current);
        break;
    case ParamKind::Boolean:
        value[0] = p.boolean.current;
        break;
    case ParamKind::List:
        putInt32(value, p.list.current);
        break;
    case ParamKind::Color:
        for (int i = 0; i < 3; ++i)
            putDouble(value + 8 * i, p.color.current[i]);
        break;
    case ParamKind::Point:
        for (int i = 0; i < 2; ++i)
            putDouble(value + 8 * i, p.point.current[i]);
        break;
    case ParamKind::ImageFile:
        putText(value, fieldText(p.file.path, MaxPathLength + 1));
        break;
    default:
        break;
    }
}

void applyRecord(Parameter& p, const unsigned char* record)
{
    if (getInt32(record) != static_cast<int32_t>(p.kind) || !p.key)
        return;
    if (storedText(record + KeyOffset, KeySize) != fieldText(p.key, KeySize))
        return;
    const unsigned char* value = record + ValueOffset;
    switch (p.kind) {
    case ParamKind::Range:
        p.range.current = getDouble(value);
        break;
    case ParamKind::Boolean:
        p.boolean.current = value[0];
        break;
    case ParamKind::List:
        p.list.current = getInt32(value);
        break;
    case ParamKind::Color:
        for (int i = 0; i < 3; ++i)
            p.color.current[i] = getDouble(value + 8 * i);
        break;
    case ParamKind::Point:
        for (int i = 0; i < 2; ++i)
            p.point.current[i] = getDouble(value + 8 * i);
        break;
    case ParamKind::ImageFile: {
        char path[MaxPathLength + 1] = {};
        const std::string_view text = storedText(value, MaxPathLength);
        if (!text.empty())
            std::memcpy(path, text.data(), text.size());
        p.setImagePath(path);
        break;
    }
    default:
        break;
    }
}

} // namespace

std::size_t blobSize(const Effect& effect)
{
    return HeaderSize + RecordSize * parameterCount(effect);
}

void writeBlob(Effect& effect, unsigned char* out)
{
    const std::size_t count = parameterCount(effect);
    std::memset(out, 0, HeaderSize + RecordSize * count);
    putInt32(out, Version);
    putText(out + TitleOffset, effectTitle(effect));
    putInt32(out + CountOffset, static_cast<int32_t>(count));
    putInt32(out + RecordSizeOffset, static_cast<int32_t>(RecordSize));
    for (std::size_t i = 0; i < count; ++i)
        writeRecord(effect.params[i], out + HeaderSize + RecordSize * i);
}

Handle makeBlob(Effect& effect, HandleProcs& procs)
{
    const std::size_t size = blobSize(effect);
    OwnedHandle handle(procs, procs.allocate(size));
    if (!handle || procs.size(handle.get()) < size)
        return nullptr;
    HandleLock lock(procs, handle.get());
    if (!lock.bytes())
        return nullptr;
    writeBlob(effect, static_cast<unsigned char*>(lock.bytes()));
    return handle.release();
}

bool applyBlob(Effect& effect, const void* blob, std::size_t length)
{
    if (!blob || length < HeaderSize)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(blob);
    if (storedText(bytes + TitleOffset, TitleSize) != effectTitle(effect))
        return false;
    const std::size_t count = parameterCount(effect);
    if (getInt32(bytes + CountOffset) != static_cast<int32_t>(count) ||
        getInt32(bytes + RecordSizeOffset) != static_cast<int32_t>(RecordSize))
        return false;
    if (length - HeaderSize < RecordSize * count)
        return false;
    for (std::size_t i = 0; i < count; ++i)
        applyRecord(effect.params[i], bytes + HeaderSize + RecordSize * i);
    return true;
}

int32_t blobVersion(const void* bytes, std::size_t length)
{
    return bytes && length >= 4 ? getInt32(static_cast<const unsigned char*>(bytes)) : 0;
}

bool applyVersionedBlob(Effect& effect, Handle handle, HandleProcs& procs)
{
    if (!handle)
        return false;
    HandleLock lock(procs, handle);
    const std::size_t size = procs.size(handle);
    if (!lock.bytes() || blobVersion(lock.bytes(), size) != Version)
        return false;
    return applyBlob(effect, lock.bytes(), size);
}

} // namespace fx
