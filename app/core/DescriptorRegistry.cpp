#include "app/core/DescriptorRegistry.h"

#include "framework/AtomicFile.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace orvo {

namespace {
constexpr char kMagic[8] = {'O', 'R', 'V', 'O', 'R', 'E', 'G', '1'};
constexpr std::uintmax_t kMaxFileSize = 256u << 20;
} // namespace

std::filesystem::path DescriptorRegistry::defaultFolder()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg)
        return std::filesystem::path(xdg) / "orvo";
    const char* home = std::getenv("HOME");
    if (home && *home)
        return std::filesystem::path(home) / ".config" / "orvo";
    return {};
}

DescriptorRegistry::DescriptorRegistry(std::filesystem::path folder) : file_(std::move(folder) / kFileName)
{
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec))
        return;
    const auto size = std::filesystem::file_size(file_, ec);
    if (ec || size > kMaxFileSize) {
        loadMessage_ = file_.string() + ": registry file unreadable or too large; ignored";
        return;
    }
    std::ifstream in(file_, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto malformed = [&] {
        entries_.clear();
        loadMessage_ = file_.string() + ": registry file is malformed; ignored";
    };
    if (!in.good() && !in.eof()) {
        malformed();
        return;
    }
    size_t pos = sizeof kMagic;
    if (bytes.size() < pos + 4 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        { malformed(); return; }
    uint32_t count = readLE32(bytes.data() + pos);
    pos += 4;
    for (uint32_t n = 0; n < count; ++n) {
        if (bytes.size() - pos < 4)
            { malformed(); return; }
        uint32_t keyLength = readLE32(bytes.data() + pos);
        pos += 4;
        if (bytes.size() - pos < keyLength)
            { malformed(); return; }
        std::string key(bytes.begin() + pos, bytes.begin() + pos + keyLength);
        pos += keyLength;
        if (bytes.size() - pos < 4)
            { malformed(); return; }
        uint32_t length = readLE32(bytes.data() + pos);
        pos += 4;
        if (bytes.size() - pos < length)
            { malformed(); return; }
        auto d = Descriptor::parse({bytes.data() + pos, length});
        if (!d)
            { malformed(); return; }
        pos += length;
        entries_[key] = Entry{std::move(*d), true};
    }
    if (pos != bytes.size())
        malformed();
}

const Descriptor* DescriptorRegistry::find(const std::string& key) const
{
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second.descriptor;
}

bool DescriptorRegistry::put(const std::string& key, const Descriptor& d, bool persistent, std::string* error)
{
    Entry& e = entries_[key];
    const bool wasPersistent = e.persistent;
    e = Entry{d, persistent};
    return (persistent || wasPersistent) ? save(error) : true;
}

bool DescriptorRegistry::erase(const std::string& key, std::string* error)
{
    auto it = entries_.find(key);
    if (it == entries_.end())
        return false;
    const bool wasPersistent = it->second.persistent;
    entries_.erase(it);
    return wasPersistent ? save(error) : true;
}

bool DescriptorRegistry::save(std::string* error) const
{
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    uint32_t count = 0;
    for (const auto& [key, e] : entries_)
        count += e.persistent ? 1 : 0;
    appendLE32(out, count);
    for (const auto& [key, e] : entries_) {
        if (!e.persistent)
            continue;
        appendLE32(out, static_cast<uint32_t>(key.size()));
        out.insert(out.end(), key.begin(), key.end());
        const auto d = e.descriptor.serialize();
        appendLE32(out, static_cast<uint32_t>(d.size()));
        out.insert(out.end(), d.begin(), d.end());
    }
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (ec) {
        if (error)
            *error = file_.parent_path().string() + ": cannot create folder: " + ec.message();
        return false;
    }
    return fx::writeFileAtomically(file_.c_str(), out.data(), out.size(), error);
}

} // namespace orvo
