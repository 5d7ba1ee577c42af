// Data is consumed four bytes at a time, then a tail of 1 to 3 bytes as a
// byte, a 16-bit word, or a word and a byte. For a reflected CRC the order of
// feeding (32-bit word, then smaller pieces) does not change the value, so
// the byte-wise table walk of the portable path gives the same result.
#include "object/crc32c.h"

#include <array>
#include <cstring>

#include "kernel/state.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <nmmintrin.h>
#endif

namespace {

constexpr uint32_t kPolynomial = 0x82F63B78u;  // reflected Castagnoli

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

bool Crc32c_HardwareAvailable() {
#if defined(__x86_64__)
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (c & bit_SSE4_2) != 0;
#else
    return false;
#endif
}

uint32_t Crc32c_Portable(uint32_t crc, const void *data, size_t n) {
    auto *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < n; ++i) crc = kTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) uint32_t Crc32c_Hardware(uint32_t crc, const void *data, size_t n) {
    auto *p = static_cast<const unsigned char *>(data);
    while (n >= 4) {
        uint32_t w;
        std::memcpy(&w, p, 4);
        crc = _mm_crc32_u32(crc, w);
        p += 4;
        n -= 4;
    }
    if (n & 2) {
        uint16_t h;
        std::memcpy(&h, p, 2);
        crc = _mm_crc32_u16(crc, h);
        p += 2;
    }
    if (n & 1) crc = _mm_crc32_u8(crc, *p);
    return crc;
}
#else
uint32_t Crc32c_Hardware(uint32_t crc, const void *data, size_t n) { return Crc32c_Portable(crc, data, n); }
#endif

uint32_t Crc32c_Update(uint32_t crc, const void *data, size_t n) {
    return kernel.hardwareCrc ? Crc32c_Hardware(crc, data, n) : Crc32c_Portable(crc, data, n);
}
