// Pattern matching: whether a subject expression has the form of a pattern,
// and what the pattern's names stand for.
#pragma once

#include <cstdint>
#include <vector>

#include "object/native_table.h"

#include "object/object.h"

struct MatchState;

struct Binding {
    Object *name;          // the name symbol; owned reference
    Object *value;         // borrowed while matching; owned after a match
    Object *defaultValue;  // the default of an Options pattern; owned, or null
    Object *pattern;       // the sub-pattern that first bound the name; borrowed
    MatchState *definingState;
};

struct BindingList {
    std::vector<Binding> items;
    bool busy = false;     // a match with this list is running
};

// A match state for a definition entry, reused for every match with it.
MatchState *MatchState_New();
void MatchState_Free(MatchState *state);

// Matches subject against pattern (both borrowed). Returns 1 on a match and
// 0 otherwise. Without a binding list (or with a busy one) a temporary list
// is used; without a state a temporary one. On a full match the list's
// values are owned references. With partial set, a subject whose head is
// Flat may match in a window of its arguments: *partialResult (when not
// null) then receives the new expression h[h[prefix], h[matched], h[rest]];
// on a full match it is set to null.
int Pattern_Match(Object *subject, Object *pattern, BindingList *bindings, MatchState *state, bool partial,
                  Object **partialResult);

// Adds a binding for each name of pattern in order of first appearance, and
// for each option name of an Options pattern with its default.
void Pattern_CollectNames(Object *pattern, BindingList *bindings);

// Flags of Pattern_Substitute.
constexpr uint64_t SUBST_CHANGED = 0x8;  // set in *flags when anything changed
constexpr uint64_t SUBST_COPY = 0x20;    // never change an expression in place

// Replaces every bound name in e by a new reference to its value (an
// unbound name by Sequence[]). Consumes e, returns the result (not
// evaluated). flags may be null.
Object *Pattern_Substitute(Object *e, BindingList *bindings, uint64_t *flags);

// Releases the values of a list that is not busy; names and defaults stay.
void Bindings_Clear(BindingList *bindings);

// Releases everything the list holds, names and defaults included.
void Bindings_Free(BindingList *bindings);

// A new reference to Sequence(), what an unbound name stands for.
Object *Sequence_Empty();

// head[e_start, ..., e_(start+count-1)]; head null means Sequence. Borrows e
// and head; returns a new expression.
Object *Sequence_Extract(Object *e, int64_t start, int64_t count, Object *head);

// Matching[expr, pattern]: True or False. Consumes call.
Object *Builtin_Matching(Object *call);

// The natives of this module, for the registry.
extern const NativeTable PatternNatives;
