#include "kernel/settings.h"

void Settings_SetDefaults(KernelSettings &s) {
    s.expressionLengthLimit = int64_t(1) << 24;
    s.recursionLimit = 512;
    s.recursionDepth = 0;
    s.recursionLimitReported = 0;
    s.messageArgumentWidth = 60;
    s.extraPrecisionLimit = 32.0;
    s.machineRealDigits = 6;
}
