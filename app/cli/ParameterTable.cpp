#include "app/cli/ParameterTable.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace orvo::cli {

namespace {

// The small JSON subset the description uses: objects, arrays, strings, numbers, true/false/null.
struct JsonValue {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> array;
    std::vector<std::pair<std::string, JsonValue>> object;

    const JsonValue* get(std::string_view key) const
    {
        for (const auto& [k, v] : object)
            if (k == key)
                return &v;
        return nullptr;
    }
};

class JsonParser {
public:
    explicit JsonParser(std::string_view s) : s_(s) {}
    JsonValue parseDocument()
    {
        JsonValue v = value(0);
        skip();
        if (pos_ != s_.size())
            fail("trailing text");
        return v;
    }

private:
    [[noreturn]] void fail(const char* what) const
    {
        throw std::runtime_error(std::string("malformed parameter description: ") + what + " at offset " +
                                 std::to_string(pos_));
    }
    void skip()
    {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
    }
    bool eat(char c)
    {
        skip();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void expect(char c)
    {
        if (!eat(c))
            fail("unexpected character");
    }
    std::string string()
    {
        expect('"');
        std::string out;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            char c = s_[pos_++];
            if (c == '\\') {
                if (pos_ >= s_.size())
                    fail("bad escape");
                c = s_[pos_++];
                switch (c) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    if (pos_ + 4 > s_.size())
                        fail("bad escape");
                    const unsigned long code = std::strtoul(std::string(s_.substr(pos_, 4)).c_str(), nullptr, 16);
                    pos_ += 4;
                    out += code < 0x80 ? static_cast<char>(code) : '?';
                    break;
                }
                default: out += c;
                }
            } else {
                out += c;
            }
        }
        expect('"');
        return out;
    }
    JsonValue value(int depth)
    {
        if (depth > 16)
            fail("nested too deeply");
        skip();
        JsonValue v;
        if (pos_ >= s_.size())
            fail("unexpected end");
        const char c = s_[pos_];
        if (c == '{') {
            ++pos_;
            v.type = JsonValue::Object;
            if (eat('}'))
                return v;
            do {
                std::string k = string();
                expect(':');
                v.object.emplace_back(std::move(k), value(depth + 1));
            } while (eat(','));
            expect('}');
        } else if (c == '[') {
            ++pos_;
            v.type = JsonValue::Array;
            if (eat(']'))
                return v;
            do
                v.array.push_back(value(depth + 1));
            while (eat(','));
            expect(']');
        } else if (c == '"') {
            v.type = JsonValue::String;
            v.text = string();
        } else if (s_.substr(pos_, 4) == "true" || s_.substr(pos_, 5) == "false") {
            v.type = JsonValue::Bool;
            v.boolean = s_[pos_] == 't';
            pos_ += v.boolean ? 4 : 5;
        } else if (s_.substr(pos_, 4) == "null") {
            pos_ += 4;
        } else {
            const std::string rest(s_.substr(pos_, std::min<size_t>(40, s_.size() - pos_)));
            char* end = nullptr;
            v.type = JsonValue::Number;
            v.number = std::strtod(rest.c_str(), &end);
            if (end == rest.c_str())
                fail("unexpected character");
            pos_ += static_cast<size_t>(end - rest.c_str());
        }
        return v;
    }
    std::string_view s_;
    size_t pos_ = 0;
};

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string trim(std::string_view s)
{
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a])))
        ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1])))
        --b;
    return std::string(s.substr(a, b - a));
}

bool parseDouble(std::string_view text, double* out)
{
    const std::string t = trim(text);
    if (t.empty())
        return false;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

std::vector<double> parseNumbers(std::string_view text, size_t count)
{
    std::vector<double> out;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        double v;
        if (!parseDouble(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start), &v))
            return {};
        out.push_back(v);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return out.size() == count ? out : std::vector<double>{};
}

template <class T>
std::vector<uint8_t> bytesOf(const T* values, size_t n)
{
    std::vector<uint8_t> out(sizeof(T) * n);
    std::memcpy(out.data(), values, out.size());
    return out;
}

} // namespace

std::string formatNumber(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

const ParamInfo* FilterTable::find(std::string_view key) const
{
    for (const ParamInfo& p : params)
        if (p.settable() && p.key == key)
            return &p;
    return nullptr;
}

FilterTable parseFilterTable(std::string_view json)
{
    const JsonValue root = JsonParser(json).parseDocument();
    auto text = [](const JsonValue* v) { return v && v->type == JsonValue::String ? v->text : std::string(); };
    auto number = [](const JsonValue* v) { return v && v->type == JsonValue::Number ? v->number : 0.0; };
    auto flag = [](const JsonValue* v) { return v && v->type == JsonValue::Bool && v->boolean; };
    FilterTable t;
    t.entryPoint = text(root.get("entryPoint"));
    t.registrationName = text(root.get("registrationName"));
    t.title = text(root.get("title"));
    const JsonValue* params = root.get("parameters");
    if (!params || params->type != JsonValue::Array)
        throw std::runtime_error("malformed parameter description: no parameter list");
    for (const JsonValue& v : params->array) {
        ParamInfo p;
        p.index = static_cast<int>(number(v.get("index")));
        p.key = text(v.get("key"));
        p.label = text(v.get("label"));
        p.kind = text(v.get("kind"));
        p.flags = static_cast<uint32_t>(number(v.get("flags")));
        p.enabled = flag(v.get("enabled"));
        p.hidden = flag(v.get("hidden"));
        p.notify = flag(v.get("notify"));
        p.minimum = number(v.get("minimum"));
        p.maximum = number(v.get("maximum"));
        p.decimals = static_cast<int>(number(v.get("decimals")));
        p.integer = flag(v.get("integer"));
        p.state = flag(v.get("state"));
        p.box = flag(v.get("box"));
        p.folder = text(v.get("folder"));
        if (const JsonValue* d = v.get("default")) {
            p.defaultNumber = number(d);
            p.defaultBool = flag(d);
            p.defaultIndex = static_cast<int>(number(d));
            for (const JsonValue& e : d->array)
                p.defaultVector.push_back(number(&e));
        }
        if (const JsonValue* items = v.get("items"))
            for (const JsonValue& e : items->array)
                p.items.push_back(e.text);
        t.params.push_back(std::move(p));
    }
    return t;
}

std::string allowedValues(const ParamInfo& p)
{
    if (p.kind == "Range")
        return formatNumber(p.minimum) + ".." + formatNumber(p.maximum) + (p.integer ? " (whole numbers)" : "");
    if (p.kind == "Boolean")
        return "on|off (true|false, 1|0)";
    if (p.kind == "List") {
        std::string s = p.items.empty() ? "an index" : "0.." + std::to_string(p.items.size() - 1) + " or one of ";
        for (size_t i = 0; i < p.items.size(); ++i)
            s += (i ? ", \"" : "\"") + p.items[i] + "\"";
        return s;
    }
    if (p.kind == "Color")
        return "r,g,b with each 0..1, or #rrggbb";
    if (p.kind == "Point")
        return "x,y centred on the image (-0.5..0.5 reach the edges)";
    if (p.kind == "ImageFile")
        return "a file path (empty for none)";
    return "no value (not settable)";
}

std::vector<uint8_t> parseValue(const ParamInfo& p, std::string_view raw)
{
    const std::string text = trim(raw);
    auto bad = [&](const char* what) {
        return ValueError("\"" + text + "\" is " + what + " for " + p.key + " (" + p.label + "); allowed: " +
                          allowedValues(p));
    };
    if (p.kind == "Range") {
        double v;
        if (!parseDouble(text, &v))
            throw bad("not a number");
        if (v < p.minimum || v > p.maximum)
            throw bad("out of range");
        if (p.integer && v != std::floor(v))
            throw bad("not a whole number");
        return bytesOf(&v, 1);
    }
    if (p.kind == "Boolean") {
        const std::string t = lower(text);
        uint8_t b;
        if (t == "on" || t == "true" || t == "yes" || t == "1")
            b = 1;
        else if (t == "off" || t == "false" || t == "no" || t == "0")
            b = 0;
        else
            throw bad("not a switch value");
        return {b};
    }
    if (p.kind == "List") {
        int32_t index = -1;
        for (size_t i = 0; i < p.items.size() && index < 0; ++i)
            if (lower(p.items[i]) == lower(text))
                index = static_cast<int32_t>(i);
        if (index < 0) {
            char* end = nullptr;
            const long v = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0')
                throw bad("not an item");
            if (v < 0 || v >= static_cast<long>(p.items.size()))
                throw bad("out of range");
            index = static_cast<int32_t>(v);
        }
        return bytesOf(&index, 1);
    }
    if (p.kind == "Color") {
        double rgb[3];
        if (text.size() == 7 && text[0] == '#' &&
            std::all_of(text.begin() + 1, text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
            for (int c = 0; c < 3; ++c)
                rgb[c] = std::strtol(text.substr(1 + 2 * static_cast<size_t>(c), 2).c_str(), nullptr, 16) / 255.0;
        } else {
            const std::vector<double> v = parseNumbers(text, 3);
            if (v.empty())
                throw bad("not a color");
            for (int c = 0; c < 3; ++c) {
                if (v[static_cast<size_t>(c)] < 0 || v[static_cast<size_t>(c)] > 1)
                    throw bad("out of range");
                rgb[c] = v[static_cast<size_t>(c)];
            }
        }
        return bytesOf(rgb, 3);
    }
    if (p.kind == "Point") {
        const std::vector<double> v = parseNumbers(text, 2);
        if (v.empty())
            throw bad("not a point");
        return bytesOf(v.data(), 2);
    }
    if (p.kind == "ImageFile")
        return std::vector<uint8_t>(text.begin(), text.end());
    throw bad("not accepted");
}

} // namespace orvo::cli
