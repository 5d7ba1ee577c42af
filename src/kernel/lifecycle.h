#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// The clearing step shared by Kernel_Reset and Kernel_Terminate: empties
// every pool and the symbol table, and zeroes the temporary-symbol and
// definition generation counters.
void Kernel_Clear();

// The live record count of every pool the clearing step empties, by pool
// name in a fixed order, so that tests can tell whether a run left objects
// behind.
using PoolCount = std::pair<const char *, int64_t>;
std::vector<PoolCount> Kernel_LiveCounts();
