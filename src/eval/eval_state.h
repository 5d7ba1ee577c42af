// The part of the kernel state that belongs to evaluation.
#pragma once

#include <cstdint>
#include <vector>

#include "object/object.h"

struct BindingList;
struct MatchChildren;

// Children arrays of match states, kept for reuse by the pattern matcher.
// They hold no objects while they wait here, so a kernel reset leaves them
// alone; the memory is returned when the state record is destroyed.
struct MatchChildrenCache {
    std::vector<MatchChildren *> arrays;
    MatchChildrenCache() = default;
    MatchChildrenCache(const MatchChildrenCache &) = delete;
    MatchChildrenCache &operator=(const MatchChildrenCache &) = delete;
    ~MatchChildrenCache();
};

struct EvalState {
    BindingList *currentBindings;  // bindings of the native being applied
    int64_t nesting;               // expression evaluations in progress
    bool nestingReported;          // the nesting limit message went out
    void *deepStack;               // the evaluation stack (see deep_stack.h)
    MatchChildrenCache matchChildren;  // recycled children arrays of match states
};
