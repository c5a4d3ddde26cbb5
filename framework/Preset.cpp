#include "framework/Preset.h"

#include "framework/AtomicFile.h"
#include "framework/Effect.h"
#include "framework/ParameterBlob.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include <sys/stat.h>

namespace fx {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
// The C locale's white space, without the locale and sign pitfalls of isspace.
bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// "%d": optional white space, sign and decimal digits; values beyond int32 saturate.
bool parseInt(const std::string& text, int32_t* out)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    const long long v = std::strtoll(begin, &end, 10);
    if (end == begin)
        return false;
    *out = v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
    return true;
}

Parameter* findByKey(Effect& effect, std::string_view key)
{
    for (int i = 1; i < effect.paramCount; ++i) {
        Parameter& p = effect.params[i];
        if (p.key && key == p.key)
            return &p;
    }
    return nullptr;
}

void applyTextValue(Parameter& p, const std::string& value)
{
    switch (p.kind) {
    case ParamKind::Range: {
        double v;
        if (std::sscanf(value.c_str(), "%lf", &v) == 1)
            p.range.current = v;
        break;
    }
    case ParamKind::Boolean: {
        int32_t v;
        if (parseInt(value, &v))
            p.boolean.current = v != 0;
        break;
    }
    case ParamKind::List: {
        int32_t v;
        if (parseInt(value, &v))
            p.list.current = v >= 0 && v < p.list.count ? v : 0;
        break;
    }
    case ParamKind::Color: {
        double r, g, b;
        if (std::sscanf(value.c_str(), "(%lf, %lf, %lf)", &r, &g, &b) == 3) {
            p.color.current[0] = r;
            p.color.current[1] = g;
            p.color.current[2] = b;
        }
        break;
    }
    case ParamKind::Point: {
        double x, y;
        if (std::sscanf(value.c_str(), "(%lf, %lf)", &x, &y) == 2) {
            p.point.current[0] = x;
            p.point.current[1] = y;
        }
        break;
    }
    case ParamKind::ImageFile:
        p.setImagePath(value.c_str());
        break;
    default:
        break;
    }
}

} // namespace

bool applyTextPreset(Effect& effect, const char* text, std::size_t length)
{
    if (!text)
        return true;
    std::size_t pos = 0;
    std::string value;
    while (pos < length) {
        while (pos < length && isWhiteSpace(text[pos]))
            ++pos;
        std::size_t end = pos;
        while (end < length && !isLineEnd(text[end]))
            ++end;
        const std::string_view line(text + pos, end - pos);
        pos = end;

        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos || space > MaxTextPresetKey ||
            line.size() - space - 1 > MaxTextPresetValue)
            continue;
        Parameter* p = findByKey(effect, line.substr(0, space));
        if (!p)
            continue;
        value.assign(line.substr(space + 1));
        applyTextValue(*p, value);
    }
    return true;
}

bool applyPresetBytes(Effect& effect, const void* bytes, std::size_t size, PresetFlavour flavour)
{
    if (blobVersion(bytes, size) == blob::Version)
        return applyBlob(effect, bytes, size);
    if (flavour == PresetFlavour::FilmLab)
        applyTextPreset(effect, static_cast<const char*>(bytes), size);
    return true;
}

bool savePreset(Effect& effect, const char* path, HandleProcs& procs)
{
    try {
        OwnedHandle handle(procs, makeBlob(effect, procs));
        if (!handle)
            return false;
        HandleLock lock(procs, handle.get());
        return lock.bytes() && writeFileAtomically(path, lock.bytes(), procs.size(handle.get()));
    } catch (...) {
        return false;
    }
}

bool loadPreset(Effect& effect, const char* path, PresetFlavour flavour, HandleProcs& procs)
{
    if (!path)
        return false;
    File file(std::fopen(path, "rb"));
    if (!file)
        return false;
    try {
        struct stat info;
        if (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
            return false;
        if (info.st_size == 0)
            return true;
        if (static_cast<unsigned long long>(info.st_size) > MaxPresetFileSize)
            return false;
        const auto size = static_cast<std::size_t>(info.st_size);
        OwnedHandle handle(procs, procs.allocate(size));
        if (!handle || procs.size(handle.get()) < size)
            return false;
        HandleLock lock(procs, handle.get());
        if (!lock.bytes() || std::fread(lock.bytes(), 1, size, file.get()) != size)
            return false;
        return applyPresetBytes(effect, lock.bytes(), size, flavour);
    } catch (...) {
        return false;
    }
}

} // namespace fx
