#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "object/crc32c.h"

namespace {

// The published CRC-32C check values use an initial value of all ones and a
// final inversion; the kernel's running value has neither, so the tests add
// them around the call.
uint32_t Standard(uint32_t (*crc)(uint32_t, const void *, size_t), const std::vector<unsigned char> &data) {
    return ~crc(~0u, data.data(), data.size());
}

std::vector<unsigned char> Bytes(const char *s) { return {s, s + std::strlen(s)}; }

TEST(Crc32c, KnownCheckValues) {
    struct Case {
        std::vector<unsigned char> data;
        uint32_t expected;
    } cases[] = {
        {Bytes("123456789"), 0xE3069283u},
        {std::vector<unsigned char>(32, 0x00), 0x8A9136AAu},
        {std::vector<unsigned char>(32, 0xFF), 0x62A8AB43u},
        {Bytes(""), 0x00000000u},
        {Bytes("a"), 0xC1D04330u},
    };
    std::vector<unsigned char> ascending(32);
    for (int i = 0; i < 32; ++i) ascending[i] = static_cast<unsigned char>(i);
    for (const Case &c : cases) {
        EXPECT_EQ(Standard(Crc32c_Portable, c.data), c.expected);
        if (Crc32c_HardwareAvailable()) {
            EXPECT_EQ(Standard(Crc32c_Hardware, c.data), c.expected);
        }
    }
    EXPECT_EQ(Standard(Crc32c_Portable, ascending), 0x46DD794Eu);
}

// Every tail length (0 to 3 bytes after the 4-byte steps) and unaligned
// starts, from arbitrary seeds: both paths must agree bit for bit.
TEST(Crc32c, HardwareAndPortablePathsAgree) {
    if (!Crc32c_HardwareAvailable()) GTEST_SKIP() << "no crc32 instruction";
    std::mt19937_64 random(12345);
    std::vector<unsigned char> buffer(300);
    for (auto &b : buffer) b = static_cast<unsigned char>(random());
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t n = 0; n < 70; ++n) {
            uint32_t seed = static_cast<uint32_t>(random());
            EXPECT_EQ(Crc32c_Hardware(seed, buffer.data() + offset, n), Crc32c_Portable(seed, buffer.data() + offset, n))
                << "offset " << offset << " length " << n;
        }
    }
}

TEST(Crc32c, ChainingEqualsOneRun) {
    std::vector<unsigned char> data = Bytes("the quick brown fox jumps over the lazy dog");
    uint32_t whole = Crc32c_Update(77, data.data(), data.size());
    uint32_t first = Crc32c_Update(77, data.data(), 13);
    EXPECT_EQ(Crc32c_Update(first, data.data() + 13, data.size() - 13), whole);
}

}  // namespace
