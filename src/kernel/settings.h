// The limits and display widths that Kernel_Initialize writes.
#pragma once

#include <cstdint>

struct KernelSettings {
    int64_t expressionLengthLimit;
    int64_t recursionLimit;
    int64_t recursionDepth;          // current depth of definition applications
    int64_t recursionLimitReported;  // set once the limit message went out
    int64_t messageArgumentWidth;
    double extraPrecisionLimit;
    int64_t machineRealDigits;
};

// Writes the defaults into settings; the two counters beside the recursion
// limit start at zero.
void Settings_SetDefaults(KernelSettings &settings);
