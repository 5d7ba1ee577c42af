// Marks the twelve functions of the public header: C linkage and the only
// symbols the shared library exports.
#pragma once

#define KERNEL_EXPORT extern "C" __attribute__((visibility("default")))
