// Whether AddressSanitizer instruments this build. g++ defines
// __SANITIZE_ADDRESS__; clang only answers __has_feature, so both are asked:
// the pools' poisoning and the evaluation stack's fiber hooks must be on
// under either compiler, or use-after-free of pooled objects goes unseen.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define VORLAN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORLAN_ASAN 1
#endif
#endif
