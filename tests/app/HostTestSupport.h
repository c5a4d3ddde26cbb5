#pragma once

#include "app/core/Document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace orvo::test {

// A fresh folder under the system's temporary folder, removed at the end of the test.
struct TempFolder {
    std::filesystem::path path;
    TempFolder()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::temp_directory_path() /
               ("orvo-test-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
};

// A document with a reproducible pattern of samples.
inline Document patternDocument(int32_t width, int32_t height, int depth, uint32_t seed = 1)
{
    Document d(width, height, depth);
    std::mt19937 rng(seed);
    for (auto& s : d.samples())
        s = static_cast<uint16_t>(rng() % (d.maxValue() + 1u));
    return d;
}

} // namespace orvo::test
