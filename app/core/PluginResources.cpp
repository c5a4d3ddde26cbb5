#include "app/core/PluginResources.h"

#include "app/core/Descriptor.h"
#include "platform/ModuleResources.h"

#include <algorithm>

namespace orvo {

namespace {

// Bounds-checked little-endian reading; every read past the end makes the reader fail.
class Reader {
public:
    explicit Reader(std::span<const uint8_t> b) : b_(b) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return pos_ == b_.size(); }
    uint8_t u8()
    {
        if (!need(1))
            return 0;
        return b_[pos_++];
    }
    uint16_t le16()
    {
        if (!need(2))
            return 0;
        const uint16_t v = static_cast<uint16_t>(b_[pos_] | b_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    uint32_t le32()
    {
        if (!need(4))
            return 0;
        const uint32_t v = readLE32(b_.data() + pos_);
        pos_ += 4;
        return v;
    }
    std::string pascal()
    {
        const uint8_t n = u8();
        if (!need(n))
            return {};
        std::string s(b_.begin() + pos_, b_.begin() + pos_ + n);
        pos_ += n;
        return s;
    }
    // NUL-terminated text that must end exactly at the end of the data.
    std::string cStringToEnd()
    {
        auto rest = b_.subspan(pos_);
        if (rest.empty() || rest.back() != 0 || std::find(rest.begin(), rest.end(), uint8_t{0}) != rest.end() - 1) {
            ok_ = false;
            return {};
        }
        pos_ = b_.size();
        return std::string(rest.begin(), rest.end() - 1);
    }

private:
    bool need(size_t n)
    {
        if (!ok_ || b_.size() - pos_ < n)
            ok_ = false;
        return ok_;
    }
    std::span<const uint8_t> b_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// A property whose data must be read completely.
template <typename Read>
bool readWhole(const PiplProperty& p, Read read)
{
    Reader r(p.data);
    read(r);
    return r.ok() && r.atEnd();
}

bool decodeProperty(const PiplProperty& p, PiplRecord& rec)
{
    switch (p.key) {
    case kFpPropKind:
        return readWhole(p, [&](Reader& r) { rec.kind = r.le32(); });
    case kFpPropName:
        return readWhole(p, [&](Reader& r) { rec.name = r.pascal(); });
    case kFpPropCategory:
        return readWhole(p, [&](Reader& r) { rec.category = r.pascal(); });
    case kFpPropVersion:
        return readWhole(p, [&](Reader& r) { rec.version = r.le32(); });
    case kFpPropEntryX86:
        return readWhole(p, [&](Reader& r) { rec.entryX86 = r.cStringToEnd(); });
    case kFpPropModes:
        return readWhole(p, [&](Reader& r) { rec.modes = r.le32(); });
    case kFpPropScripting:
        return readWhole(p, [&](Reader& r) {
            PiplTerminology t;
            t.version = static_cast<int32_t>(r.le32());
            t.classId = r.le32();
            t.eventId = r.le32();
            t.terminologyId = static_cast<int16_t>(r.le16());
            t.scope = r.cStringToEnd();
            rec.terminology = t;
        });
    case kFpPropEnable:
        return readWhole(p, [&](Reader& r) { rec.enableExpression = r.cStringToEnd(); });
    case kFpPropFilterCases:
        return p.data.size() == 4 * kFpFilterCaseCount && readWhole(p, [&](Reader& r) {
                   rec.filterCases.clear();
                   for (int i = 0; i < kFpFilterCaseCount; ++i)
                       rec.filterCases.push_back({r.u8(), r.u8(), r.u8(), r.u8()});
               });
    default:
        return true; // a property this host does not use
    }
}

} // namespace

std::optional<PiplRecord> decodePipl(std::span<const uint8_t> bytes)
{
    auto props = parsePipl(bytes);
    if (!props)
        return std::nullopt;
    PiplRecord rec;
    for (const PiplProperty& p : *props) {
        rec.keys.push_back(p.key);
        rec.vendors.push_back(p.vendor);
        if (p.vendor == kFpVendorCode && !decodeProperty(p, rec))
            return std::nullopt;
    }
    return rec;
}

std::vector<std::string> enabledModes(const std::string& expression)
{
    static const std::string head = "in (PSHOP_ImageMode";
    if (expression.rfind(head, 0) != 0 || expression.back() != ')')
        return {};
    std::vector<std::string> modes;
    std::string rest = expression.substr(head.size(), expression.size() - head.size() - 1);
    while (!rest.empty()) {
        if (rest.rfind(", ", 0) != 0)
            return {};
        rest.erase(0, 2);
        const size_t end = rest.find(',');
        modes.push_back(rest.substr(0, end));
        rest.erase(0, end == std::string::npos ? rest.size() : end);
        if (modes.back().empty())
            return {};
    }
    return modes;
}

std::optional<AeteRecord> decodeAete(std::span<const uint8_t> bytes)
{
    Reader r(bytes);
    AeteRecord rec;
    rec.resourceVersion = r.le16();
    rec.majorVersion = r.u8();
    rec.minorVersion = r.u8();
    rec.language = r.le16();
    rec.script = r.le16();
    const uint16_t suites = r.le16();
    for (uint16_t s = 0; s < suites && r.ok(); ++s) {
        AeteSuite suite;
        suite.vendor = r.pascal();
        suite.description = r.pascal();
        suite.id = r.le32();
        suite.level = r.le16();
        suite.version = r.le16();
        const uint16_t events = r.le16();
        for (uint16_t e = 0; e < events && r.ok(); ++e) {
            AeteEvent ev;
            ev.name = r.pascal();
            ev.description = r.pascal();
            ev.classId = r.le32();
            ev.eventId = r.le32();
            ev.replyType = r.le32();
            ev.replyDescription = r.pascal();
            ev.replyFlags = r.le16();
            ev.directType = r.le32();
            ev.directDescription = r.pascal();
            ev.directFlags = r.le16();
            const uint16_t params = r.le16();
            for (uint16_t i = 0; i < params && r.ok(); ++i) {
                AeteParameter p;
                p.name = r.pascal();
                p.key = r.le32();
                p.type = r.le32();
                p.description = r.pascal();
                p.flags = r.le16();
                ev.parameters.push_back(std::move(p));
            }
            suite.events.push_back(std::move(ev));
        }
        const uint16_t classes = r.le16(), comparisons = r.le16(), enumerations = r.le16();
        if (classes || comparisons || enumerations)
            return std::nullopt;
        rec.suites.push_back(std::move(suite));
    }
    if (!r.ok() || !r.atEnd())
        return std::nullopt;
    return rec;
}

std::vector<FilterResources> readFilterResources(const std::filesystem::path& file)
{
    const std::vector<ModuleResource> resources = readModuleResources(file);
    auto bad = [&](const char* what, int32_t id) {
        return ModuleError(file.string() + ": malformed " + what + " resource " + std::to_string(id));
    };
    std::vector<FilterResources> filters;
    for (const ModuleResource& r : resources) {
        if (r.type != kFpResourcePiPL)
            continue;
        auto pipl = decodePipl(r.data);
        if (!pipl)
            throw bad("PiPL", r.id);
        if (!pipl->entryX86.empty() && pipl->entryX86 != r.entryName)
            throw ModuleError(file.string() + ": resource " + std::to_string(r.id) +
                              " names another entry point than its container entry");
        FilterResources f{r.id, r.entryName, std::move(*pipl), std::nullopt};
        for (const ModuleResource& a : resources) {
            if (a.type != kFpResourceAETE || a.id != r.id)
                continue;
            f.aete = decodeAete(a.data);
            if (!f.aete)
                throw bad("AETE", a.id);
            break;
        }
        filters.push_back(std::move(f));
    }
    return filters;
}

std::string fourCharText(uint32_t code)
{
    std::string s(4, '?');
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(code >> (24 - 8 * i));
        if (c >= 0x20 && c < 0x7f)
            s[i] = static_cast<char>(c);
    }
    return s;
}

} // namespace orvo
