// CRC-32C (Castagnoli), the checksum behind the hash slot. The running value
// is neither pre- nor post-inverted: Crc32c_Update(seed, ...) continues from
// seed exactly as the processor's crc32 instruction does, so hashes chain by
// passing one result as the next seed.
#pragma once

#include <cstddef>
#include <cstdint>

// Whether this processor has the SSE4.2 crc32 instruction.
bool Crc32c_HardwareAvailable();

// Continues crc over n bytes with the instruction when the kernel state says
// the processor has it, else with the table; both give identical results.
uint32_t Crc32c_Update(uint32_t crc, const void *data, size_t n);

// The two implementations, exposed so that tests can check them against
// each other. Crc32c_Hardware must only be called when available.
uint32_t Crc32c_Portable(uint32_t crc, const void *data, size_t n);
uint32_t Crc32c_Hardware(uint32_t crc, const void *data, size_t n);
