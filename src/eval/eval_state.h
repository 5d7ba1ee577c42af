// The part of the kernel state that belongs to evaluation.
#pragma once

#include <cstdint>
#include <vector>

#include "object/object.h"

struct BindingList;
struct DefinitionEntry;
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
    // Definition searches in progress. While one runs, an entry taken out
    // of its list is only marked dead and parked here; the last search to
    // end frees the parked ones, so no search meets a freed entry.
    int64_t definitionScans;
    std::vector<DefinitionEntry *> retiredEntries;
    // Raised whenever a symbol gains Flat or Orderless, which can widen what
    // a literal left side matches; indexed lists check their literals again.
    uint64_t literalEpoch;
    int64_t subDefinitions;  // sub-definition entries in all records
};
