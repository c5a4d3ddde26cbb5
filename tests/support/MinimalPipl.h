#pragma once

// The smallest PiPL the host accepts (kind, name and wx86 properties), for the test modules.

#include "platform/ModuleResources.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace testpipl {

constexpr std::size_t pad4(std::size_t n) { return (n + 3) / 4 * 4; }

template <std::size_t M, std::size_t N>
constexpr auto minimalPipl(const char (&name)[M], const char (&entry)[N])
{
    std::array<uint8_t, 8 + 20 + 16 + pad4(M) + 16 + pad4(N)> a{};
    std::size_t pos = 0;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            a[pos++] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0);
    put32(3);
    put32(kFpVendorCode), put32(kFpPropKind), put32(0), put32(4), put32(kFpKindFilter);
    put32(kFpVendorCode), put32(kFpPropName), put32(0), put32(M);
    a[pos] = static_cast<uint8_t>(M - 1);
    for (std::size_t i = 0; i + 1 < M; ++i)
        a[pos + 1 + i] = static_cast<uint8_t>(name[i]);
    pos += pad4(M);
    put32(kFpVendorCode), put32(kFpPropEntryX86), put32(0), put32(N);
    for (std::size_t i = 0; i < N; ++i)
        a[pos + i] = static_cast<uint8_t>(entry[i]);
    return a;
}

} // namespace testpipl
